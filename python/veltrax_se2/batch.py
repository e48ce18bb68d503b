"""Planning many requests at once on a thread pool."""

from __future__ import annotations

import os
import sys
import threading
from concurrent.futures import ThreadPoolExecutor
from typing import Callable, Iterable, Sequence, TextIO

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

    `workers` defaults to the number of CPUs (at most the number of requests). `progress` may be
    True (a text bar on stderr), False, None (a bar only for 20 requests or more on a terminal) or
    a callable taking (done, total).
    """
    requests = list(requests)
    config = config if config is not None else sp.PlannerConfig()
    total = len(requests)
    if total == 0:
        return []
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

    local = threading.local()
    lock = threading.Lock()
    done = 0

    def plan_one(index: int) -> sp.PlannerResult:
        nonlocal done
        planner = getattr(local, "planner", None)
        if planner is None:
            planner = local.planner = sp.HybridAStar(costmap)
        result = planner.plan(requests[index], config)
        if report is not None:
            with lock:
                done += 1
                report(done, total)
        return result

    if workers == 1:
        return [plan_one(i) for i in range(total)]
    with ThreadPoolExecutor(max_workers=workers, thread_name_prefix="veltrax-plan") as pool:
        return list(pool.map(plan_one, range(total)))
