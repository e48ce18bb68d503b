"""One call from a map file to a path, the path in segments, and failures explained."""

from __future__ import annotations

import difflib
import math
import os
import warnings
from dataclasses import dataclass
from typing import Any, Sequence, Union

import numpy as np

import _se2_planner as sp

from .maps import MapFileError, costmap_from_occupancy, load_map, map_kind

Footprint = Union[sp.CircleFootprint, sp.PolygonFootprint, sp.MultiPolygonFootprint]
PoseLike = Union[sp.Pose2D, Sequence[float], np.ndarray]


def config_fields() -> list[str]:
    """The names of PlannerConfig's fields, in alphabetical order."""
    config = sp.PlannerConfig()
    return sorted(n for n in dir(config) if not n.startswith("_") and not callable(getattr(config, n)))


def copy_config(config: sp.PlannerConfig | None = None, **fields: Any) -> sp.PlannerConfig:
    """A new PlannerConfig with the fields of `config` (library defaults if None) and `fields`;
    an unknown field raises TypeError naming it."""
    names = config_fields()
    copy = sp.PlannerConfig()
    if config is not None:
        for name in names:
            setattr(copy, name, getattr(config, name))
    for name, value in fields.items():
        if name not in names:
            raise TypeError(f"PlannerConfig has no field '{name}'{did_you_mean(name, names)}")
        setattr(copy, name, value)
    return copy


def did_you_mean(name: str, names: Sequence[str]) -> str:
    """"; did you mean 'x'?" for the name in `names` closest to a mistyped one, else ""."""
    close = difflib.get_close_matches(name, names, n=1)
    return f"; did you mean '{close[0]}'?" if close else ""


def make_pose(value: PoseLike, what: str = "pose") -> sp.Pose2D:
    """A Pose2D from a Pose2D, a tuple or a numpy array (x, y, yaw): metres and radians."""
    if isinstance(value, sp.Pose2D):
        return sp.Pose2D(value.x, value.y, value.yaw)
    try:
        x, y, yaw = (float(v) for v in np.asarray(value, dtype=np.float64).reshape(-1))
    except (TypeError, ValueError):
        raise ValueError(f"{what} must be (x, y, yaw), got {value!r}") from None
    if not all(math.isfinite(v) for v in (x, y, yaw)):
        raise ValueError(f"{what} must be finite, got ({x!r}, {y!r}, {yaw!r})")
    if abs(yaw) > 2 * math.pi:
        warnings.warn(f"{what} yaw {yaw:g} is larger than 2π in magnitude: radians expected "
                      f"(math.radians({yaw:g}) = {math.radians(yaw):.4f})", stacklevel=3)
    return sp.Pose2D(x, y, yaw)


def make_footprint(footprint: Any) -> Footprint:
    """A library footprint from a radius (metres), a list of (x, y) vertices in the robot frame, or
    a library footprint; ValueError with the footprint's first problem."""
    if isinstance(footprint, (sp.CircleFootprint, sp.PolygonFootprint, sp.MultiPolygonFootprint)):
        shape = footprint
    elif isinstance(footprint, (int, float)) and not isinstance(footprint, bool):
        shape = sp.CircleFootprint(float(footprint))
    else:
        try:
            points = [p if isinstance(p, sp.Point2D) else sp.Point2D(*(float(v) for v in p))
                      for p in footprint]
        except (TypeError, ValueError):
            raise ValueError(
                f"footprint must be a radius, a list of (x, y) points or a footprint, got {footprint!r}"
            ) from None
        shape = sp.PolygonFootprint(points)
    problems = sp.validate_footprint(shape)
    if problems:
        raise ValueError(f"footprint: {problems[0]}")
    return shape


def make_request(start: PoseLike, goal: PoseLike, footprint: Any = 0.25) -> sp.PlanRequest:
    """A PlanRequest from poses given as tuples or arrays and a footprint as `make_footprint` takes."""
    request = sp.PlanRequest()
    request.start = make_pose(start, "start")
    request.goal = make_pose(goal, "goal")
    request.footprint = make_footprint(footprint)
    return request


def circumscribed_radius(footprint: Footprint) -> float:
    """The largest distance of the footprint from the robot's origin."""
    if isinstance(footprint, sp.CircleFootprint):
        return footprint.radius
    polygons = footprint.polygons if isinstance(footprint, sp.MultiPolygonFootprint) else [footprint]
    return max(math.hypot(p.x, p.y) for polygon in polygons for p in polygon.points)


