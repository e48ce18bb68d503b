# Generated from the module by scripts/generate_stubs.py; do not edit.
"""
Veltrax simulator-independent SE(2) planner primitives
"""
from __future__ import annotations
import collections.abc
import numpy
import numpy.typing
import typing
__all__: list[str] = ['CancellationToken', 'CircleFootprint', 'CollisionChecker', 'CollisionResult', 'Costmap', 'Direction', 'FREE_COST', 'FileError', 'GridIndex', 'HybridAStar', 'INSCRIBED_COST', 'InflationParameters', 'KinematicSample', 'KinematicStateSpace', 'LETHAL_COST', 'MAX_GRADED_COST', 'MapFormat', 'MapFormatError', 'MapLoadOptions', 'MotionPrimitive', 'MotionPrimitiveTable', 'MultiPolygonFootprint', 'ObstacleHeuristic', 'OccupancyMapInfo', 'OccupancyMode', 'PathSmoother', 'PlanRequest', 'PlannerConfig', 'PlannerDiagnostics', 'PlannerResult', 'PlannerStatus', 'Point2D', 'PolygonFootprint', 'Pose2D', 'Steering', 'SvgRenderOptions', 'UNKNOWN_COST', 'YawBinFootprintTemplates', 'cost_blocks', 'default_inflation', 'inflate_costmap', 'inflate_costmap_window', 'inflate_for_footprint', 'inscribed_radius', 'load_costmap_csv', 'load_costmap_pgm', 'load_map', 'load_movingai_map', 'load_occupancy_map', 'map_format', 'normalize_yaw', 'occupancy_image_to_costs', 'occupancy_percent_to_costs', 'plan_many', 'planner_status_name', 'read_occupancy_map_info', 'recommended_config', 'render_plan_svg', 'save_path_csv', 'save_plan_svg', 'save_result_json', 'validate_footprint']
class FileError(RuntimeError):
    pass
class MapFormatError(RuntimeError):
    pass
class Pose2D:
    def __init__(self, x: typing.SupportsFloat | typing.SupportsIndex = 0.0, y: typing.SupportsFloat | typing.SupportsIndex = 0.0, yaw: typing.SupportsFloat | typing.SupportsIndex = 0.0) -> None:
        ...
    @property
    def x(self) -> float:
        ...
    @x.setter
    def x(self, arg0: typing.SupportsFloat | typing.SupportsIndex) -> None:
        ...
    @property
    def y(self) -> float:
        ...
    @y.setter
    def y(self, arg0: typing.SupportsFloat | typing.SupportsIndex) -> None:
        ...
    @property
    def yaw(self) -> float:
        ...
    @yaw.setter
    def yaw(self, arg0: typing.SupportsFloat | typing.SupportsIndex) -> None:
        ...
class Point2D:
    def __init__(self, x: typing.SupportsFloat | typing.SupportsIndex = 0.0, y: typing.SupportsFloat | typing.SupportsIndex = 0.0) -> None:
        ...
    @property
    def x(self) -> float:
        ...
    @x.setter
    def x(self, arg0: typing.SupportsFloat | typing.SupportsIndex) -> None:
        ...
    @property
    def y(self) -> float:
        ...
    @y.setter
    def y(self, arg0: typing.SupportsFloat | typing.SupportsIndex) -> None:
        ...
class GridIndex:
    def __init__(self, x: typing.SupportsInt | typing.SupportsIndex = 0, y: typing.SupportsInt | typing.SupportsIndex = 0) -> None:
        ...
    @property
    def x(self) -> int:
        ...
    @x.setter
    def x(self, arg0: typing.SupportsInt | typing.SupportsIndex) -> None:
        ...
    @property
    def y(self) -> int:
        ...
    @y.setter
    def y(self, arg0: typing.SupportsInt | typing.SupportsIndex) -> None:
        ...
class CircleFootprint:
    def __init__(self, radius: typing.SupportsFloat | typing.SupportsIndex) -> None:
        ...
    @property
    def radius(self) -> float:
        ...
    @radius.setter
    def radius(self, arg0: typing.SupportsFloat | typing.SupportsIndex) -> None:
        ...
class PolygonFootprint:
    def __init__(self, points: collections.abc.Sequence[Point2D]) -> None:
        ...
    @property
    def points(self) -> list[Point2D]:
        ...
    @points.setter
    def points(self, arg1: collections.abc.Sequence[Point2D]) -> None:
        ...
class MultiPolygonFootprint:
    def __init__(self, polygons: collections.abc.Sequence[PolygonFootprint]) -> None:
        ...
    @property
    def polygons(self) -> list[PolygonFootprint]:
        ...
    @polygons.setter
    def polygons(self, arg1: collections.abc.Sequence[PolygonFootprint]) -> None:
        ...
class YawBinFootprintTemplates:
    def __init__(self, footprint: CircleFootprint | PolygonFootprint | MultiPolygonFootprint, angle_bins: typing.SupportsInt | typing.SupportsIndex) -> None:
        ...
    def at(self, arg0: typing.SupportsInt | typing.SupportsIndex) -> CircleFootprint | PolygonFootprint | MultiPolygonFootprint:
        """
        The footprint rotated for this yaw bin; IndexError "yaw bin is out of range".
        """
    def yaw_to_bin(self, arg0: typing.SupportsFloat | typing.SupportsIndex) -> int:
        """
        The bin of a yaw (floor binning from yaw 0); ValueError "yaw must be finite".
        """
    @property
    def angle_bins(self) -> int:
        ...
class Costmap:
    def __init__(self, cells: numpy.ndarray, resolution: typing.SupportsFloat | typing.SupportsIndex, origin_x: typing.SupportsFloat | typing.SupportsIndex, origin_y: typing.SupportsFloat | typing.SupportsIndex) -> None:
        ...
    def get_cost(self, arg0: typing.SupportsInt | typing.SupportsIndex, arg1: typing.SupportsInt | typing.SupportsIndex) -> int:
        """
        The cost of cell (x, y); IndexError off the grid.
        """
    def map_to_world(self, arg0: typing.SupportsInt | typing.SupportsIndex, arg1: typing.SupportsInt | typing.SupportsIndex) -> tuple[float, float]:
        """
        The world position (metres) of cell (x, y)'s centre.
        """
    def world_to_map(self, arg0: typing.SupportsFloat | typing.SupportsIndex, arg1: typing.SupportsFloat | typing.SupportsIndex) -> typing.Any:
        """
        The cell (x, y) holding the world point, or None outside the map.
        """
    @property
    def cells_array(self) -> numpy.typing.NDArray[numpy.uint8]:
        ...
    @property
    def height(self) -> int:
        ...
    @property
    def origin_x(self) -> float:
        ...
    @property
    def origin_y(self) -> float:
        ...
    @property
    def resolution(self) -> float:
        ...
    @property
    def width(self) -> int:
        ...
class CollisionResult:
    @property
    def collision(self) -> bool:
        ...
    @property
    def max_cost(self) -> int:
        ...
    @property
    def outside_map(self) -> bool:
        ...
class CollisionChecker:
    def __init__(self, costmap: Costmap, allow_unknown: bool = False) -> None:
        ...
    def check(self, arg0: Pose2D, arg1: CircleFootprint | PolygonFootprint | MultiPolygonFootprint) -> CollisionResult:
        """
        Whether the footprint at the pose touches a blocking cell (254; 255 unless
        allow_unknown) or leaves the map, and the highest cost it touches (254 when outside).
        """
    def validate_path(self, path: collections.abc.Sequence[Pose2D], footprint: CircleFootprint | PolygonFootprint | MultiPolygonFootprint, interpolation_step: typing.SupportsFloat | typing.SupportsIndex) -> CollisionResult:
        """
        check() along the path, sampled every `interpolation_step` metres; the first collision
        found, or the highest cost along a free path.
        """
