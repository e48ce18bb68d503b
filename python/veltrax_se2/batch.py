"""Planning many requests at once on a thread pool."""

from __future__ import annotations

import os
import sys
import threading
from collections import deque
from concurrent.futures import ThreadPoolExecutor
from typing import Callable, Iterable, Sequence, TextIO, cast

import _se2_planner as sp

ProgressCallback = Callable[[int, int], None]


class _ProgressBar:
    """A one-line text progress bar, redrawn in place."""

    def __init__(self, total: int, stream: TextIO, width: int = 30) -> None:
        self.total = total
        self.stream = stream
        self.width = width

    def __call__(self, done: int, total: int) -> None:
        filled = self.width * done // total if total else self.width
        end = "\n" if done == total else ""
        self.stream.write(f"\rplanning [{'#' * filled}{'.' * (self.width - filled)}] {done}/{total}{end}")
        self.stream.flush()


def plan_many(
    costmap: sp.Costmap,
    requests: Sequence[sp.PlanRequest] | Iterable[sp.PlanRequest],
    config: sp.PlannerConfig | None = None,
    *,
    workers: int | None = None,
    progress: bool | ProgressCallback | None = None,
) -> list[sp.PlannerResult]:
    """Plans every request on `costmap` and returns the results in request order.

    Each worker thread owns one planner, so the obstacle heuristic cache of a worker is reused for
    consecutive requests with the same goal cell and map revision. The planner releases the
    interpreter lock while it searches, so the workers run in parallel.

    Without a `config`, the recommended configuration for the costmap's resolution and the first
    request's footprint is used (`_se2_planner.recommended_config`).

    `workers` defaults to the number of CPUs (at most the number of requests). `progress` may be
    True (a text bar on stderr), False, None (a bar only for 20 requests or more on a terminal) or
    a callable taking (done, total).
    """
    requests = list(requests)
    total = len(requests)
    if total == 0:
        return []
    if config is None:
        config = sp.recommended_config(costmap.resolution, requests[0].footprint)
    if workers is None:
        workers = os.cpu_count() or 1
    if not isinstance(workers, int) or isinstance(workers, bool) or workers < 1:
        raise ValueError(f"workers must be a positive integer, got {workers!r}")
    workers = min(workers, total)

    report: ProgressCallback | None
    if callable(progress):
        report = progress
    elif progress or (progress is None and total >= 20 and sys.stderr.isatty()):
        report = _ProgressBar(total, sys.stderr)
    else:
        report = None

    # Requests that share a heuristic field (goal cell and map revision) form a group. A worker
    # stays on its group while it has pending requests, so its planner's cached field is reused;
    # then it starts the next untouched group, or, when none is left, helps with the busiest one.
    groups: dict[object, deque[int]] = {}
    for index, request in enumerate(requests):
        key = (costmap.world_to_map(request.goal.x, request.goal.y), request.map_revision)
        groups.setdefault(key, deque()).append(index)
    untouched = deque(groups)
    owners: dict[object, int] = {}  # groups being worked on: at most one per worker
    lock = threading.Lock()
    done = 0
    results: list[sp.PlannerResult | None] = [None] * total

    def take(current: object) -> tuple[object, int] | None:
        if current is not None:
            if groups[current]:
                return current, groups[current].popleft()
            owners[current] -= 1
            if owners[current] == 0:
                del owners[current]
        if untouched:
            key = untouched.popleft()
        else:
            busy = [k for k in owners if groups[k]]
            if not busy:
                return None
            key = max(busy, key=lambda k: len(groups[k]))
        owners[key] = owners.get(key, 0) + 1
        return key, groups[key].popleft()

    def work() -> None:
        nonlocal done
        planner = sp.HybridAStar(costmap)
        current: object = None
        while True:
            with lock:
                taken = take(current)
            if taken is None:
                return
            current, index = taken
            results[index] = planner.plan(requests[index], config)
            if report is not None:
                with lock:
                    done += 1
                    report(done, total)

    if workers == 1:
        work()
    else:
        with ThreadPoolExecutor(max_workers=workers, thread_name_prefix="veltrax-plan") as pool:
            for future in [pool.submit(work) for _ in range(workers)]:
                future.result()
    return cast("list[sp.PlannerResult]", results)
