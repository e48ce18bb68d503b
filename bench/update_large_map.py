"""What a small map change costs the next plan on maps of growing size.

On empty maps of N x N cells at 0.05 m (a 0.6 x 0.4 m car, the recommended configuration with the
lazy obstacle heuristic and wide node keys), plans a 20 m trip cold, then six times: a 1 m box
added or removed with HybridAStar.update_costmap near the map's corner, and the same trip planned
again. Prints the cold plan and the median and largest replan, in milliseconds. Everything the
planner derives from the map should cost what the change and the trip touch, not the map's area.

    python bench/update_large_map.py [--sides 1536,4000,10000]
"""

from __future__ import annotations

import argparse
import statistics
import time

import numpy as np

import _se2_planner as sp


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--sides", default="1536,4000,10000")
    sides = [int(s) for s in parser.parse_args().sides.split(",")]
    car = sp.PolygonFootprint(
        [
            sp.Point2D(0.45, 0.2),
            sp.Point2D(-0.15, 0.2),
            sp.Point2D(-0.15, -0.2),
            sp.Point2D(0.45, -0.2),
        ]
    )
    config = sp.recommended_config(0.05, car)
    config.lazy_obstacle_heuristic = True
    config.wide_node_keys = True
    box = np.full((20, 20), 254, dtype=np.uint8)
    free = np.zeros((20, 20), dtype=np.uint8)
    for side in sides:
        planner = sp.HybridAStar(
            sp.Costmap(np.zeros((side, side), dtype=np.uint8), 0.05, 0.0, 0.0)
        )
        request = sp.PlanRequest()
        request.start = sp.Pose2D(5.0, 5.0, 0.0)
        request.goal = sp.Pose2D(25.0, 6.0, 0.0)
        request.footprint = car
        t = time.perf_counter()
        status = planner.plan(request, config).status
        cold = (time.perf_counter() - t) * 1e3
        replans = []
        for k in range(6):
            planner.update_costmap(300, 60 + k, box if k % 2 == 0 else free)
            request.map_revision = k + 1
            t = time.perf_counter()
            status = (
                planner.plan(request, config).status
                if status == sp.PlannerStatus.SUCCESS
                else status
            )
            replans.append((time.perf_counter() - t) * 1e3)
        print(
            f"{side:6d}^2 cells: cold plan {cold:7.1f} ms | replan after a 1 m box update: median "
            f"{statistics.median(replans):6.1f} ms, max {max(replans):6.1f} ms | {status.name}"
        )


if __name__ == "__main__":
    main()
