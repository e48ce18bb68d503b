"""A differential-drive robot that turns on the spot, through the bundled maze.

With `allow_in_place_rotation` the planner uses straight moves and in-place rotations, the obstacle
heuristic alone and no turning-radius test; rotation steps are labelled ROTATION (0).
"""

import pathlib

import _se2_planner as sp
from veltrax_se2 import load_map

HERE = pathlib.Path(__file__).resolve().parent


def main() -> int:
    costmap = load_map(HERE / "maps" / "maze.yaml")
    request = sp.PlanRequest()
    request.start = sp.Pose2D(0.625, 0.625, 0.0)  # lower-left maze cell
    request.goal = sp.Pose2D(9.375, 9.375, 0.0)  # upper-right maze cell
    request.footprint = sp.CircleFootprint(0.3)
    config = sp.PlannerConfig()
    config.allow_in_place_rotation = True
    config.allow_reverse = False

    result = sp.HybridAStar(costmap).plan(request, config)
    d = result.diagnostics
    print(f"{sp.planner_status_name(result.status)}: {result.message}")
    if result.status != sp.PlannerStatus.SUCCESS:
        return 1
    rotations = int((result.directions_array == 0).sum())
    print(f"{d.path_length:.2f} m, {len(result.path)} poses, {rotations} rotation-labelled poses, "
          f"{d.expanded_nodes} expansions in {d.total_time_ms:.1f} ms")
    out = pathlib.Path("build/examples/differential_drive")
    out.mkdir(parents=True, exist_ok=True)
    sp.save_plan_svg(costmap, request, result, str(out / "plan.svg"))
    print(f"saved {out}/plan.svg")
    return 0


if __name__ == "__main__":
    raise SystemExit(main())