class PlannerConfig:
    def __getstate__(self) -> tuple:
        ...
    def __init__(self) -> None:
        ...
    def __repr__(self) -> str:
        ...
    def __setstate__(self, arg0: tuple) -> None:
        ...
    def validate(self) -> list[str]:
        """
        Every problem of the configuration, in a fixed order; empty when usable. Never raises.
        """
    @property
    def allow_in_place_rotation(self) -> bool:
        """
        Whether the robot may turn on the spot (differential drive). Default False. On, the search
        adds rotation primitives and no longer enforces minimum_turning_radius on the output; pass
        the same flag to recommended_config so the penalties fit.
        """
    @allow_in_place_rotation.setter
    def allow_in_place_rotation(self, arg0: bool) -> None:
        ...
    @property
    def allow_reverse(self) -> bool:
        """
        Whether the robot may drive backwards (Reeds-Shepp curves instead of Dubins). Default True.
        Off, goals that need a manoeuvre (into a narrow slot, out of a dead end) may have no path.
        """
    @allow_reverse.setter
    def allow_reverse(self, arg0: bool) -> None:
        ...
    @property
    def allow_unknown(self) -> bool:
        """
        Whether cells of cost 255 (unknown space) are passable. Default False: a start or goal
        footprint touching unknown cells is in collision. Turn it on to plan through unexplored
        space.
        """
    @allow_unknown.setter
    def allow_unknown(self, arg0: bool) -> None:
        ...
    @property
    def analytic_expansion_coarse_checks(self) -> bool:
        """
        Check an analytic curve's samples every 16th first (and the last), then the others, so
        that a colliding curve is mostly refused after a few checks. The same curves pass;
        only collision_checks and the times change. Default False, recommended True.
        """
    @analytic_expansion_coarse_checks.setter
    def analytic_expansion_coarse_checks(self, arg0: bool) -> None:
        ...
    @property
    def analytic_expansion_max_cost(self) -> int:
        """
        Cost 0..255 the analytic curve to the goal may touch. Default 200, recommended 253.
        Lower keeps curves away from inflated obstacles but ends fewer searches early; on
        inflated maps goals beside walls lie in cells of 253, which 200 makes unreachable by a
        curve.
        """
    @analytic_expansion_max_cost.setter
    def analytic_expansion_max_cost(self, arg0: typing.SupportsInt | typing.SupportsIndex) -> None:
        ...
    @property
    def analytic_expansion_max_cusps(self) -> int:
        """
        Most changes of direction an analytic curve may make, counting where it joins the
        search's path. Default 4294967295 (no limit), recommended 1. Lower keeps curves that
        reverse twice to save centimetres out of the path.
        """
    @analytic_expansion_max_cusps.setter
    def analytic_expansion_max_cusps(self, arg0: typing.SupportsInt | typing.SupportsIndex) -> None:
        ...
    @property
    def analytic_expansion_max_length(self) -> float:
        """
        Metres: curves to the goal are tried only from nodes within this distance. Default 3.0,
        recommended 10. Raising it ends searches in open space sooner; a long curve that fails
        late costs its samples.
        """
    @analytic_expansion_max_length.setter
    def analytic_expansion_max_length(self, arg0: typing.SupportsFloat | typing.SupportsIndex) -> None:
        ...
    @property
    def analytic_expansion_min_reverse_length(self) -> float:
        """
        Metres: an analytic curve that reverses for less than this (then drives forward or
        ends) gives way to the forward-only curve when that is at most 5 % longer and passes;
        otherwise it is kept. Default 0 (every shortest curve kept), recommended the
        robot's length.
        """
    @analytic_expansion_min_reverse_length.setter
    def analytic_expansion_min_reverse_length(self, arg0: typing.SupportsFloat | typing.SupportsIndex) -> None:
        ...
    @property
    def analytic_expansion_ratio(self) -> float:
        """
        Curves to the goal are tried every N-th expansion, N derived from this ratio. Default
        3.5, recommended 16. Raising it tries them less often (less time on failing curves),
        lowering more often.
        """
    @analytic_expansion_ratio.setter
    def analytic_expansion_ratio(self, arg0: typing.SupportsFloat | typing.SupportsIndex) -> None:
        ...
    @property
    def angle_bins(self) -> int:
        """
        Yaw bins of the lattice (at least 8). Default 72 (5 degrees). More bins turn in finer
        steps but search more states; fewer search faster with coarser turns.
        """
    @angle_bins.setter
    def angle_bins(self, arg0: typing.SupportsInt | typing.SupportsIndex) -> None:
        ...
    @property
    def cache_obstacle_heuristic(self) -> bool:
        """
        Whether the planner keeps the last obstacle heuristic field and reuses it for a request with
        the same goal cell and map_revision. Default True. Off, every plan recomputes the field.
        """
    @cache_obstacle_heuristic.setter
    def cache_obstacle_heuristic(self, arg0: bool) -> None:
        ...
    @property
    def check_improving_successors_only(self) -> bool:
        """
        Check a successor against the map only when it could still change its node: one that ends
        in an expanded node, or that could not lower its node's cost even over free cells, is
        passed over. The same paths; only collision_checks and the times change. Default False,
        recommended True.
        """
    @check_improving_successors_only.setter
    def check_improving_successors_only(self, arg0: bool) -> None:
        ...
    @property
    def collision_check_step(self) -> float:
        """
        Metres between footprint checks along motions and the output path. Default 0.025. Larger
        is faster but may step over a thin obstacle; smaller is safer and slower.
        """
    @collision_check_step.setter
    def collision_check_step(self, arg0: typing.SupportsFloat | typing.SupportsIndex) -> None:
        ...
    @property
    def cost_penalty(self) -> float:
        """
        Weight of cell costs: a step through a cell of cost c costs (1 + c / 252 * cost_penalty)
        times its length. Default 2.0. Raise it to keep further from inflated obstacles (longer
        paths), lower it for shorter paths that graze them.
        """
    @cost_penalty.setter
    def cost_penalty(self, arg0: typing.SupportsFloat | typing.SupportsIndex) -> None:
        ...
    @property
    def direction_switch_penalty(self) -> float:
        """
        Metres of cost added at each change of direction (a cusp, or between driving and turning
        on the spot). Default 2.0 (recommended 0.05 when turning on the spot). Raise it for
        fewer cusps, lower it to allow more manoeuvres.
        """
    @direction_switch_penalty.setter
    def direction_switch_penalty(self, arg0: typing.SupportsFloat | typing.SupportsIndex) -> None:
        ...
    @property
    def footprint_aware_heuristic(self) -> bool:
        """
        Whether the obstacle heuristic treats cells closer to an obstacle than the footprint's
        inscribed radius (less half a cell diagonal) as walls. Default False, recommended True.
        On, the search no longer runs into gaps the robot cannot pass; costs one map copy per
        planner.
        """
    @footprint_aware_heuristic.setter
    def footprint_aware_heuristic(self, arg0: bool) -> None:
        ...
    @property
    def heuristic_reach_factor(self) -> float:
        """
        0 computes the obstacle heuristic over the whole map. At least 1, it stops once every
        cell up to this multiple of the start's value (plus a metre) is known. Default 0,
        recommended 2. Lower is faster to build on large maps; the search itself is unchanged.
        """
    @heuristic_reach_factor.setter
    def heuristic_reach_factor(self, arg0: typing.SupportsFloat | typing.SupportsIndex) -> None:
        ...
    @property
    def heuristic_weight(self) -> float:
        """
        f = g + w * h. Default 1.0, recommended 1.5 (3 turning on the spot). Above 1 the search
        heads for the goal instead of proving the cheapest path: far fewer expansions, a path at
        most w times the cheapest.
        """
    @heuristic_weight.setter
    def heuristic_weight(self, arg0: typing.SupportsFloat | typing.SupportsIndex) -> None:
        ...
    @property
    def lattice_cell_size(self) -> float:
        """
        Metres: the side of the search lattice's cells, a whole number of costmap cells (rounded
        down, at least one, at most the primitive length); one node is kept per lattice cell
        and yaw bin. Default 0 (the costmap's cells), recommended a third of the primitive
        length.
        """
    @lattice_cell_size.setter
    def lattice_cell_size(self, arg0: typing.SupportsFloat | typing.SupportsIndex) -> None:
        ...
    @property
    def lazy_kinematic_heuristic(self) -> bool:
        """
        Queue a new node with a lower bound of its heuristic that needs no curve, and compute its
        curve to the goal only when it reaches the front of the open set (it goes back when
        that puts it behind the next). The expansions are the same but for the order of ties.
        Ignored when turning on the spot. Default False, recommended True.
        """
    @lazy_kinematic_heuristic.setter
    def lazy_kinematic_heuristic(self, arg0: bool) -> None:
        ...
    @property
    def lazy_obstacle_heuristic(self) -> bool:
        """
        Compute the obstacle heuristic only as far as the search reads it, and keep it (repaired
        by update_costmap) for later plans to the same goal. Results equal those with
        heuristic_reach_factor 0. Default False.
        """
    @lazy_obstacle_heuristic.setter
    def lazy_obstacle_heuristic(self, arg0: bool) -> None:
        ...
    @property
    def manoeuvre_heuristic(self) -> bool:
        """
        The heuristic also estimates the car's manoeuvres around the walls near the goal (a
        coarse lattice searched back from the goal), foreseeing three-point turns and parking
        shuffles; no longer a lower bound. Ignored when turning on the spot. Default False.
        """
    @manoeuvre_heuristic.setter
    def manoeuvre_heuristic(self, arg0: bool) -> None:
        ...
    @property
    def max_expanded_nodes(self) -> int:
        """
        Expansion budget: the search gives up with MAX_NODES_EXCEEDED after this many nodes.
        Default 1,000,000. Raise it for large maps or hard manoeuvres (more time and memory);
        lower it to fail faster.
        """
    @max_expanded_nodes.setter
    def max_expanded_nodes(self, arg0: typing.SupportsInt | typing.SupportsIndex) -> None:
        ...
    @property
    def max_planning_time_seconds(self) -> float:
        """
        Seconds: the search gives up with TIMEOUT after this wall time. Default 5.0. Raise it on
        slow machines or large maps; lower it for a hard deadline.
        """
    @max_planning_time_seconds.setter
    def max_planning_time_seconds(self, arg0: typing.SupportsFloat | typing.SupportsIndex) -> None:
        ...
    @property
    def minimum_turning_radius(self) -> float:
        """
        Metres: the tightest arc the vehicle can drive. Default 0.4. Set it to your vehicle's;
        larger radii need more room and more manoeuvres, smaller give tighter paths.
        """
    @minimum_turning_radius.setter
    def minimum_turning_radius(self, arg0: typing.SupportsFloat | typing.SupportsIndex) -> None:
        ...
    @property
    def non_straight_penalty(self) -> float:
        """
        Metres of cost added per steering (arc) primitive. Default 1.05, recommended 30 % of the
        primitive length. Raise it for straighter paths; the library default makes turns very
        dear, so the search floods the map before turning.
        """
    @non_straight_penalty.setter
    def non_straight_penalty(self, arg0: typing.SupportsFloat | typing.SupportsIndex) -> None:
        ...
    @property
    def path_output_spacing(self) -> float:
        """
        Metres between poses of the output path. Default 0.05. Larger gives fewer poses; smaller
        a denser path.
        """
    @path_output_spacing.setter
    def path_output_spacing(self, arg0: typing.SupportsFloat | typing.SupportsIndex) -> None:
        ...
    @property
    def penalized_kinematic_heuristic(self) -> bool:
        """
        The heuristic's kinematic term also prices reversing and cusps as the transition
        costs do (turning on the spot: the straight distance plus the yaw change). Default
        False, and False in the recommended configuration. Still a lower bound of the costs on a
        free map.
        """
    @penalized_kinematic_heuristic.setter
    def penalized_kinematic_heuristic(self, arg0: bool) -> None:
        ...
    @property
    def position_tolerance(self) -> float:
        """
        Metres: a search node this close to the goal (and within yaw_tolerance) ends the search.
        Default 0.1. Larger finishes sooner but less exactly; 0 relies on the analytic curve to
        reach the goal exactly.
        """
    @position_tolerance.setter
    def position_tolerance(self, arg0: typing.SupportsFloat | typing.SupportsIndex) -> None:
        ...
    @property
    def resample_along_arcs(self) -> bool:
        """
        Output poses between two path poses that turn lie on the circular arc driven between
        them instead of on the chord. Off, only stretches whose chord steps a car could not drive
        (on cells coarser than path_output_spacing) are placed on their arcs. Default False,
        recommended True; where a stretch fits in one step the output is unchanged.
        """
    @resample_along_arcs.setter
    def resample_along_arcs(self, arg0: bool) -> None:
        ...
    @property
    def retrospective_penalty(self) -> float:
        """
        Fraction of a node's cost added to every step from it (g grows by step +
        retrospective_penalty * g). Default 0.0. Raising it makes the search greedier towards
        paths found early; keep 0 for cheapest paths.
        """
    @retrospective_penalty.setter
    def retrospective_penalty(self, arg0: typing.SupportsFloat | typing.SupportsIndex) -> None:
        ...
    @property
    def return_partial_path(self) -> bool:
        """
        When the search ends without reaching the goal (TIMEOUT, MAX_NODES_EXCEEDED, or NO_PATH
        once the open set is exhausted), return the path to the expanded pose closest to the goal
        by the obstacle heuristic (the distance around walls), if closer than the start; the
        status stays the failure and PlannerResult.partial is set. Default False.
        """
    @return_partial_path.setter
    def return_partial_path(self, arg0: bool) -> None:
        ...
    @property
    def reverse_penalty(self) -> float:
        """
        Metres of cost added per reverse primitive. Default 2.0, recommended 1 x the primitive
        length (reversing costs twice as much as driving). Raise it to reverse less, lower it to
        reverse more freely.
        """
    @reverse_penalty.setter
    def reverse_penalty(self, arg0: typing.SupportsFloat | typing.SupportsIndex) -> None:
        ...
    @property
    def scale_steering_penalty_with_curvature(self) -> bool:
        """
        Charge non_straight_penalty in proportion to an arc's curvature (full lock in full, half
        lock half) instead of in full for every arc. Default False.
        """
    @scale_steering_penalty_with_curvature.setter
    def scale_steering_penalty_with_curvature(self, arg0: bool) -> None:
        ...
    @property
    def search_from_goal(self) -> bool:
        """
        Also search from the goal back to the start, taking turns with the search from the
        start once that has not finished within a few hundred expansions; the first to find
        a path gives it, still starting exactly at the start. Needs allow_reverse; ignored
        when turning on the spot. max_expanded_nodes counts both searches. Default False.
        """
    @search_from_goal.setter
    def search_from_goal(self, arg0: bool) -> None:
        ...
    @property
    def smooth_path(self) -> bool:
        """
        Whether a path without cusps or rotations is smoothed (moved towards straight lines, never
        into collision or tighter than the turning radius). Default True. Off, the search's poses
        are only resampled.
        """
    @smooth_path.setter
    def smooth_path(self, arg0: bool) -> None:
        ...
    @property
    def smoother_max_iterations(self) -> int:
        """
        Most iterations of the smoother (at least 1). Default 1000. Lower bounds post-processing
        time; higher lets it converge on long paths.
        """
    @smoother_max_iterations.setter
    def smoother_max_iterations(self, arg0: typing.SupportsInt | typing.SupportsIndex) -> None:
        ...
    @property
    def smoother_tolerance(self) -> float:
        """
        The smoother stops once one iteration moves the poses by less than this (metres,
        summed). Default 1e-10. Larger stops earlier with a rougher path.
        """
    @smoother_tolerance.setter
    def smoother_tolerance(self, arg0: typing.SupportsFloat | typing.SupportsIndex) -> None:
        ...
    @property
    def smoother_weight_data(self) -> float:
        """
        Smoother weight pulling each pose back towards the search's pose. Default 0.2. Raise it
        to stay closer to the searched path.
        """
    @smoother_weight_data.setter
    def smoother_weight_data(self, arg0: typing.SupportsFloat | typing.SupportsIndex) -> None:
        ...
    @property
    def smoother_weight_smooth(self) -> float:
        """
        Smoother weight pulling each pose towards the midpoint of its neighbours. Default 0.3.
        Raise it for straighter, smoother paths (bounded by collisions and the turning radius).
        """
    @smoother_weight_smooth.setter
    def smoother_weight_smooth(self, arg0: typing.SupportsFloat | typing.SupportsIndex) -> None:
        ...
    @property
    def stall_expansions(self) -> int:
        """
        Expansions after which a search that has found no path weights the heuristic by
        stall_heuristic_weight for stall_weight_expansions expansions, then by heuristic_weight
        again (the open set reordered at each change): a flood of poses the heuristic prices
        too low then heads for the goal. The path may be dearer, by at most that weight's
        factor. Default 0 (never), recommended 512 (2048 for a car given its turning radius,
        0 when turning on the spot).
        """
    @stall_expansions.setter
    def stall_expansions(self, arg0: typing.SupportsInt | typing.SupportsIndex) -> None:
        ...
    @property
    def stall_expansions_per_metre(self) -> float:
        """
        Finite, >= 0: a search whose start has heuristic h turns to stall_heuristic_weight only
        after max(stall_expansions, this * h) expansions (stall_expansions 0 still means never):
        a long way takes more expansions without any flood. Default 0 (stall_expansions alone),
        recommended one and a half per primitive length (30 on 5 cm cells with the default radius; 0 for a car
        given its turning radius, whose stall_expansions is 2048).
        """
    @stall_expansions_per_metre.setter
    def stall_expansions_per_metre(self, arg0: typing.SupportsFloat | typing.SupportsIndex) -> None:
        ...
    @property
    def stall_heuristic_weight(self) -> float:
        """
        The heuristic's weight (finite, at least 1) once stall_expansions is reached. Default 1,
        recommended twice heuristic_weight.
        """
    @stall_heuristic_weight.setter
    def stall_heuristic_weight(self, arg0: typing.SupportsFloat | typing.SupportsIndex) -> None:
        ...
    @property
    def stall_weight_expansions(self) -> int:
        """
        How many expansions (positive) stall_heuristic_weight lasts. Default 32768.
        """
    @stall_weight_expansions.setter
    def stall_weight_expansions(self, arg0: typing.SupportsInt | typing.SupportsIndex) -> None:
        ...
    @property
    def steering_angles(self) -> int:
        """
        Curvatures of the car's primitives, straight included: odd, 3 to 9, evenly spaced up to
        1 / minimum_turning_radius each side. Default 3 (straight, full left, full right). More
        smooth long bends at the price of more successors per expansion. Ignored when turning on
        the spot.
        """
    @steering_angles.setter
    def steering_angles(self, arg0: typing.SupportsInt | typing.SupportsIndex) -> None:
        ...
    @property
    def steering_change_penalty(self) -> float:
        """
        Metres of cost added when the steering changes between primitives. Default 0.05,
        recommended 0.01. Raise it to keep paths from wiggling.
        """
    @steering_change_penalty.setter
    def steering_change_penalty(self, arg0: typing.SupportsFloat | typing.SupportsIndex) -> None:
        ...
    @property
    def terminal_check_interval(self) -> int:
        """
        Expansions between checks of the time budget and the CancellationToken (at least 1).
        Default 256. Lower reacts sooner to a cancel or deadline at a small cost per check.
        """
    @terminal_check_interval.setter
    def terminal_check_interval(self, arg0: typing.SupportsInt | typing.SupportsIndex) -> None:
        ...
    @property
    def wide_node_keys(self) -> bool:
        """
        Search maps of more than 2**32 cells x angle_bins with 64-bit node keys instead of
        refusing them. Default False.
        """
    @wide_node_keys.setter
    def wide_node_keys(self, arg0: bool) -> None:
        ...
    @property
    def yaw_tolerance(self) -> float:
        """
        Radians: the largest yaw difference to the goal, taken the short way, that ends the search.
        Default 0.1.
        """
    @yaw_tolerance.setter
    def yaw_tolerance(self, arg0: typing.SupportsFloat | typing.SupportsIndex) -> None:
        ...
