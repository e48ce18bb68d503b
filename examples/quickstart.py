"""Quick start: load a bundled map, plan into a parking slot, print the result and save it.

Run after `scripts/setup.sh` from the repository root:  python examples/quickstart.py
"""

import math
import pathlib

import _se2_planner as sp
from veltrax_se2 import load_map

HERE = pathlib.Path(__file__).resolve().parent


def main() -> int:
    costmap = load_map(HERE / "maps" / "parking_lot.yaml")  # occupied 254, free 0, unknown 255
    planner = sp.HybridAStar(costmap)  # keeps its own copy of the map

    request = sp.PlanRequest()
    request.start = sp.Pose2D(2.0, 4.8, 0.0)  # in the driving lane, facing +x
    request.goal = sp.Pose2D(3.04, 0.9, math.pi / 2)  # in a slot, facing out: reverse in
    request.footprint = sp.CircleFootprint(0.25)
    # Tuned for the map's cell size and the robot: car-like, reverse allowed, turning radius
    # 0.4 m. sp.PlannerConfig() holds the library defaults, which search far more.
    config = sp.recommended_config(costmap.resolution, request.footprint)

    result = planner.plan(request, config)
    d = result.diagnostics
    print(f"{sp.planner_status_name(result.status)}: {result.message}")
    if result.status != sp.PlannerStatus.SUCCESS:
        return 1
    print(f"{d.path_length:.2f} m, {len(result.path)} poses, {d.reverse_count} reverse steps, "
          f"{d.expanded_nodes} expansions in {d.total_time_ms:.1f} ms")
    xyyaw = result.path_array  # (N, 3) float64: x, y, yaw
    labels = result.directions_array  # (N,) int8: 1 forward, -1 reverse, 0 rotation
    print(f"first pose {xyyaw[0].round(3).tolist()}, last pose {xyyaw[-1].round(3).tolist()}, "
          f"first reverse pose #{int((labels == -1).argmax())}")

    out = pathlib.Path("build/examples/quickstart")
    out.mkdir(parents=True, exist_ok=True)
    sp.save_plan_svg(costmap, request, result, str(out / "plan.svg"))
    sp.save_result_json(result, str(out / "plan.json"))
    sp.save_path_csv(result, str(out / "plan.csv"))
    print(f"saved {out}/plan.svg, plan.json and plan.csv")
    return 0


if __name__ == "__main__":
    raise SystemExit(main())
