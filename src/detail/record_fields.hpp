#pragma once

// Every field of the plain records, listed once: its name, its member and the text Python's
// help() shows for it. The result JSON file, the module's properties, pickling and repr, the
// type stubs and docs/records.md all walk these lists, so a new field is added here and picked up
// everywhere (the JSON file's layout aside: see Field::in_result_file). Header-only, so the
// module can use it without the shared library exporting anything of it.

#include "veltrax/se2/records.hpp"

namespace veltrax::se2::detail {

template <typename Record, typename Member>
struct Field {
  const char* name;
  Member Record::*member;
  const char* doc;
  // The result file's layout is fixed; fields added to the records since stay out of it.
  bool in_result_file;
};

template <typename Record, typename Member>
constexpr Field<Record, Member> field(const char* name, Member Record::*member, const char* doc,
                                      bool in_result_file = true) {
  return {name, member, doc, in_result_file};
}

// RecordFields<R>::kName and RecordFields<R>::forEach(visit), which calls visit(Field) for every
// field of R in declaration order.
template <typename Record>
struct RecordFields;

template <>
struct RecordFields<PlannerConfig> {
  static constexpr const char* kName = "PlannerConfig";
  using C = PlannerConfig;

  template <typename Visit>
  static void forEach(Visit&& visit) {
    visit(field("minimum_turning_radius", &C::minimum_turning_radius,
                "Metres: the tightest arc the vehicle can drive. Default 0.4. Set it to your "
                "vehicle's;\nlarger radii need more room and more manoeuvres, smaller give tighter "
                "paths."));
    visit(field("allow_in_place_rotation", &C::allow_in_place_rotation,
                "Whether the robot may turn on the spot (differential drive). Default False. On, "
                "the search\nadds rotation primitives and no longer enforces "
                "minimum_turning_radius on the output; pass\nthe same flag to recommended_config "
                "so the penalties fit."));
    visit(field("allow_reverse", &C::allow_reverse,
                "Whether the robot may drive backwards (Reeds-Shepp curves instead of Dubins). "
                "Default True.\nOff, goals that need a manoeuvre (into a narrow slot, out of a "
                "dead end) may have no path."));
    visit(field("angle_bins", &C::angle_bins,
                "Yaw bins of the lattice (at least 8). Default 72 (5 degrees). More bins turn in "
                "finer\nsteps but search more states; fewer search faster with coarser turns."));
    visit(field("position_tolerance", &C::position_tolerance,
                "Metres: a search node this close to the goal (and within yaw_tolerance) ends the "
                "search.\nDefault 0.1. Larger finishes sooner but less exactly; 0 relies on the "
                "analytic curve to\nreach the goal exactly."));
    visit(field("yaw_tolerance", &C::yaw_tolerance,
                "Radians: the largest yaw difference to the goal, taken the short way, that ends "
                "the search.\nDefault 0.1."));
    visit(field("collision_check_step", &C::collision_check_step,
                "Metres between footprint checks along motions and the output path. Default "
                "0.025. Larger\nis faster but may step over a thin obstacle; smaller is safer and "
                "slower."));
    visit(field("path_output_spacing", &C::path_output_spacing,
                "Metres between poses of the output path. Default 0.05. Larger gives fewer poses; "
                "smaller\na denser path."));
    visit(field("cost_penalty", &C::cost_penalty,
                "Weight of cell costs: a step through a cell of cost c costs (1 + c / 252 * "
                "cost_penalty)\ntimes its length. Default 2.0. Raise it to keep further from "
                "inflated obstacles (longer\npaths), lower it for shorter paths that graze them."));
    visit(field("non_straight_penalty", &C::non_straight_penalty,
                "Metres of cost added per steering (arc) primitive. Default 1.05, recommended 30 % "
                "of the\nprimitive length. Raise it for straighter paths; the library default "
                "makes turns very\ndear, so the search floods the map before turning."));
    visit(field("reverse_penalty", &C::reverse_penalty,
                "Metres of cost added per reverse primitive. Default 2.0, recommended 1 x the "
                "primitive\nlength (reversing costs twice as much as driving). Raise it to reverse "
                "less, lower it to\nreverse more freely."));
    visit(field("direction_switch_penalty", &C::direction_switch_penalty,
                "Metres of cost added at each change of direction (a cusp, or between driving and "
                "turning\non the spot). Default 2.0 (recommended 0.05 when turning on the spot). "
                "Raise it for\nfewer cusps, lower it to allow more manoeuvres."));
    visit(field("steering_change_penalty", &C::steering_change_penalty,
                "Metres of cost added when the steering changes between primitives. Default "
                "0.05,\nrecommended 0.01. Raise it to keep paths from wiggling."));
    visit(field("retrospective_penalty", &C::retrospective_penalty,
                "Fraction of a node's cost added to every step from it (g grows by step "
                "+\nretrospective_penalty * g). Default 0.0. Raising it makes the search greedier "
                "towards\npaths found early; keep 0 for cheapest paths."));
    visit(field("max_expanded_nodes", &C::max_expanded_nodes,
                "Expansion budget: the search gives up with MAX_NODES_EXCEEDED after this many "
                "nodes.\nDefault 1,000,000. Raise it for large maps or hard manoeuvres (more time "
                "and memory);\nlower it to fail faster."));
    visit(field("max_planning_time_seconds", &C::max_planning_time_seconds,
                "Seconds: the search gives up with TIMEOUT after this wall time. Default 5.0. "
                "Raise it on\nslow machines or large maps; lower it for a hard deadline."));
    visit(field("terminal_check_interval", &C::terminal_check_interval,
                "Expansions between checks of the time budget and the CancellationToken (at least "
                "1).\nDefault 256. Lower reacts sooner to a cancel or deadline at a small cost per "
                "check."));
    visit(field("allow_unknown", &C::allow_unknown,
                "Whether cells of cost 255 (unknown space) are passable. Default False: a start or "
                "goal\nfootprint touching unknown cells is in collision. Turn it on to plan "
                "through unexplored\nspace."));
    visit(field("cache_obstacle_heuristic", &C::cache_obstacle_heuristic,
                "Whether the planner keeps the last obstacle heuristic field and reuses it for a "
                "request with\nthe same goal cell and map_revision. Default True. Off, every plan "
                "recomputes the field."));
    visit(field("analytic_expansion_ratio", &C::analytic_expansion_ratio,
                "Curves to the goal are tried every N-th expansion, N derived from this ratio. "
                "Default\n3.5, recommended 16. Raising it tries them less often (less time on "
                "failing curves),\nlowering more often."));
    visit(field("analytic_expansion_max_length", &C::analytic_expansion_max_length,
                "Metres: curves to the goal are tried only from nodes within this distance. "
                "Default 3.0,\nrecommended 10. Raising it ends searches in open space sooner; a "
                "long curve that fails\nlate costs its samples."));
    visit(field("analytic_expansion_max_cost", &C::analytic_expansion_max_cost,
                "Cost 0..255 the analytic curve to the goal may touch. Default 200, recommended "
                "253.\nLower keeps curves away from inflated obstacles but ends fewer searches "
                "early; on\ninflated maps goals beside walls lie in cells of 253, which 200 makes "
                "unreachable by a\ncurve."));
    visit(field("smooth_path", &C::smooth_path,
                "Whether a path without cusps or rotations is smoothed (moved towards straight "
                "lines, never\ninto collision or tighter than the turning radius). Default True. "
                "Off, the search's poses\nare only resampled."));
    visit(field("smoother_max_iterations", &C::smoother_max_iterations,
                "Most iterations of the smoother (at least 1). Default 1000. Lower bounds "
                "post-processing\ntime; higher lets it converge on long paths."));
    visit(field("smoother_weight_data", &C::smoother_weight_data,
                "Smoother weight pulling each pose back towards the search's pose. Default 0.2. "
                "Raise it\nto stay closer to the searched path."));
    visit(field("smoother_weight_smooth", &C::smoother_weight_smooth,
                "Smoother weight pulling each pose towards the midpoint of its neighbours. Default "
                "0.3.\nRaise it for straighter, smoother paths (bounded by collisions and the "
                "turning radius)."));
    visit(field("smoother_tolerance", &C::smoother_tolerance,
                "The smoother stops once one iteration moves the poses by less than this "
                "(metres,\nsummed). Default 1e-10. Larger stops earlier with a rougher path."));
    visit(field("heuristic_weight", &C::heuristic_weight,
                "f = g + w * h. Default 1.0, recommended 1.5 (3 turning on the spot). Above 1 the "
                "search\nheads for the goal instead of proving the cheapest path: far fewer "
                "expansions, a path at\nmost w times the cheapest."));
    visit(field("footprint_aware_heuristic", &C::footprint_aware_heuristic,
                "Whether the obstacle heuristic treats cells closer to an obstacle than the "
                "footprint's\ninscribed radius (less half a cell diagonal) as walls. Default "
                "False, recommended True.\nOn, the search no longer runs into gaps the robot "
                "cannot pass; costs one map copy per\nplanner."));
    visit(field("heuristic_reach_factor", &C::heuristic_reach_factor,
                "0 computes the obstacle heuristic over the whole map. At least 1, it stops once "
                "every\ncell up to this multiple of the start's value (plus a metre) is known. "
                "Default 0,\nrecommended 2. Lower is faster to build on large maps; the search "
                "itself is unchanged."));
    visit(field("analytic_expansion_max_cusps", &C::analytic_expansion_max_cusps,
                "Most changes of direction an analytic curve may make, counting where it joins "
                "the\nsearch's path. Default 4294967295 (no limit), recommended 1. Lower keeps "
                "curves that\nreverse twice to save centimetres out of the path."));
    visit(field("return_partial_path", &C::return_partial_path,
                "When the search ends without reaching the goal (TIMEOUT, MAX_NODES_EXCEEDED, or "
                "NO_PATH\nonce the open set is exhausted), return the path to the expanded pose "
                "closest to the goal\nby the obstacle heuristic (the distance around walls), if "
                "closer than the start; the\nstatus stays the failure and PlannerResult.partial "
                "is set. Default False."));
    visit(field("resample_along_arcs", &C::resample_along_arcs,
                "Output poses between two path poses that turn lie on the circular arc driven "
                "between\nthem instead of on the chord. Off, only stretches whose chord steps a "
                "car could not drive\n(on cells coarser than path_output_spacing) are placed on "
                "their arcs. Default False,\nrecommended True; where a stretch fits in one step "
                "the output is unchanged."));
    visit(field("wide_node_keys", &C::wide_node_keys,
                "Search maps of more than 2**32 cells x angle_bins with 64-bit node keys instead "
                "of\nrefusing them. Default False."));
    visit(field("lazy_obstacle_heuristic", &C::lazy_obstacle_heuristic,
                "Compute the obstacle heuristic only as far as the search reads it, and keep it "
                "(repaired\nby update_costmap) for later plans to the same goal. Results equal "
                "those with\nheuristic_reach_factor 0. Default False."));
    visit(field("penalized_kinematic_heuristic", &C::penalized_kinematic_heuristic,
                "The heuristic's kinematic term also prices reversing and cusps as the "
                "transition\ncosts do (turning on the spot: the straight distance plus the yaw "
                "change). Default\nFalse, and False in the recommended configuration. Still a "
                "lower bound of the costs on a\nfree map."));
    visit(field("manoeuvre_heuristic", &C::manoeuvre_heuristic,
                "The heuristic also estimates the car's manoeuvres around the walls near the goal "
                "(a\ncoarse lattice searched back from the goal), foreseeing three-point turns "
                "and parking\nshuffles; no longer a lower bound. Ignored when turning on the spot. "
                "Default False."));
    visit(field("search_from_goal", &C::search_from_goal,
                "Also search from the goal back to the start, taking turns with the search "
                "from the\nstart once that has not finished within a few hundred expansions; "
                "the first to find\na path gives it, still starting exactly at the start. "
                "Needs allow_reverse; ignored\nwhen turning on the spot. max_expanded_nodes "
                "counts both searches. Default False."));
    visit(field("steering_angles", &C::steering_angles,
                "Curvatures of the car's primitives, straight included: odd, 3 to 9, evenly "
                "spaced up to\n1 / minimum_turning_radius each side. Default 3 (straight, full "
                "left, full right). More\nsmooth long bends at the price of more successors per "
                "expansion. Ignored when turning on\nthe spot."));
    visit(field("scale_steering_penalty_with_curvature", &C::scale_steering_penalty_with_curvature,
                "Charge non_straight_penalty in proportion to an arc's curvature (full lock in "
                "full, half\nlock half) instead of in full for every arc. Default False."));
    visit(field("analytic_expansion_coarse_checks", &C::analytic_expansion_coarse_checks,
                "Check an analytic curve's samples every 16th first (and the last), then the "
                "others, so\nthat a colliding curve is mostly refused after a few checks. The "
                "same curves pass;\nonly collision_checks and the times change. Default False, "
                "recommended True."));
    visit(field("analytic_expansion_min_reverse_length", &C::analytic_expansion_min_reverse_length,
                "Metres: an analytic curve that reverses for less than this (then drives forward "
                "or\nends) gives way to the forward-only curve when that is at most 5 % longer "
                "and passes;\notherwise it is kept. Default 0 (every shortest curve kept), "
                "recommended the\nrobot's length."));
    visit(field("lattice_cell_size", &C::lattice_cell_size,
                "Metres: the side of the search lattice's cells, a whole number of costmap "
                "cells (rounded\ndown, at least one, at most the primitive length); one node is "
                "kept per lattice cell\nand yaw bin. Default 0 (the costmap's cells), "
                "recommended a third of the primitive\nlength."));
    visit(field("check_improving_successors_only", &C::check_improving_successors_only,
                "Check a successor against the map only when it could still change its node: "
                "one that ends\nin an expanded node, or that could not lower its node's cost "
                "even over free cells, is\npassed over. The same paths; only collision_checks "
                "and the times change. Default False,\nrecommended True."));
    visit(field("stall_expansions", &C::stall_expansions,
                "Expansions after which a search that has found no path weights the heuristic "
                "by\nstall_heuristic_weight for stall_weight_expansions expansions, then by "
                "heuristic_weight\nagain (the open set reordered at each change): a flood of "
                "poses the heuristic prices\ntoo low then heads for the goal. The path may be "
                "dearer, by at most that weight's\nfactor. Default 0 (never), recommended 512 "
                "(2048 for a car given its turning radius,\n0 when turning on the spot)."));
    visit(field("stall_heuristic_weight", &C::stall_heuristic_weight,
                "The heuristic's weight (finite, at least 1) once stall_expansions is reached. "
                "Default 1,\nrecommended twice heuristic_weight."));
    visit(field("stall_weight_expansions", &C::stall_weight_expansions,
                "How many expansions (positive) stall_heuristic_weight lasts. Default 32768."));
    visit(field("lazy_kinematic_heuristic", &C::lazy_kinematic_heuristic,
                "Queue a new node with a lower bound of its heuristic that needs no curve, and "
                "compute its\ncurve to the goal only when it reaches the front of the open set "
                "(it goes back when\nthat puts it behind the next). The expansions are the same "
                "but for the order of ties.\nIgnored when turning on the spot. Default False, "
                "recommended True."));
    visit(field("stall_expansions_per_metre", &C::stall_expansions_per_metre,
                "Finite, >= 0: a search whose start has heuristic h turns to "
                "stall_heuristic_weight only\nafter max(stall_expansions, this * h) expansions "
                "(stall_expansions 0 still means never):\na long way takes more expansions "
                "without any flood. Default 0 (stall_expansions alone),\nrecommended one and a "
                "half per primitive length (30 on 5 cm cells with the default radius; 0 for a car\ngiven its turning radius, whose stall_expansions is 2048)."));
  }
};

template <>
struct RecordFields<PlanRequest> {
  static constexpr const char* kName = "PlanRequest";
  using R = PlanRequest;