class PlanRequest:
    def __getstate__(self) -> tuple:
        ...
    def __init__(self) -> None:
        ...
    def __repr__(self) -> str:
        ...
    def __setstate__(self, arg0: tuple) -> None:
        ...
    @property
    def footprint(self) -> CircleFootprint | PolygonFootprint | MultiPolygonFootprint:
        """
        The robot's shape in its own frame: a circle, a polygon or several polygons. Default a
        circle of 0.25 m.
        """
    @footprint.setter
    def footprint(self, arg0: CircleFootprint | PolygonFootprint | MultiPolygonFootprint) -> None:
        ...
    @property
    def goal(self) -> Pose2D:
        """
        Where the path should end: finite, yaw within 1e6 rad of 0. Read as a view into the
        request.
        """
    @goal.setter
    def goal(self, arg0: Pose2D) -> None:
        ...
    @property
    def goal_revision(self) -> int:
        """
        Copied into the result only.
        """
    @goal_revision.setter
    def goal_revision(self, arg0: typing.SupportsInt | typing.SupportsIndex) -> None:
        ...
    @property
    def map_revision(self) -> int:
        """
        Key of the obstacle heuristic cache: change it when the map changes. Copied into the result.
        """
    @map_revision.setter
    def map_revision(self, arg0: typing.SupportsInt | typing.SupportsIndex) -> None:
        ...
    @property
    def robot_revision(self) -> int:
        """
        Copied into the result only.
        """
    @robot_revision.setter
    def robot_revision(self, arg0: typing.SupportsInt | typing.SupportsIndex) -> None:
        ...
    @property
    def start(self) -> Pose2D:
        """
        Where the path starts: finite, yaw within 1e6 rad of 0. Read as a view into the request.
        """
    @start.setter
    def start(self, arg0: Pose2D) -> None:
        ...