@dataclass(frozen=True)
class Inflation:
    """How a map was inflated before planning: cells within `inscribed` metres of a lethal cell
    cost 253, farther ones 252 * exp(-cost_scaling * (d - inscribed)) out to `radius`."""

    radius: float
    inscribed: float
    cost_scaling: float

    def describe(self) -> str:
        band = f", inscribed {self.inscribed:.2f} m" if self.inscribed > 0 else ""
        return f"inflated to {self.radius:.2f} m (cost scaling {self.cost_scaling:.2f} per m{band})"


def default_inflation(footprint: Footprint, resolution: float, radius: float | None = None,
                      cost_scaling: float | None = None) -> Inflation:
    """The inflation chosen from the footprint, or the one a caller's radius asks for.

    Without `radius`: the library's `default_inflation` (also in C++: `defaultInflation`), which
    `inflate_for_footprint` applies: costs fall from 252 next to a lethal cell to about 10 at the
    footprint's circumscribed radius (at least two cells), with no inscribed band, because the
    planner charges each motion the highest cost its footprint touches. Paths then keep a
    clearance of up to one robot radius from walls where the map leaves room and pass narrower
    gaps at a price. A `cost_scaling` replaces the decay.

    With `radius`: what `veltrax-plan --inflate RADIUS` has always done, kept for those who rely
    on it: cells within the footprint's inscribed radius (at most `radius`) cost 253, and costs
    decay at `cost_scaling` (default 10) per metre beyond.
    """
    if radius is not None:
        inscribed = min(sp.inscribed_radius(footprint), radius)
        scaling = 10.0 if cost_scaling is None else cost_scaling
        return Inflation(radius=float(radius), inscribed=float(inscribed), cost_scaling=float(scaling))
    chosen = sp.default_inflation(footprint, resolution)
    if cost_scaling is None:
        cost_scaling = chosen.cost_scaling_factor
    return Inflation(radius=chosen.inflation_radius, inscribed=chosen.inscribed_radius,
                     cost_scaling=float(cost_scaling))


def planning_map(
    map_or_path: Any,
    footprint: Footprint,
    *,
    resolution: float | None = None,
    origin: tuple[float, float] = (0.0, 0.0),
    occupancy: bool = False,
    inflate: bool | float | None = None,
    cost_scaling: float | None = None,
) -> tuple[sp.Costmap, Inflation | None]:
    """The costmap to plan on and the inflation applied to it (None when not inflated): how
    `plan`, `plan_many` and `veltrax-plan` prepare a map, so a query plans the same on each.

    `map_or_path`: a Costmap (costs), a path (see `load_map`; `occupancy` reads a bare PGM as an
    occupancy image), an int8 array (occupancy grid: -1, 0..100) or a uint8 array (costs), arrays
    with `resolution` and `origin`. Occupancy maps (YAML, .map, int8 grids, PGM with `occupancy`)
    are inflated by default as `default_inflation` says; costs are not. `inflate`: False plans on
    the map as it is, True inflates, a number inflates to that radius in metres.
    """
    if isinstance(map_or_path, sp.Costmap):
        costmap, is_occupancy = map_or_path, False
    elif isinstance(map_or_path, np.ndarray):
        if resolution is None:
            raise ValueError("a resolution (cell size in metres) is required for a map given as an array")
        if map_or_path.dtype == np.int8:
            costmap, is_occupancy = costmap_from_occupancy(map_or_path, resolution, origin), True
        elif map_or_path.dtype == np.uint8:
            costmap, is_occupancy = sp.Costmap(map_or_path, resolution, origin[0], origin[1]), False
        else:
            raise ValueError(f"a map array must be int8 (occupancy) or uint8 (costs), got {map_or_path.dtype}")
    elif isinstance(map_or_path, (str, os.PathLike)):
        kind = map_kind(map_or_path)
        costmap = load_map(map_or_path, resolution, origin, occupancy=occupancy)
        is_occupancy = kind in ("yaml", "map") or occupancy
    else:
        raise TypeError(f"expected a Costmap, a map file path or an array, got {type(map_or_path).__name__}")

    if inflate is None:
        inflate = is_occupancy
    if inflate is False:
        return costmap, None
    radius = None if inflate is True else float(inflate)
    inflation = default_inflation(footprint, costmap.resolution, radius, cost_scaling)
    inflated = sp.inflate_costmap(costmap, inflation.radius, inflation.inscribed, inflation.cost_scaling)
    return inflated, inflation