  template <typename Visit>
  static void forEach(Visit&& visit) {
    visit(field("start", &R::start,
                "Where the path starts: finite, yaw within 1e6 rad of 0. Read as a view into the "
                "request."));
    visit(field("goal", &R::goal,
                "Where the path should end: finite, yaw within 1e6 rad of 0. Read as a view into "
                "the\nrequest."));
    visit(field("footprint", &R::footprint,
                "The robot's shape in its own frame: a circle, a polygon or several polygons. "
                "Default a\ncircle of 0.25 m."));
    visit(field("map_revision", &R::map_revision,
                "Key of the obstacle heuristic cache: change it when the map changes. Copied into "
                "the result."));
    visit(field("goal_revision", &R::goal_revision, "Copied into the result only."));
    visit(field("robot_revision", &R::robot_revision, "Copied into the result only."));
  }
};

template <>
struct RecordFields<PlannerDiagnostics> {
  static constexpr const char* kName = "PlannerDiagnostics";
  using D = PlannerDiagnostics;

  template <typename Visit>
  static void forEach(Visit&& visit) {
    visit(field("obstacle_heuristic_cache_hit", &D::obstacle_heuristic_cache_hit,
                "The obstacle heuristic came from the planner's cache instead of being built."));
    visit(field("total_time_ms", &D::total_time_ms,
                "Milliseconds of the whole call, waiting included; set only once a path was "
                "found."));
    visit(field("search_time_ms", &D::search_time_ms,
                "Milliseconds of the expansion loop; set when it finds a path or runs out of "
                "nodes."));
    visit(field("obstacle_heuristic_time_ms", &D::obstacle_heuristic_time_ms,
                "Milliseconds building (or fetching) the obstacle heuristic field."));
    visit(field("kinematic_heuristic_time_ms", &D::kinematic_heuristic_time_ms,
                "Milliseconds setting up the kinematic heuristic's curve space."));
    visit(field("collision_check_time_ms", &D::collision_check_time_ms,
                "Milliseconds of footprint checks (primitives, analytic curves, output path)."));
    visit(field("analytic_expansion_time_ms", &D::analytic_expansion_time_ms,
                "Milliseconds of analytic curve attempts, their checks included."));
    visit(field("smoothing_time_ms", &D::smoothing_time_ms,
                "Milliseconds of post-processing: smoothing, resampling and validation."));
    visit(field("expanded_nodes", &D::expanded_nodes,
                "Nodes taken from the open list and expanded (the goal node included)."));
    visit(field("generated_nodes", &D::generated_nodes,
                "Primitives whose samples were checked, one per child considered."));
    visit(field("collision_checks", &D::collision_checks,
                "Footprint placements during the search (primitive and curve samples)."));
    visit(field("path_length", &D::path_length, "Metres: the length of the output path."));
    visit(field("reverse_count", &D::reverse_count,
                "Reverse steps: reverse primitives of the search and reverse sample steps of the "
                "curve."));
    visit(field("direction_switch_count", &D::direction_switch_count,
                "Changes of direction between consecutive steps (cusps, and changes between "
                "driving and\nturning on the spot)."));
    visit(field("in_place_rotation_count", &D::in_place_rotation_count,
                "Steps of the output path labelled ROTATION."));
    visit(field("wait_time_ms", &D::wait_time_ms,
                "Milliseconds waiting for another call on the same planner before this one "
                "started.",
                false));
  }
};

template <>
struct RecordFields<PlannerResult> {
  static constexpr const char* kName = "PlannerResult";
  using R = PlannerResult;

  template <typename Visit>
  static void forEach(Visit&& visit) {
    visit(field("status", &R::status, "How the call ended."));
    visit(field("message", &R::message, "What went wrong, or empty."));
    visit(field("path", &R::path,
                "The path's poses, empty unless SUCCESS or partial; starts with the request's "
                "start exactly\nas given. A copy on every read."));
    visit(field("directions", &R::directions,
                "One label per pose (Direction values as ints): the step that leaves the pose. A "
                "copy on\nevery read."));
    visit(field("diagnostics", &R::diagnostics, "What the call did: counts and times."));
    visit(field("map_revision", &R::map_revision, "The request's map_revision."));
    visit(field("goal_revision", &R::goal_revision, "The request's goal_revision."));
    visit(field("robot_revision", &R::robot_revision, "The request's robot_revision."));
    visit(field("partial", &R::partial,
                "The search failed (the status says how) and `path` leads to where it got closest "
                "to the\ngoal (PlannerConfig.return_partial_path); its counts, length and times "
                "describe that path."));
  }
};

}  // namespace veltrax::se2::detail