class PlannerStatus:
    """
    Members:
    
      SUCCESS
    
      NO_PATH
    
      TIMEOUT
    
      CANCELLED
    
      INVALID_REQUEST
    
      START_OUT_OF_BOUNDS
    
      GOAL_OUT_OF_BOUNDS
    
      START_IN_COLLISION
    
      GOAL_IN_COLLISION
    
      MAX_NODES_EXCEEDED
    
      INTERNAL_ERROR
    """
    CANCELLED: typing.ClassVar[PlannerStatus]
    GOAL_IN_COLLISION: typing.ClassVar[PlannerStatus]
    GOAL_OUT_OF_BOUNDS: typing.ClassVar[PlannerStatus]
    INTERNAL_ERROR: typing.ClassVar[PlannerStatus]
    INVALID_REQUEST: typing.ClassVar[PlannerStatus]
    MAX_NODES_EXCEEDED: typing.ClassVar[PlannerStatus]
    NO_PATH: typing.ClassVar[PlannerStatus]
    START_IN_COLLISION: typing.ClassVar[PlannerStatus]
    START_OUT_OF_BOUNDS: typing.ClassVar[PlannerStatus]
    SUCCESS: typing.ClassVar[PlannerStatus]
    TIMEOUT: typing.ClassVar[PlannerStatus]
    __members__: typing.ClassVar[dict[str, PlannerStatus]]
    @typing.overload
    def __eq__(self, other: PlannerStatus) -> bool:
        ...
    @typing.overload
    def __eq__(self, other: typing.Any) -> bool:
        ...
    def __getstate__(self) -> int:
        ...
    def __hash__(self) -> int:
        ...
    def __index__(self) -> int:
        ...
    def __init__(self, value: typing.SupportsInt | typing.SupportsIndex) -> None:
        ...
    def __int__(self) -> int:
        ...
    @typing.overload
    def __ne__(self, other: PlannerStatus) -> bool:
        ...
    @typing.overload
    def __ne__(self, other: typing.Any) -> bool:
        ...
    def __repr__(self) -> str:
        ...
    def __setstate__(self, state: typing.SupportsInt | typing.SupportsIndex) -> None:
        ...
    def __str__(self) -> str:
        ...
    @property
    def name(self) -> str:
        ...
    @property
    def value(self) -> int:
        ...