def plan(
    map_or_path: Any,
    start: PoseLike,
    goal: PoseLike,
    footprint: Any = 0.25,
    config: sp.PlannerConfig | None = None,
    *,
    resolution: float | None = None,
    origin: tuple[float, float] = (0.0, 0.0),
    occupancy: bool = False,
    inflate: bool | float | None = None,
    cost_scaling: float | None = None,
    **fields: Any,
) -> sp.PlannerResult:
    """Plans one path and returns the library's PlannerResult.

    `map_or_path` as `planning_map` takes it (a Costmap, a YAML/.map/.pgm/.csv path, an int8
    occupancy grid or uint8 costs); occupancy maps are inflated by default for clearance
    (`inflate=False` plans on the raw map). `start` and `goal` are (x, y, yaw) in metres and
    radians. `footprint` is a radius, a list of (x, y) vertices or a library footprint. Without
    `config` the recommended configuration for the map's resolution and the footprint is used;
    keyword `fields` then override PlannerConfig fields (e.g. `allow_reverse=False`); an unknown
    field raises TypeError naming it. `config` itself is not changed.
    """
    shape = make_footprint(footprint)
    if config is None:
        # A turning radius among the fields sets the recommended penalties' scale too.
        radius = fields.get("minimum_turning_radius")
        if not (isinstance(radius, (int, float)) and math.isfinite(radius) and radius > 0):
            radius = None
        config = sp.recommended_config(_resolution_hint(map_or_path, resolution), shape,
                                       bool(fields.get("allow_in_place_rotation", False)),
                                       minimum_turning_radius=radius)
    config = copy_config(config, **fields)
    request = make_request(start, goal, shape)
    costmap, _ = planning_map(map_or_path, shape, resolution=resolution, origin=origin,
                              occupancy=occupancy, inflate=inflate, cost_scaling=cost_scaling)
    return sp.HybridAStar(costmap).plan(request, config)


def _resolution_hint(map_or_path: Any, resolution: float | None) -> float:
    if isinstance(map_or_path, sp.Costmap):
        return map_or_path.resolution
    if resolution is not None:
        return resolution
    if isinstance(map_or_path, (str, os.PathLike)) and map_kind(map_or_path) == "yaml":
        from .maps import read_map_metadata

        return read_map_metadata(map_or_path).resolution
    raise MapFileError(f"{os.fsdecode(map_or_path)}: a resolution (cell size in metres) is required")


@dataclass(frozen=True)
class Segment:
    """A stretch of path driven in one direction: `poses` an (N, 3) array of x, y, yaw,
    `direction` 1 forward, -1 reverse, 0 turning on the spot, `length` metres driven."""

    poses: np.ndarray
    direction: int
    length: float


def segments(result: sp.PlannerResult) -> list[Segment]:
    """The result's path split at each change of direction, for controllers that follow one
    segment at a time.

    The library labels pose i with the direction of the step from pose i to pose i + 1 (the last
    pose repeats the label before it). A segment is a maximal run of steps with one label; it
    holds the poses those steps join, so the pose at a cusp ends one segment and starts the next.
    An empty path gives no segments; a one-pose path one segment of length 0.
    """
    path = result.path_array
    labels = result.directions_array
    if len(path) == 0:
        return []
    if len(path) == 1:
        return [Segment(path.copy(), int(labels[0]), 0.0)]
    steps = np.hypot(np.diff(path[:, 0]), np.diff(path[:, 1]))
    out = []
    begin = 0
    for i in range(1, len(path)):
        if i == len(path) - 1 or labels[i] != labels[begin]:
            out.append(Segment(path[begin:i + 1].copy(), int(labels[begin]), float(steps[begin:i].sum())))
            begin = i
    return out


def count_cusps(directions: Sequence[int]) -> int:
    """Changes between forward and reverse driving along the labelled path."""
    cusps = 0
    previous = 0
    for label in directions:
        if label == 0:
            continue
        if previous and label != previous:
            cusps += 1
        previous = label
    return cusps


def _touched(costmap: sp.Costmap, pose: sp.Pose2D, footprint: Footprint) -> list[str]:
    """Which kinds of blocking cells the footprint at `pose` touches: off-map, lethal, unknown."""
    strict = sp.CollisionChecker(costmap, False).check(pose, footprint)
    loose = sp.CollisionChecker(costmap, True).check(pose, footprint)
    kinds = []
    if strict.outside_map:
        kinds.append("off-map")
    elif loose.collision:
        kinds.append("lethal")
    if strict.max_cost == 255:
        kinds.append("unknown")
    return kinds


def units_hint(footprint: Footprint, costmap: sp.Costmap) -> str:
    """A hint that the footprint was given in other units than metres when it is far larger than
    the cells (a hundred of them across its radius) or than the map; else ""."""
    radius = circumscribed_radius(footprint)
    side = min(costmap.width, costmap.height) * costmap.resolution
    if 2 * radius >= side:
        size = f"wider than the map ({side:g} m across)"
    elif radius >= 100 * costmap.resolution:
        size = f"{radius / costmap.resolution:.0f} cells of {costmap.resolution:g} m"
    else:
        return ""
    return (f"; the footprint reaches {radius:g} m from the robot's origin, {size}: "
            f"footprints are in metres (a radius of 30 cm is 0.3)")


