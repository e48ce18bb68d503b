"""Plan many requests at once: every pair of docking points in the bundled warehouse.

`plan_many` gives each worker thread its own planner; the planner releases the interpreter lock
while it searches, so the threads plan in parallel. Results come back in request order.
"""

import itertools
import math
import pathlib
import time

import _se2_planner as sp
from veltrax_se2 import load_map, plan_many

HERE = pathlib.Path(__file__).resolve().parent
DOCKS = {
    "west": (1.0, 5.0, 0.0),
    "east": (12.0, 5.0, math.pi),
    "south aisle": (2.4, 1.0, 0.0),
    "north aisle": (12.5, 9.0, -math.pi / 2),
    "rack gap": (3.5, 2.8, -math.pi / 2),
}


def main() -> int:
    costmap = load_map(HERE / "maps" / "warehouse.yaml")
    pairs = list(itertools.permutations(DOCKS, 2))
    requests = []
    for start, goal in pairs:
        request = sp.PlanRequest()
        request.start = sp.Pose2D(*DOCKS[start])
        request.goal = sp.Pose2D(*DOCKS[goal])
        requests.append(request)

    began = time.perf_counter()
    results = plan_many(costmap, requests, workers=2)
    elapsed = time.perf_counter() - began
    for (start, goal), result in zip(pairs, results):
        name = sp.planner_status_name(result.status)
        print(f"{start:>12} -> {goal:<12} {name:<18} {result.diagnostics.path_length:6.2f} m")
    solved = sum(r.status == sp.PlannerStatus.SUCCESS for r in results)
    print(f"{solved}/{len(results)} solved in {elapsed:.2f} s on 2 workers")
    return 0 if solved == len(results) else 1


if __name__ == "__main__":
    raise SystemExit(main())