class PlannerDiagnostics:
    def __getstate__(self) -> tuple:
        ...
    def __init__(self) -> None:
        ...
    def __repr__(self) -> str:
        ...
    def __setstate__(self, arg0: tuple) -> None:
        ...
    @property
    def analytic_expansion_time_ms(self) -> float:
        """
        Milliseconds of analytic curve attempts, their checks included.
        """
    @analytic_expansion_time_ms.setter
    def analytic_expansion_time_ms(self, arg0: typing.SupportsFloat | typing.SupportsIndex) -> None:
        ...
    @property
    def collision_check_time_ms(self) -> float:
        """
        Milliseconds of footprint checks (primitives, analytic curves, output path).
        """
    @collision_check_time_ms.setter
    def collision_check_time_ms(self, arg0: typing.SupportsFloat | typing.SupportsIndex) -> None:
        ...
    @property
    def collision_checks(self) -> int:
        """
        Footprint placements during the search (primitive and curve samples).
        """
    @collision_checks.setter
    def collision_checks(self, arg0: typing.SupportsInt | typing.SupportsIndex) -> None:
        ...
    @property
    def direction_switch_count(self) -> int:
        """
        Changes of direction between consecutive steps (cusps, and changes between driving and
        turning on the spot).
        """
    @direction_switch_count.setter
    def direction_switch_count(self, arg0: typing.SupportsInt | typing.SupportsIndex) -> None:
        ...
    @property
    def expanded_nodes(self) -> int:
        """
        Nodes taken from the open list and expanded (the goal node included).
        """
    @expanded_nodes.setter
    def expanded_nodes(self, arg0: typing.SupportsInt | typing.SupportsIndex) -> None:
        ...
    @property
    def generated_nodes(self) -> int:
        """
        Primitives whose samples were checked, one per child considered.
        """
    @generated_nodes.setter
    def generated_nodes(self, arg0: typing.SupportsInt | typing.SupportsIndex) -> None:
        ...
    @property
    def in_place_rotation_count(self) -> int:
        """
        Steps of the output path labelled ROTATION.
        """
    @in_place_rotation_count.setter
    def in_place_rotation_count(self, arg0: typing.SupportsInt | typing.SupportsIndex) -> None:
        ...
    @property
    def kinematic_heuristic_time_ms(self) -> float:
        """
        Milliseconds setting up the kinematic heuristic's curve space.
        """
    @kinematic_heuristic_time_ms.setter
    def kinematic_heuristic_time_ms(self, arg0: typing.SupportsFloat | typing.SupportsIndex) -> None:
        ...
    @property
    def obstacle_heuristic_cache_hit(self) -> bool:
        """
        The obstacle heuristic came from the planner's cache instead of being built.
        """
    @obstacle_heuristic_cache_hit.setter
    def obstacle_heuristic_cache_hit(self, arg0: bool) -> None:
        ...
    @property
    def obstacle_heuristic_time_ms(self) -> float:
        """
        Milliseconds building (or fetching) the obstacle heuristic field.
        """
    @obstacle_heuristic_time_ms.setter
    def obstacle_heuristic_time_ms(self, arg0: typing.SupportsFloat | typing.SupportsIndex) -> None:
        ...
    @property
    def path_length(self) -> float:
        """
        Metres: the length of the output path.
        """
    @path_length.setter
    def path_length(self, arg0: typing.SupportsFloat | typing.SupportsIndex) -> None:
        ...
    @property
    def reverse_count(self) -> int:
        """
        Reverse steps: reverse primitives of the search and reverse sample steps of the curve.
        """
    @reverse_count.setter
    def reverse_count(self, arg0: typing.SupportsInt | typing.SupportsIndex) -> None:
        ...
    @property
    def search_time_ms(self) -> float:
        """
        Milliseconds of the expansion loop; set when it finds a path or runs out of nodes.
        """
    @search_time_ms.setter
    def search_time_ms(self, arg0: typing.SupportsFloat | typing.SupportsIndex) -> None:
        ...
    @property
    def smoothing_time_ms(self) -> float:
        """
        Milliseconds of post-processing: smoothing, resampling and validation.
        """
    @smoothing_time_ms.setter
    def smoothing_time_ms(self, arg0: typing.SupportsFloat | typing.SupportsIndex) -> None:
        ...
    @property
    def total_time_ms(self) -> float:
        """
        Milliseconds of the whole call, waiting included; set only once a path was found.
        """
    @total_time_ms.setter
    def total_time_ms(self, arg0: typing.SupportsFloat | typing.SupportsIndex) -> None:
        ...
    @property
    def wait_time_ms(self) -> float:
        """
        Milliseconds waiting for another call on the same planner before this one started.
        """
    @wait_time_ms.setter
    def wait_time_ms(self, arg0: typing.SupportsFloat | typing.SupportsIndex) -> None:
        ...
class PlannerResult:
    def __getstate__(self) -> tuple:
        ...
    def __init__(self) -> None:
        ...
    def __repr__(self) -> str:
        ...
    def __setstate__(self, arg0: tuple) -> None:
        ...
    def matches_revisions(self, arg0: typing.SupportsInt | typing.SupportsIndex, arg1: typing.SupportsInt | typing.SupportsIndex, arg2: typing.SupportsInt | typing.SupportsIndex) -> bool:
        """
        Whether the result's map, goal and robot revisions are these (a result for an outdated
        request can be dropped).
        """
    @property
    def diagnostics(self) -> PlannerDiagnostics:
        """
        What the call did: counts and times.
        """
    @diagnostics.setter
    def diagnostics(self, arg0: PlannerDiagnostics) -> None:
        ...
    @property
    def directions(self) -> list[int]:
        """
        One label per pose (Direction values as ints): the step that leaves the pose. A copy on
        every read.
        """
    @directions.setter
    def directions(self, arg1: collections.abc.Sequence[typing.SupportsInt | typing.SupportsIndex]) -> None:
        ...
    @property
    def directions_array(self) -> numpy.typing.NDArray[numpy.int8]:
        ...
    @property
    def goal_revision(self) -> int:
        """
        The request's goal_revision.
        """
    @goal_revision.setter
    def goal_revision(self, arg0: typing.SupportsInt | typing.SupportsIndex) -> None:
        ...
    @property
    def map_revision(self) -> int:
        """
        The request's map_revision.
        """
    @map_revision.setter
    def map_revision(self, arg0: typing.SupportsInt | typing.SupportsIndex) -> None:
        ...
    @property
    def message(self) -> str:
        """
        What went wrong, or empty.
        """
    @message.setter
    def message(self, arg0: str) -> None:
        ...
    @property
    def partial(self) -> bool:
        """
        The search failed (the status says how) and `path` leads to where it got closest to the
        goal (PlannerConfig.return_partial_path); its counts, length and times describe that path.
        """
    @partial.setter
    def partial(self, arg0: bool) -> None:
        ...
    @property
    def path(self) -> list[Pose2D]:
        """
        The path's poses, empty unless SUCCESS or partial; starts with the request's start exactly
        as given. A copy on every read.
        """
    @path.setter
    def path(self, arg1: collections.abc.Sequence[Pose2D]) -> None:
        ...
    @property
    def path_array(self) -> numpy.typing.NDArray[numpy.float64]:
        ...
    @property
    def robot_revision(self) -> int:
        """
        The request's robot_revision.
        """
    @robot_revision.setter
    def robot_revision(self, arg0: typing.SupportsInt | typing.SupportsIndex) -> None:
        ...
    @property
    def status(self) -> PlannerStatus:
        """
        How the call ended.
        """
    @status.setter
    def status(self, arg0: PlannerStatus) -> None:
        ...
class CancellationToken:
    def __init__(self) -> None:
        ...
    def cancel(self) -> None:
        """
        Asks every plan() holding this token to stop; it returns CANCELLED at its next check.
        Any thread may call it.
        """
    def reset(self) -> None:
        """
        Clears the request to stop, so the token can be used again.
        """
    @property
    def cancelled(self) -> bool:
        ...