def explain(result: sp.PlannerResult, request: sp.PlanRequest, config: sp.PlannerConfig,
            costmap: sp.Costmap | None = None, *, command_line: bool = False) -> str:
    """One line saying why a plan ended as it did and which field or input to change.

    With the `costmap` planned on, collisions of the start or goal say which cells the footprint
    touches (lethal, unknown or off-map) and off-map poses the map's extent; a footprint far
    larger than the cells or the map gets a hint on units. With `command_line`, fields are
    spelled as `veltrax-plan` options (`--set allow_unknown=1`) instead of Python's.
    """

    def setting(name: str, value: object) -> str:
        if not command_line:
            return f"{name}={value}"
        if name == "allow_reverse":
            return "leaving out --no-reverse"
        return f"--set {name}={int(value) if isinstance(value, bool) else value}"

    def field(name: str) -> str:
        return f"--set {name}=..." if command_line else name

    status = result.status
    S = sp.PlannerStatus
    units = units_hint(request.footprint, costmap) if costmap is not None else ""
    if status == S.SUCCESS:
        cusps = count_cusps(result.directions)
        return (f"path found: {result.diagnostics.path_length:.2f} m, {len(result.path)} poses, "
                f"{cusps} cusp{'' if cusps == 1 else 's'}")
    budget_hint = "the recommended configuration or a larger budget may solve it"
    partial = ""
    if result.partial and len(result.path):
        end = result.path[-1]
        partial = (f"; the partial path returned ({result.diagnostics.path_length:.2f} m) ends "
                   f"{math.hypot(request.goal.x - end.x, request.goal.y - end.y):.2f} m from the goal")
    if status == S.MAX_NODES_EXCEEDED:
        return (f"gave up after {config.max_expanded_nodes:,} expansions ({field('max_expanded_nodes')}); "
                f"{budget_hint}{partial}")
    if status == S.TIMEOUT:
        return (f"gave up after {config.max_planning_time_seconds:g} s "
                f"({field('max_planning_time_seconds')}); {budget_hint}{partial}")
    if status == S.CANCELLED:
        return "cancelled through the CancellationToken before a path was found"
    if status in (S.START_OUT_OF_BOUNDS, S.GOAL_OUT_OF_BOUNDS):
        which = "start" if status == S.START_OUT_OF_BOUNDS else "goal"
        pose = request.start if which == "start" else request.goal
        line = f"{which} ({pose.x:g}, {pose.y:g}) is outside the map"
        if costmap is not None:
            x1 = costmap.origin_x + costmap.width * costmap.resolution
            y1 = costmap.origin_y + costmap.height * costmap.resolution
            line += (f", which covers x {costmap.origin_x:g}..{x1:g} m, "
                     f"y {costmap.origin_y:g}..{y1:g} m")
        return line
    if status in (S.START_IN_COLLISION, S.GOAL_IN_COLLISION):
        which = "start" if status == S.START_IN_COLLISION else "goal"
        if costmap is None:
            return (f"{which} footprint is in collision (lethal, unknown or off-map cells); "
                    f"allow_unknown={config.allow_unknown}")
        pose = request.start if which == "start" else request.goal
        kinds = _touched(costmap, pose, request.footprint)
        line = f"{which} footprint touches {' and '.join(kinds) or 'blocking'} cells"
        # What blocks whatever the configuration comes first; unknown cells only block by choice.
        if "lethal" in kinds or "off-map" in kinds:
            line += f"; move the {which} or use a smaller footprint"
            if "unknown" in kinds and not config.allow_unknown:
                line += f" ({setting('allow_unknown', True)} alone would not free it)"
        elif "unknown" in kinds and not config.allow_unknown:
            line += f"; {setting('allow_unknown', True)} plans through unknown space"
        return line + units
    if status == S.NO_PATH:
        hints = []
        if not config.allow_reverse:
            hints.append(setting("allow_reverse", True))
        if not config.allow_unknown and costmap is not None and bool((costmap.cells_array == 255).any()):
            hints.append(f"{setting('allow_unknown', True)} (the map has unknown cells)")
        hints.append(f"a smaller {field('minimum_turning_radius')} (now {config.minimum_turning_radius:g} m) "
                     "or footprint")
        return f"no path ({result.message}); {', '.join(hints)} may open one{units}{partial}"
    if status == S.INVALID_REQUEST:
        return f"invalid request: {result.message}"
    return f"internal error: {result.message}; please report it with the map and request"
