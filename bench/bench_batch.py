"""How `plan_many` scales with worker threads.

Plans a fixed batch on the bundled warehouse (every ordered pair of its docking points, twice) with
1 and with N workers, alternating the two so that both see the same machine, and prints the wall
times, the speed-up and what an ideal scheduler could reach given the measured request times.

    python bench/bench_batch.py [--repeats 3] [--workers 2] [--copies 2]

With --processes 1,2,4 it instead plans the batch on that many threads, on a process pool and on
a local Dask cluster of that many single-threaded worker processes (when dask.distributed is
installed), and prints the wall time of each run after the pool has started, with the chunks
submitted and the bytes their arguments pickle to. With --goals 100 the batch is 100 requests to
distinct goals on a 1 MB open map, where sending the map with every chunk would cost most.
"""

from __future__ import annotations

import argparse
import heapq
import itertools
import math
import pathlib
import pickle
import statistics
import sys
import time
from concurrent.futures import Executor

import numpy as np

import _se2_planner as sp
from veltrax_se2 import load_map, plan_many

ROOT = pathlib.Path(__file__).resolve().parent.parent
DOCKS = [
    (1.0, 5.0, 0.0),
    (12.0, 5.0, math.pi),
    (2.4, 1.0, 0.0),
    (12.5, 9.0, -math.pi / 2),
    (3.5, 2.8, -math.pi / 2),
]


def make_requests(copies: int) -> list[sp.PlanRequest]:
    requests = []
    for _ in range(copies):
        for start, goal in itertools.permutations(DOCKS, 2):
            request = sp.PlanRequest()
            request.start = sp.Pose2D(*start)
            request.goal = sp.Pose2D(*goal)
            requests.append(request)
    return requests


def makespan(durations: list[float], workers: int) -> float:
    """Finish time of greedy list scheduling in the given order (what a shared queue does)."""
    ends = [0.0] * workers
    for duration in durations:
        heapq.heapreplace(ends, ends[0] + duration)
    return max(ends)


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--repeats", type=int, default=3)
    parser.add_argument("--workers", type=int, default=2)
    parser.add_argument("--copies", type=int, default=2)
    parser.add_argument("--processes", default=None, metavar="N,N,...",
                        help="time plan_many on threads, process pools and Dask clusters of these sizes")
    parser.add_argument("--goals", type=int, default=0, metavar="N",
                        help="with --processes: N requests to distinct goals on a 1000 x 1000 open map instead")
    args = parser.parse_args()
    if args.processes:
        return processes_main(args, [int(n) for n in args.processes.split(",")])

    costmap = load_map(ROOT / "examples" / "maps" / "warehouse.yaml")
    requests = make_requests(args.copies)
    config = sp.PlannerConfig()

    # Each request alone, on a warm planner: the work a perfect scheduler has to spread.
    planner = sp.HybridAStar(costmap)
    durations = []
    for request in requests:
        began = time.perf_counter()
        planner.plan(request, config)
        durations.append(time.perf_counter() - began)

    ones: list[float] = []
    manys: list[float] = []
    for _ in range(args.repeats):
        for workers, times in ((1, ones), (args.workers, manys)):
            began = time.perf_counter()
            results = plan_many(costmap, requests, config, workers=workers, progress=False)
            times.append(time.perf_counter() - began)
            solved = sum(r.status == sp.PlannerStatus.SUCCESS for r in results)
    total = sum(durations)
    print(f"{len(requests)} requests on the bundled warehouse, {solved} solved; "
          f"sum of single-request times {total:.2f} s")
    print(f"ideal on {args.workers} workers: {total / args.workers:.2f} s; "
          f"list scheduling in request order {makespan(durations, args.workers):.2f} s; "
          f"longest request {max(durations):.2f} s")
    for one, many in zip(ones, manys):
        print(f"1 worker {one:.2f} s   {args.workers} workers {many:.2f} s   speed-up {one / many:.2f}x")
    ratios = [one / many for one, many in zip(ones, manys)]
    print(f"median speed-up {statistics.median(ratios):.2f}x over {args.repeats} runs")
    return 0