class HybridAStar:
    @typing.overload
    def __init__(self, costmap: Costmap) -> None:
        ...
    @typing.overload
    def __init__(self, cells: numpy.ndarray, resolution: typing.SupportsFloat | typing.SupportsIndex, origin_x: typing.SupportsFloat | typing.SupportsIndex, origin_y: typing.SupportsFloat | typing.SupportsIndex) -> None:
        ...
    def plan(self, request: PlanRequest, config: PlannerConfig, cancellation: CancellationToken | None = None) -> PlannerResult:
        """
        Plans one path. Outcomes are statuses in the result, never exceptions; releases the
        interpreter lock while it searches. Calls on one planner run one after another; use one
        planner per thread for parallel plans.
        """
    def set_costmap(self, costmap: Costmap) -> None:
        """
        Replaces the planner's map for the next plan (a running plan keeps the map it started
        with), keeping its reused memory; the next plan equals a new planner's on this map,
        whatever its map_revision.
        """
    def update_costmap(self, x0: typing.SupportsInt | typing.SupportsIndex, y0: typing.SupportsInt | typing.SupportsIndex, cells: numpy.ndarray) -> None:
        """
        Replace the cells of a window of the map for the next plan (cells: 2-D uint8, row 0 is
        map row y0), without waiting for a running plan. The next plan repairs what the change
        touched and gives a new planner's results on the changed map.
        """
class KinematicStateSpace:
    def __init__(self, minimum_turning_radius: typing.SupportsFloat | typing.SupportsIndex, allow_reverse: bool) -> None:
        ...
    def distance(self, arg0: Pose2D, arg1: Pose2D) -> float:
        """
        Metres along the shortest Reeds-Shepp (or, without reverse, Dubins: not symmetric) curve
        between the poses. ValueError "pose must be finite" or "poses are too far apart".
        """
    def interpolate(self, arg0: Pose2D, arg1: Pose2D, arg2: typing.SupportsFloat | typing.SupportsIndex) -> list[Pose2D]:
        """
        Poses along the shortest curve, excluding `from`, ending exactly at `to`, at most
        `spacing` metres apart.
        """
    def interpolate_while(self, arg0: Pose2D, arg1: Pose2D, arg2: typing.SupportsFloat | typing.SupportsIndex, arg3: collections.abc.Callable[[KinematicSample], bool]) -> tuple[bool, list[KinematicSample]]:
        """
        The samples of interpolate_with_directions, handed one at a time to the callback; stops
        at the first it refuses. Returns (whether every sample was kept, the kept samples).
        """
    def interpolate_with_directions(self, arg0: Pose2D, arg1: Pose2D, arg2: typing.SupportsFloat | typing.SupportsIndex) -> list[KinematicSample]:
        """
        As interpolate, each sample tagged with the direction (1 forward, -1 reverse) of its
        segment.
        """
class KinematicSample:
    @property
    def direction(self) -> int:
        ...
    @property
    def pose(self) -> Pose2D:
        ...
class Direction:
    """
    Members:
    
      REVERSE
    
      ROTATION
    
      FORWARD
    """
    FORWARD: typing.ClassVar[Direction]
    REVERSE: typing.ClassVar[Direction]
    ROTATION: typing.ClassVar[Direction]
    __members__: typing.ClassVar[dict[str, Direction]]
    @typing.overload
    def __eq__(self, other: Direction) -> bool:
        ...
    @typing.overload
    def __eq__(self, other: typing.Any) -> bool:
        ...
    def __getstate__(self) -> int:
        ...
    def __hash__(self) -> int:
        ...
    def __index__(self) -> int:
        ...
    def __init__(self, value: typing.SupportsInt | typing.SupportsIndex) -> None:
        ...
    def __int__(self) -> int:
        ...
    @typing.overload
    def __ne__(self, other: Direction) -> bool:
        ...
    @typing.overload
    def __ne__(self, other: typing.Any) -> bool:
        ...
    def __repr__(self) -> str:
        ...
    def __setstate__(self, state: typing.SupportsInt | typing.SupportsIndex) -> None:
        ...
    def __str__(self) -> str:
        ...
    @property
    def name(self) -> str:
        ...
    @property
    def value(self) -> int:
        ...
class Steering:
    """
    Members:
    
      RIGHT
    
      STRAIGHT
    
      LEFT
    """
    LEFT: typing.ClassVar[Steering]
    RIGHT: typing.ClassVar[Steering]
    STRAIGHT: typing.ClassVar[Steering]
    __members__: typing.ClassVar[dict[str, Steering]]
    @typing.overload
    def __eq__(self, other: Steering) -> bool:
        ...
    @typing.overload
    def __eq__(self, other: typing.Any) -> bool:
        ...
    def __getstate__(self) -> int:
        ...
    def __hash__(self) -> int:
        ...
    def __index__(self) -> int:
        ...
    def __init__(self, value: typing.SupportsInt | typing.SupportsIndex) -> None:
        ...
    def __int__(self) -> int:
        ...
    @typing.overload
    def __ne__(self, other: Steering) -> bool:
        ...
    @typing.overload
    def __ne__(self, other: typing.Any) -> bool:
        ...
    def __repr__(self) -> str:
        ...
    def __setstate__(self, state: typing.SupportsInt | typing.SupportsIndex) -> None:
        ...
    def __str__(self) -> str:
        ...
    @property
    def name(self) -> str:
        ...
    @property
    def value(self) -> int:
        ...
class MotionPrimitive:
    @property
    def curvature(self) -> float:
        """
        1/m, positive to the left; 0 for straight moves and turns on the spot.
        """
    @property
    def direction(self) -> Direction:
        ...
    @property
    def length(self) -> float:
        ...
    @property
    def samples(self) -> list[Pose2D]:
        ...
    @property
    def steering(self) -> Steering:
        ...
    @property
    def steering_index(self) -> int:
        """
        Which of the table's curvatures: -n..n with n = (steering_angles - 1) // 2, n at full lock
        left; turns on the spot +-1.
        """
class MotionPrimitiveTable:
    def __init__(self, resolution: typing.SupportsFloat | typing.SupportsIndex, config: PlannerConfig) -> None:
        ...
    def generate(self, arg0: Pose2D) -> list[MotionPrimitive]:
        """
        The motion primitives from the pose: straight and arcs forwards, and backwards or turns
        on the spot as the configuration allows.
        """
    @property
    def primitive_length(self) -> float:
        ...
class ObstacleHeuristic:
    def __init__(self, costmap: Costmap, goal: GridIndex, allow_unknown: bool, cost_penalty: typing.SupportsFloat | typing.SupportsIndex, clearance: typing.SupportsFloat | typing.SupportsIndex = 0.0, start: GridIndex | None = None, reach_factor: typing.SupportsFloat | typing.SupportsIndex = 0.0) -> None:
        ...
    def distance(self, x: typing.SupportsInt | typing.SupportsIndex, y: typing.SupportsInt | typing.SupportsIndex) -> float:
        """
        The heuristic's cost-weighted distance from cell (x, y) to the goal; values at or above
        reach stand for reach. IndexError "heuristic index outside map".
        """
    @property
    def reach(self) -> float:
        ...
class PathSmoother:
    @staticmethod
    def resample(path: collections.abc.Sequence[Pose2D], spacing: typing.SupportsFloat | typing.SupportsIndex) -> list[Pose2D]:
        """
        Consecutive poses at most `spacing` metres apart; headings turn the short way, turns on
        the spot kept, repeated poses dropped.
        """
    @staticmethod
    def respects_turning_radius(path: collections.abc.Sequence[Pose2D], minimum_turning_radius: typing.SupportsFloat | typing.SupportsIndex) -> bool:
        """
        False when any step turns more tightly than the radius (1 % slack) or turns on the spot.
        """
    @staticmethod
    def smooth(path: collections.abc.Sequence[Pose2D], checker: CollisionChecker, footprint: CircleFootprint | PolygonFootprint | MultiPolygonFootprint, config: PlannerConfig) -> list[Pose2D]:
        """
        The path relaxed towards straight lines and back towards the input while every iterate
        stays collision-free and within the turning radius; endpoints never move. Paths of up to
        two poses, and smoother_max_iterations 0, come back unchanged without any check; otherwise
        ValueError carries validate_path's messages (naming interpolation_step). Runs without the
        interpreter lock.
        """
