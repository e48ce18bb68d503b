"""Plan a path that has to back out of a dead-end bay, and write it as SVG, JSON and CSV.

The map is built here: an 8 m x 5 m yard at 5 cm cells with a 0.7 m wide bay. The robot (a disc of
0.25 m radius, turning radius 0.4 m) starts deep in the bay facing its closed end; the bay is too
narrow to turn in, so every feasible path starts in reverse.
"""

import argparse
import pathlib

import numpy as np

import _se2_planner as sp

RESOLUTION = 0.05


def build_yard() -> sp.Costmap:
    cells = np.zeros((100, 160), dtype=np.uint8)  # rows are y, row 0 at the bottom
    cells[0, :] = cells[-1, :] = 254
    cells[:, 0] = cells[:, -1] = 254

    def block(x0: float, y0: float, x1: float, y1: float) -> None:
        cells[int(y0 / RESOLUTION) : int(y1 / RESOLUTION), int(x0 / RESOLUTION) : int(x1 / RESOLUTION)] = 254

    # The bay: open to the left, closed at x = 6.5 m, free between y = 2.15 m and 2.85 m.
    block(3.5, 2.85, 6.5, 3.4)
    block(3.5, 1.6, 6.5, 2.15)
    block(6.5, 1.6, 7.0, 3.4)
    # Racks on the other side of the yard.
    block(1.0, 3.9, 3.0, 4.3)
    block(1.0, 0.6, 2.6, 1.0)
    raw = sp.Costmap(cells, RESOLUTION, 0.0, 0.0)
    return sp.inflate_costmap(raw, inflation_radius=0.6, inscribed_radius=0.25, cost_scaling_factor=6.0)


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--out", type=pathlib.Path, default=pathlib.Path("build/examples/bay"),
                        help="directory for plan.svg, plan.json and plan.csv (default: %(default)s)")
    args = parser.parse_args()

    costmap = build_yard()
    planner = sp.HybridAStar(costmap)
    request = sp.PlanRequest()
    request.start = sp.Pose2D(6.0, 2.5, 0.0)  # deep in the bay, facing its closed end
    request.goal = sp.Pose2D(1.5, 2.5, np.pi / 2)
    request.footprint = sp.CircleFootprint(0.25)
    config = sp.PlannerConfig()

    result = planner.plan(request, config)
    d = result.diagnostics
    print(f"status:     {sp.planner_status_name(result.status)} ({result.message})")
    print(f"path:       {d.path_length:.2f} m in {len(result.path)} poses, "
          f"{d.reverse_count} reverse steps, {d.direction_switch_count} direction switches")
    print(f"search:     {d.expanded_nodes} expansions, {d.generated_nodes} generated, "
          f"{d.collision_checks} collision checks")
    print(f"time:       {d.total_time_ms:.1f} ms total = heuristic {d.obstacle_heuristic_time_ms:.1f} ms"
          f" + search {d.search_time_ms:.1f} ms + post-processing {d.smoothing_time_ms:.1f} ms")

    args.out.mkdir(parents=True, exist_ok=True)
    sp.save_plan_svg(costmap, request, result, str(args.out / "plan.svg"))
    sp.save_result_json(result, str(args.out / "plan.json"))
    sp.save_path_csv(result, str(args.out / "plan.csv"))
    print(f"written:    {args.out / 'plan.svg'}, plan.json, plan.csv")
    if result.status != sp.PlannerStatus.SUCCESS:
        raise SystemExit(1)


if __name__ == "__main__":
    main()