class CountingExecutor(Executor):
    """Passes chunks on to another executor, counting them and the bytes their arguments pickle to."""

    def __init__(self, inner: Executor) -> None:
        self.inner = inner
        self.chunks = 0
        self.pickled = 0

    def submit(self, fn, /, *args, **kwargs):
        self.chunks += 1
        self.pickled += len(pickle.dumps((fn, args, kwargs), protocol=pickle.HIGHEST_PROTOCOL))
        return self.inner.submit(fn, *args, **kwargs)


def open_map_batch(goals: int) -> tuple[sp.Costmap, list[sp.PlanRequest]]:
    """A 50 m x 50 m open map at 5 cm (1 MB of cells) with a few walls, and `goals` requests
    from one start to distinct goals 2 to 6 m away."""
    cells = np.zeros((1000, 1000), np.uint8)
    cells[100:900:200, 650:950] = sp.LETHAL_COST
    costmap = sp.Costmap(cells, 0.05, 0.0, 0.0)
    requests = []
    for k in range(goals):
        angle, distance = 2 * math.pi * k / goals, 2.0 + 4.0 * (k % 7) / 6
        request = sp.PlanRequest()
        request.start = sp.Pose2D(25.0, 20.0, 0.0)
        request.goal = sp.Pose2D(25.0 + distance * math.cos(angle), 20.0 + distance * math.sin(angle), angle)
        requests.append(request)
    return costmap, requests


def processes_main(args: argparse.Namespace, sizes: list[int]) -> int:
    from concurrent.futures import ProcessPoolExecutor

    if args.goals:
        costmap, requests = open_map_batch(args.goals)
        config = sp.recommended_config(costmap.resolution, requests[0].footprint)
        what = f"{len(requests)} requests to distinct goals on a 1000 x 1000 open map, recommended configuration"
    else:
        costmap = load_map(ROOT / "examples" / "maps" / "warehouse.yaml")
        requests = make_requests(args.copies)
        config = sp.PlannerConfig()
        what = f"{len(requests)} requests on the bundled warehouse, library defaults"
    began = time.perf_counter()
    reference = plan_many(costmap, requests, config, workers=1, progress=False)
    solved = sum(r.status == sp.PlannerStatus.SUCCESS for r in reference)
    print(f"{what}, {solved} solved; one thread in this process {time.perf_counter() - began:.2f} s")

    def timed(executor, workers: int) -> tuple[float, int, int]:
        """Wall time once the pool is up, then chunks and bytes pickled in a second, counted run."""
        plan_many(costmap, requests[:workers], config, executor=executor, workers=workers, progress=False)
        began = time.perf_counter()  # the pool is up and its workers have imported the module
        results = plan_many(costmap, requests, config, executor=executor, workers=workers, progress=False)
        elapsed = time.perf_counter() - began
        same = all(a.path_array.tolist() == b.path_array.tolist() for a, b in zip(reference, results))
        counting = CountingExecutor(executor)
        plan_many(costmap, requests, config, executor=counting, workers=workers, progress=False)
        return (elapsed if same else math.nan), counting.chunks, counting.pickled

    def line(name: str, runs: list[tuple[float, int, int]]) -> str:
        return (f"{name} {statistics.median(r[0] for r in runs):.2f} s, "
                f"{statistics.median(r[1] for r in runs):.0f} chunks, "
                f"{statistics.median(r[2] for r in runs) / 1e6:.2f} MB pickled")

    try:
        import distributed
    except ImportError:
        distributed = None  # type: ignore[assignment]
    for size in sizes:
        threads = []
        for _ in range(args.repeats):
            began = time.perf_counter()
            plan_many(costmap, requests, config, workers=size, progress=False)
            threads.append(time.perf_counter() - began)
        runs = []
        for _ in range(args.repeats):
            with ProcessPoolExecutor(max_workers=size) as pool:
                runs.append(timed(pool, size))
        text = f"{size} workers: threads {statistics.median(threads):.2f} s; {line('process pool', runs)}"
        if distributed is not None:
            runs = []
            for _ in range(args.repeats):
                with distributed.LocalCluster(n_workers=size, threads_per_worker=1, processes=True,
                                              dashboard_address=None) as cluster, \
                        distributed.Client(cluster) as client:
                    runs.append(timed(client.get_executor(), size))
            text += f"; {line('Dask', runs)}"
        print(text + f" (medians of {args.repeats})")
    return 0


if __name__ == "__main__":
    sys.exit(main())