class SvgRenderOptions:
    draw_footprints: bool
    draw_grid: bool
    forward_color: str
    path_color: str
    reverse_color: str
    rotation_color: str
    def __init__(self) -> None:
        ...
    @property
    def footprint_stride(self) -> int:
        ...
    @footprint_stride.setter
    def footprint_stride(self, arg0: typing.SupportsInt | typing.SupportsIndex) -> None:
        ...
    @property
    def pixels_per_cell(self) -> int:
        ...
    @pixels_per_cell.setter
    def pixels_per_cell(self, arg0: typing.SupportsInt | typing.SupportsIndex) -> None:
        ...
class OccupancyMode:
    """
    Members:
    
      TRINARY
    
      SCALE
    
      RAW
    """
    RAW: typing.ClassVar[OccupancyMode]
    SCALE: typing.ClassVar[OccupancyMode]
    TRINARY: typing.ClassVar[OccupancyMode]
    __members__: typing.ClassVar[dict[str, OccupancyMode]]
    @typing.overload
    def __eq__(self, other: OccupancyMode) -> bool:
        ...
    @typing.overload
    def __eq__(self, other: typing.Any) -> bool:
        ...
    def __getstate__(self) -> int:
        ...
    def __hash__(self) -> int:
        ...
    def __index__(self) -> int:
        ...
    def __init__(self, value: typing.SupportsInt | typing.SupportsIndex) -> None:
        ...
    def __int__(self) -> int:
        ...
    @typing.overload
    def __ne__(self, other: OccupancyMode) -> bool:
        ...
    @typing.overload
    def __ne__(self, other: typing.Any) -> bool:
        ...
    def __repr__(self) -> str:
        ...
    def __setstate__(self, state: typing.SupportsInt | typing.SupportsIndex) -> None:
        ...
    def __str__(self) -> str:
        ...
    @property
    def name(self) -> str:
        ...
    @property
    def value(self) -> int:
        ...
class OccupancyMapInfo:
    image: str
    mode: OccupancyMode
    negate: bool
    def __init__(self) -> None:
        ...
    @property
    def free_thresh(self) -> float:
        ...
    @free_thresh.setter
    def free_thresh(self, arg0: typing.SupportsFloat | typing.SupportsIndex) -> None:
        ...
    @property
    def occupied_thresh(self) -> float:
        ...
    @occupied_thresh.setter
    def occupied_thresh(self, arg0: typing.SupportsFloat | typing.SupportsIndex) -> None:
        ...
    @property
    def origin_x(self) -> float:
        ...
    @origin_x.setter
    def origin_x(self, arg0: typing.SupportsFloat | typing.SupportsIndex) -> None:
        ...
    @property
    def origin_y(self) -> float:
        ...
    @origin_y.setter
    def origin_y(self, arg0: typing.SupportsFloat | typing.SupportsIndex) -> None:
        ...
    @property
    def resolution(self) -> float:
        ...
    @resolution.setter
    def resolution(self, arg0: typing.SupportsFloat | typing.SupportsIndex) -> None:
        ...
class InflationParameters:
    def __init__(self) -> None:
        ...
    @property
    def cost_scaling_factor(self) -> float:
        ...
    @cost_scaling_factor.setter
    def cost_scaling_factor(self, arg0: typing.SupportsFloat | typing.SupportsIndex) -> None:
        ...
    @property
    def inflation_radius(self) -> float:
        ...
    @inflation_radius.setter
    def inflation_radius(self, arg0: typing.SupportsFloat | typing.SupportsIndex) -> None:
        ...
    @property
    def inscribed_radius(self) -> float:
        ...
    @inscribed_radius.setter
    def inscribed_radius(self, arg0: typing.SupportsFloat | typing.SupportsIndex) -> None:
        ...
class MapFormat:
    """
    The map file formats load_map reads.
    
    Members:
    
      YAML
    
      MOVINGAI
    
      PGM
    
      CSV
    """
    CSV: typing.ClassVar[MapFormat]
    MOVINGAI: typing.ClassVar[MapFormat]
    PGM: typing.ClassVar[MapFormat]
    YAML: typing.ClassVar[MapFormat]
    __members__: typing.ClassVar[dict[str, MapFormat]]
    @typing.overload
    def __eq__(self, other: MapFormat) -> bool:
        ...
    @typing.overload
    def __eq__(self, other: typing.Any) -> bool:
        ...
    def __getstate__(self) -> int:
        ...
    def __hash__(self) -> int:
        ...
    def __index__(self) -> int:
        ...
    def __init__(self, value: typing.SupportsInt | typing.SupportsIndex) -> None:
        ...
    def __int__(self) -> int:
        ...
    @typing.overload
    def __ne__(self, other: MapFormat) -> bool:
        ...
    @typing.overload
    def __ne__(self, other: typing.Any) -> bool:
        ...
    def __repr__(self) -> str:
        ...
    def __setstate__(self, state: typing.SupportsInt | typing.SupportsIndex) -> None:
        ...
    def __str__(self) -> str:
        ...
    @property
    def name(self) -> str:
        ...
    @property
    def value(self) -> int:
        ...
class MapLoadOptions:
    """
    What load_map needs beyond the file: the cell size in metres and the origin for
    all but YAML maps, and whether a PGM is an occupancy image.
    """
    occupancy: bool
    def __init__(self, resolution: typing.SupportsFloat | typing.SupportsIndex | None = None, origin_x: typing.SupportsFloat | typing.SupportsIndex = 0.0, origin_y: typing.SupportsFloat | typing.SupportsIndex = 0.0, occupancy: bool = False) -> None:
        ...
    @property
    def origin_x(self) -> float:
        ...
    @origin_x.setter
    def origin_x(self, arg0: typing.SupportsFloat | typing.SupportsIndex) -> None:
        ...
    @property
    def origin_y(self) -> float:
        ...
    @origin_y.setter
    def origin_y(self, arg0: typing.SupportsFloat | typing.SupportsIndex) -> None:
        ...
    @property
    def resolution(self) -> float | None:
        ...
    @resolution.setter
    def resolution(self, arg0: typing.SupportsFloat | typing.SupportsIndex | None) -> None:
        ...
def cost_blocks(cost: typing.SupportsInt | typing.SupportsIndex, allow_unknown: bool) -> bool:
    """
    Whether a cell of this cost blocks the robot: lethal always, unknown unless allowed.
    """
def default_inflation(footprint: CircleFootprint | PolygonFootprint | MultiPolygonFootprint, resolution: typing.SupportsFloat | typing.SupportsIndex) -> InflationParameters:
    """
    How occupancy maps are inflated for this footprint on cells of `resolution` metres: out to
    the footprint's circumscribed radius (at least two cells), costs falling from 252 next to a
    lethal cell to about 10 there, no inscribed band. ValueError "resolution must be finite and
    positive" or the footprint's first problem.
    """
def inflate_costmap(source: Costmap, inflation_radius: typing.SupportsFloat | typing.SupportsIndex, inscribed_radius: typing.SupportsFloat | typing.SupportsIndex, cost_scaling_factor: typing.SupportsFloat | typing.SupportsIndex) -> Costmap:
    """
    A new costmap in which every cell within `inscribed_radius` metres of a lethal cell (centre
    to centre) costs at least 253 and every cell out to `inflation_radius` at least 252 *
    exp(-cost_scaling_factor * (d - inscribed_radius)), rounded and clamped to 1..252. Lethal
    and unknown cells are kept; no cost is lowered. ValueError "invalid inflation parameters".
    """
def inflate_costmap_window(source: Costmap, x0: typing.SupportsInt | typing.SupportsIndex, y0: typing.SupportsInt | typing.SupportsIndex, width: typing.SupportsInt | typing.SupportsIndex, height: typing.SupportsInt | typing.SupportsIndex, inflation_radius: typing.SupportsFloat | typing.SupportsIndex, inscribed_radius: typing.SupportsFloat | typing.SupportsIndex, cost_scaling_factor: typing.SupportsFloat | typing.SupportsIndex) -> numpy.typing.NDArray[numpy.uint8]:
    """
    The cells of columns x0 .. x0 + width - 1 and rows y0 .. y0 + height - 1 of
    inflate_costmap(source, ...), as a (height, width) uint8 array, computed around the window
    only: after a local change of the source, inflate the window the change reaches (grown by
    the inflation radius) and hand it to HybridAStar.update_costmap. IndexError "inflation window
    is outside the costmap", ValueError "invalid inflation parameters".
    """
