"""Clearance along planned paths with and without the default inflation of occupancy maps.

For a few queries on the bundled maps (circle of 0.25 m, recommended configuration) prints the path
length and the smallest and median distance between the robot's outline and a lethal cell of the
raw map, planned on the raw map (--no-inflate) and on the map inflated as veltrax-plan does by
default.

    python bench/clearance.py
"""

from __future__ import annotations

import math
import pathlib

import numpy as np

import _se2_planner as sp
import veltrax_se2 as vx

MAPS = pathlib.Path(__file__).resolve().parent.parent / "examples" / "maps"
RADIUS = 0.25
QUERIES = [
    ("warehouse", (1.0, 5.0, 0.0), (3.5, 2.8, -math.pi / 2)),
    ("maze", (0.625, 0.625, 0.0), (9.375, 9.375, 0.0)),
    ("parking_lot", (2.0, 4.8, 0.0), (3.04, 0.9, math.pi / 2)),
]


def clearances(costmap: sp.Costmap, path: np.ndarray) -> np.ndarray:
    """Per pose: distance from the circle's outline to the nearest lethal cell's square."""
    lower = np.argwhere(costmap.cells_array == 254)[:, ::-1] * costmap.resolution
    lower = lower + [costmap.origin_x, costmap.origin_y]
    out = []
    for x, y, _ in path:
        dx = np.maximum(np.maximum(lower[:, 0] - x, x - lower[:, 0] - costmap.resolution), 0.0)
        dy = np.maximum(np.maximum(lower[:, 1] - y, y - lower[:, 1] - costmap.resolution), 0.0)
        out.append(np.hypot(dx, dy).min() - RADIUS)
    return np.array(out)


def main() -> int:
    for name, start, goal in QUERIES:
        raw = vx.load_map(MAPS / f"{name}.yaml")
        for inflate, label in ((False, "raw map "), (None, "inflated")):
            result = vx.plan(MAPS / f"{name}.yaml", start, goal, RADIUS, inflate=inflate)
            gaps = clearances(raw, result.path_array)
            print(f"{name:<12} {label} {sp.planner_status_name(result.status):<8} "
                  f"{result.diagnostics.path_length:6.2f} m, clearance min {gaps.min() * 1000:5.0f} mm, "
                  f"median {np.median(gaps) * 1000:4.0f} mm, {result.diagnostics.expanded_nodes} expansions")
    return 0


if __name__ == "__main__":
    raise SystemExit(main())
