"""Back a car-like robot into a parking slot that is too narrow to turn in.

Run after scripts/setup.sh (which installs the package):  python3 examples/plan_parking.py
"""
import math

import numpy as np

import _se2_planner as se2

RESOLUTION = 0.05


def parking_lot():
    """6 m x 5 m, one slot 0.8 m wide and 1.5 m deep, open towards +y."""
    width, height = round(6.0 / RESOLUTION), round(5.0 / RESOLUTION)
    xs = (np.arange(width) + 0.5) * RESOLUTION
    ys = (np.arange(height) + 0.5) * RESOLUTION
    gx, gy = np.meshgrid(xs, ys)

    def box(x0, y0, x1, y1):
        return (gx >= x0) & (gx <= x1) & (gy >= y0) & (gy <= y1)

    walls = box(2.5, 0.2, 2.6, 1.8) | box(3.4, 0.2, 3.5, 1.8) | box(2.5, 0.2, 3.5, 0.3)
    return np.where(walls, 254, 0).astype(np.uint8)


def main():
    planner = se2.HybridAStar(parking_lot(), RESOLUTION, 0.0, 0.0)
    request = se2.PlanRequest()
    request.start = se2.Pose2D(x=1.0, y=3.5, yaw=0.0)
    # Facing out of the slot: the only way in is backwards.
    request.goal = se2.Pose2D(x=3.0, y=0.9, yaw=math.pi / 2)
    request.footprint = se2.CircleFootprint(0.25)
    result = planner.plan(request, se2.PlannerConfig())
    d = result.diagnostics
    print(f"status: {se2.planner_status_name(result.status)} ({result.message})")
    print(f"path length: {d.path_length:.2f} m, poses: {len(result.path)}, "
          f"reverse steps: {d.reverse_count}, direction switches: {d.direction_switch_count}")
    print(f"expanded nodes: {d.expanded_nodes}, total: {d.total_time_ms:.1f} ms "
          f"(heuristic {d.obstacle_heuristic_time_ms:.1f} ms, search {d.search_time_ms:.1f} ms, "
          f"post-processing {d.smoothing_time_ms:.1f} ms)")
    return 0 if result.status == se2.PlannerStatus.SUCCESS else 1


if __name__ == "__main__":
    raise SystemExit(main())