def inflate_for_footprint(costmap: Costmap, footprint: CircleFootprint | PolygonFootprint | MultiPolygonFootprint) -> Costmap:
    """
    The occupancy map prepared for planning with this footprint: inflate_costmap with
    default_inflation(footprint, costmap.resolution). veltrax_se2.plan, plan_many and veltrax-plan
    prepare occupancy maps with it.
    """
def inscribed_radius(footprint: CircleFootprint | PolygonFootprint | MultiPolygonFootprint) -> float:
    """
    Metres: the radius of the largest disc about the robot's origin inside the footprint (a
    circle's radius; 0 when the origin lies outside or on the outline).
    """
def load_costmap_csv(path: str, resolution: typing.SupportsFloat | typing.SupportsIndex, origin_x: typing.SupportsFloat | typing.SupportsIndex = 0.0, origin_y: typing.SupportsFloat | typing.SupportsIndex = 0.0) -> Costmap:
    """
    Loads a costmap from a CSV file of integer costs 0..255, one row per line, the first line at
    the largest y. `resolution` is the cell size in metres, (origin_x, origin_y) the lower-left
    corner. FileError (a RuntimeError) for file problems, MapFormatError for bad contents,
    ValueError for bad arguments.
    """
def load_costmap_pgm(path: str, resolution: typing.SupportsFloat | typing.SupportsIndex, origin_x: typing.SupportsFloat | typing.SupportsIndex = 0.0, origin_y: typing.SupportsFloat | typing.SupportsIndex = 0.0) -> Costmap:
    """
    Loads a costmap from a binary or ASCII PGM whose grey levels are costs (0 free, 254 lethal,
    255 unknown), the image's top row at the largest y. For occupancy images use
    veltrax_se2.load_map(..., occupancy=True). FileError (a RuntimeError) for file problems,
    MapFormatError for bad contents, ValueError for bad arguments.
    """
def load_map(path: str, options: MapLoadOptions = ...) -> Costmap:
    """
    Loads a map file of any format map_format knows as a costmap: a map-server YAML file with
    its image, or a MovingAI grid, a PGM or a CSV of costs, which need options.resolution (with
    options.occupancy a PGM is read as an occupancy image). FileError and MapFormatError
    (RuntimeErrors) for file problems and bad contents, ValueError for options that do not suit
    the format.
    """
def load_movingai_map(path: str, resolution: typing.SupportsFloat | typing.SupportsIndex, origin_x: typing.SupportsFloat | typing.SupportsIndex = 0.0, origin_y: typing.SupportsFloat | typing.SupportsIndex = 0.0) -> Costmap:
    """
    A MovingAI grid (.map) as a costmap, one character per cell of `resolution` metres: '.', 'G'
    and 'S' free, '@', 'O', 'T' (trees) and 'W' (water) lethal; the first row is the top of the map.
    Also the variant whose header names its characters ("free .", "obstacle @") with no type and
    no map line. RuntimeError "<path>: <what is wrong>"; ValueError for a geometry the costmap refuses.
    """
def load_occupancy_map(yaml_path: str) -> Costmap:
    """
    A map YAML file with a PGM image as a costmap (mode, negate and thresholds applied).
    RuntimeError naming the file and the problem; ValueError for a geometry the costmap refuses.
    """
def map_format(path: str) -> MapFormat:
    """
    The format of a map file, by its extension (.yaml/.yml, .map, .pgm, .csv, any case), else by
    its first bytes (a PGM magic number, a MovingAI header). MapFormatError naming the formats
    for anything else.
    """
def normalize_yaw(arg0: typing.SupportsFloat | typing.SupportsIndex) -> float:
    """
    The angle wrapped into [-pi, pi) radians.
    """
def occupancy_image_to_costs(grey: numpy.ndarray, info: OccupancyMapInfo) -> numpy.typing.NDArray[numpy.uint8]:
    """
    Costs of 8-bit grey levels (uint8 array of any shape) under the info's mode, negate flag
    and thresholds; the result has the same shape.
    """
def occupancy_percent_to_costs(occupancy: numpy.ndarray, occupied_thresh: typing.SupportsFloat | typing.SupportsIndex = 0.65, free_thresh: typing.SupportsFloat | typing.SupportsIndex = 0.196, scaled: bool = False) -> numpy.typing.NDArray[numpy.uint8]:
    """
    Costs of occupancy percentages (int8 array: -1 unknown, 0..100): above occupied_thresh
    254, below free_thresh 0, in between 255 or, when scaled, graded 0..252. ValueError names a
    value outside -1..100.
    """
def plan_many(costmap: Costmap, requests: collections.abc.Sequence[PlanRequest], config: PlannerConfig, workers: typing.SupportsInt | typing.SupportsIndex = 0, token: CancellationToken | None = None, progress: collections.abc.Callable[[int, int, int, PlannerResult], None] | None = None) -> list[PlannerResult]:
    """
    Plans every request on a fixed pool of `workers` threads (0: one per CPU) and returns the
    results in request order; one planner per worker, requests with the same goal cell and map
    revision on the same worker. `token` cancels the whole batch; `progress(done, total, index,
    result)` is called once per finished request, one call at a time; an exception it raises stops
    the batch and is re-raised.
    """
def planner_status_name(arg0: PlannerStatus) -> str:
    """
    The status's name, e.g. "SUCCESS"; veltrax_se2.explain says what to change.
    """
def read_occupancy_map_info(yaml_path: str) -> OccupancyMapInfo:
    """
    The checked fields of a map YAML file; a relative image name is resolved against the
    YAML file's folder. RuntimeError "<path>: <what is wrong>".
    """
def recommended_config(resolution: typing.SupportsFloat | typing.SupportsIndex, footprint: CircleFootprint | PolygonFootprint | MultiPolygonFootprint, allow_in_place_rotation: bool = False, minimum_turning_radius: typing.SupportsFloat | typing.SupportsIndex | None = None) -> PlannerConfig:
    """
    The configuration to start from for a costmap of cell size `resolution` (metres) and this
    footprint: penalties per metre converted with the primitive length, a weighted, footprint-
    aware heuristic with a bounded reach (twice as strong once a search stalls), and an
    analytic-curve cost limit that admits inflated costs; with
    `allow_in_place_rotation`, that mode on and penalties to suit. With
    `minimum_turning_radius` (metres), that radius, and the per-metre penalties converted with
    its longer primitives (setting the radius afterwards keeps penalties meant for the default
    0.4 m), and manoeuvre_heuristic and search_from_goal on. ValueError "resolution must be finite and positive", the footprint's first problem or
    "minimum_turning_radius must be finite and positive".
    """
def render_plan_svg(costmap: Costmap, request: PlanRequest, result: PlannerResult, options: SvgRenderOptions = ...) -> str:
    """
    The plan drawn as an SVG document (map, path coloured by direction, footprints, start and
    goal) as a string.
    """
def save_path_csv(result: PlannerResult, path: str) -> None:
    """
    Writes the path as CSV (x, y, yaw, direction per pose) to `path`, replacing the file only
    once the whole new one is written. FileError (a RuntimeError) for file problems.
    """
def save_plan_svg(costmap: Costmap, request: PlanRequest, result: PlannerResult, path: str, options: SvgRenderOptions = ...) -> None:
    """
    Writes render_plan_svg's document to `path`, replacing the file only once the whole new one
    is written. RuntimeError for file problems.
    """
def save_result_json(result: PlannerResult, path: str) -> None:
    """
    Writes the result (status, message, path, directions, diagnostics, revisions) as JSON to
    `path`, replacing the file only once the whole new one is written. FileError (a
    RuntimeError) for file problems.
    """
def validate_footprint(arg0: CircleFootprint | PolygonFootprint | MultiPolygonFootprint) -> list[str]:
    """
    The footprint's problems in a fixed order; empty when usable.
    """
FREE_COST: int = 0
INSCRIBED_COST: int = 253
LETHAL_COST: int = 254
MAX_GRADED_COST: int = 252
UNKNOWN_COST: int = 255
