"""Steps a car could not drive, on cells coarser than the output spacing, with resample_along_arcs
off (chords between path poses, except stretches whose chords a car could not drive) and on (the
arcs driven on every stretch that turns).

Plans seeded random queries on an open map of 0.10, 0.15 and 0.25 m cells (circle of 0.25 m,
recommended configuration) and counts the paths with a step that leans off its pose's heading by
more than the step turns (plus 0.02 rad, as the path judge of bench_suite allows) or that is longer
than path_output_spacing; also the median path length either way.

    python bench/drivable_steps.py [--queries N]
"""

from __future__ import annotations

import argparse
import math

import numpy as np

import _se2_planner as sp


def undrivable(result: sp.PlannerResult, spacing: float) -> bool:
    path, labels = result.path_array, result.directions_array
    for i in range(len(path) - 1):
        (x0, y0, yaw0), (x1, y1, yaw1) = path[i], path[i + 1]
        heading = math.atan2(y1 - y0, x1 - x0) + (math.pi if labels[i] < 0 else 0.0)
        lean = abs(math.remainder(heading - yaw0, 2 * math.pi))
        turn = abs(math.remainder(yaw1 - yaw0, 2 * math.pi))
        if lean > turn + 0.02 or math.hypot(x1 - x0, y1 - y0) > spacing + 1e-9:
            return True
    return False


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--queries", type=int, default=40)
    args = parser.parse_args()
    footprint = sp.CircleFootprint(0.25)
    print("cells   arcs  undrivable  median length")
    for resolution in (0.10, 0.15, 0.25):
        side = round(15.0 / resolution)
        costmap = sp.Costmap(np.zeros((side, side), np.uint8), resolution, 0.0, 0.0)
        random = np.random.default_rng(1)
        queries = [(random.uniform(1, 14, 2), random.uniform(1, 14, 2), random.uniform(-3, 3, 2))
                   for _ in range(args.queries)]
        for arcs in (False, True):
            config = sp.recommended_config(resolution, footprint)
            config.resample_along_arcs = arcs
            bad, lengths = 0, []
            planner = sp.HybridAStar(costmap)
            for start, goal, yaws in queries:
                request = sp.PlanRequest()
                request.start = sp.Pose2D(start[0], start[1], yaws[0])
                request.goal = sp.Pose2D(goal[0], goal[1], yaws[1])
                request.footprint = footprint
                result = planner.plan(request, config)
                if result.status == sp.PlannerStatus.SUCCESS:
                    bad += undrivable(result, config.path_output_spacing)
                    lengths.append(result.diagnostics.path_length)
            print(f"{resolution:.2f} m  {'on ' if arcs else 'off'}  {bad:4d}/{len(lengths):<4d}  "
                  f"{np.median(lengths):8.3f} m")
    return 0


if __name__ == "__main__":
    raise SystemExit(main())
