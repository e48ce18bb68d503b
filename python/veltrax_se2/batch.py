"""Planning many requests at once: on a thread pool, or on any executor (processes, a Dask
cluster) with the map, requests and configuration sent as plain data."""

from __future__ import annotations

import hashlib
import math
import os
import struct
import sys
import threading
import time
from collections import OrderedDict, deque
from concurrent.futures import FIRST_COMPLETED, Executor, wait
from typing import Any, Callable, Iterable, Sequence, TextIO, cast

import _se2_planner as sp

from .planning import make_request, planning_map

ProgressCallback = Callable[[int, int], None]


class _ProgressBar:
    """A one-line text progress bar, redrawn in place, with failures so far and the time left."""

    def __init__(self, total: int, stream: TextIO, width: int = 30) -> None:
        self.total = total
        self.stream = stream
        self.width = width
        self.began = time.monotonic()

    def __call__(self, done: int, total: int, failed: int = 0) -> None:
        filled = self.width * done // total if total else self.width
        elapsed = time.monotonic() - self.began
        if done == total:
            tail = f"{elapsed:.1f} s\n"
        else:
            tail = f"about {elapsed / done * (total - done):.0f} s left" if done else ""
        self.stream.write(
            f"\rplanning [{'#' * filled}{'.' * (self.width - filled)}] {done}/{total}, "
            f"{failed} failed, {tail}"
        )
        self.stream.flush()


class _TqdmBar:
    """The same report through tqdm, which draws in terminals and notebooks alike."""

    def __init__(self, total: int) -> None:
        from tqdm.auto import tqdm

        self.bar = tqdm(total=total, desc="planning", unit="plan")

    def __call__(self, done: int, total: int, failed: int = 0) -> None:
        self.bar.set_postfix_str(f"{failed} failed", refresh=False)
        self.bar.update(done - self.bar.n)
        if done == total:
            self.bar.close()


def _progress_bar(total: int) -> _TqdmBar | _ProgressBar:
    """tqdm's bar when tqdm is installed, else the text bar on stderr."""
    try:
        return _TqdmBar(total)
    except ImportError:
        return _ProgressBar(total, sys.stderr)


def _as_request(item: object, index: int) -> sp.PlanRequest:
    """A PlanRequest, or (start, goal[, footprint]) made into one; errors name the position."""
    if isinstance(item, sp.PlanRequest):
        return item
    if isinstance(item, tuple) and len(item) in (2, 3):
        try:
            return make_request(*item)
        except (TypeError, ValueError) as error:
            raise ValueError(f"requests[{index}]: {error}") from None
    raise TypeError(
        f"requests[{index}] must be a PlanRequest or a (start, goal[, footprint]) tuple, "
        f"got {type(item).__name__}"
    )


def plan_many(
    map_or_path: Any,
    requests: Sequence[sp.PlanRequest] | Iterable[sp.PlanRequest],
    config: sp.PlannerConfig | None = None,
    *,
    workers: int | None = None,
    progress: bool | ProgressCallback | None = None,
    executor: Executor | None = None,
    resolution: float | None = None,
    origin: tuple[float, float] = (0.0, 0.0),
    occupancy: bool = False,
    inflate: bool | float | None = None,
    cost_scaling: float | None = None,
) -> list[sp.PlannerResult]:
    """Plans every request on the map and returns the results in request order.

    The map is what `plan` takes (a Costmap, a map file path, an occupancy or cost array with
    `resolution` and `origin`), prepared as `plan` prepares it (`planning_map`): occupancy maps
    are inflated for the requests' footprint unless `inflate=False`, so a query gives the same
    path here, through `plan` and through `veltrax-plan`. Inflation is for one footprint: requests
    of several footprints on an inflated map raise ValueError (plan each footprint's requests in
    its own batch).

    Requests are PlanRequests or (start, goal[, footprint]) tuples as `make_request` takes them; a
    bad one raises an error naming its position before anything is planned.

    Without an `executor`, worker threads of this process plan: each owns one planner, so its
    obstacle heuristic cache is reused for consecutive requests with the same goal cell and map
    revision, and the planner releases the interpreter lock while it searches. With any
    `concurrent.futures.Executor` (a ProcessPoolExecutor, or a Dask cluster's
    `Client.get_executor()`), the batch is cut into chunks, each goal's requests kept together,
    that travel pickled (the records pickle as tuples of their fields); each worker
    process keeps one planner per map (keyed by a digest of the map), and the map's cells are sent
    with the first chunk for each worker only (a chunk that finds a worker without them is sent
    again with them). Results are the same either way.

    Without a `config`, the recommended configuration for the map's resolution and the first
    request's footprint is used (`_se2_planner.recommended_config`).

    `workers` defaults to the number of CPUs (at most the number of requests); with an executor it
    sets how finely the batch is cut (about four chunks per worker) and how many of the first
    chunks carry the map's cells. `progress` may be True (a bar with failures so far and the time
    left: tqdm's when tqdm is installed, which also draws in notebooks, else a text bar on stderr),
    False, None (a bar only for 20 requests or more on a terminal or in a notebook) or a callable
    taking (done, total).
    """
    requests = [_as_request(item, index) for index, item in enumerate(requests)]
    total = len(requests)
    if total == 0:
        return []
    footprint = requests[0].footprint
    costmap, inflation = planning_map(map_or_path, footprint, resolution=resolution, origin=origin,
                                      occupancy=occupancy, inflate=inflate, cost_scaling=cost_scaling)
    if inflation is not None:
        first = _footprint_data(footprint)
        for index, request in enumerate(requests):
            if _footprint_data(request.footprint) != first:
                raise ValueError(f"requests[{index}]: the map is inflated for requests[0]'s footprint, "
                                 "and this request has another (plan each footprint in its own batch, "
                                 "or pass inflate=False)")
    if config is None:
        config = sp.recommended_config(costmap.resolution, requests[0].footprint)
    if workers is None:
        workers = os.cpu_count() or 1
    if not isinstance(workers, int) or isinstance(workers, bool) or workers < 1:
        raise ValueError(f"workers must be a positive integer, got {workers!r}")
    workers = min(workers, total)

    bar: _TqdmBar | _ProgressBar | None = None
    if callable(progress):
        user_report: ProgressCallback | None = progress
    else:
        user_report = None
        shown = sys.stderr.isatty() or "ipykernel" in sys.modules  # a terminal or a notebook
        if progress or (progress is None and total >= 20 and shown):
            bar = _progress_bar(total)
    lock = threading.Lock()
    done = 0
    failed = 0

    def finished(result: sp.PlannerResult) -> None:
        nonlocal done, failed
        if user_report is None and bar is None:
            return
        with lock:
            done += 1
            failed += result.status != sp.PlannerStatus.SUCCESS
            if user_report is not None:
                user_report(done, total)
            elif bar is not None:
                bar(done, total, failed)

    results: list[sp.PlannerResult | None] = [None] * total
    if executor is None:
        _plan_on_threads(costmap, requests, config, workers, results, finished,
                         user_report is not None or bar is not None)
        return cast("list[sp.PlannerResult]", results)
    # Requests that share a heuristic field (goal cell and map revision) form a group.
    groups: dict[object, deque[int]] = {}
    for index, request in enumerate(requests):
        key = (costmap.world_to_map(request.goal.x, request.goal.y), request.map_revision)
        groups.setdefault(key, deque()).append(index)
    _plan_on_executor(executor, costmap, requests, config, groups, workers, results, finished)
    return cast("list[sp.PlannerResult]", results)


def _plan_on_threads(costmap, requests, config, workers, results, finished, report) -> None:
    # The library's batch planner: one planner per worker thread, requests sharing a goal cell
    # and map revision kept on one worker so its cached heuristic is reused, no interpreter lock
    # held while planning.
    progress = (lambda done, total, index, result: finished(result)) if report else None
    results[:] = sp.plan_many(costmap, requests, config, workers, None, progress)


def _footprint_data(footprint) -> tuple:
    """The footprint as comparable data."""
    if isinstance(footprint, sp.CircleFootprint):
        return ("circle", footprint.radius)
    if isinstance(footprint, sp.PolygonFootprint):
        return ("polygon", [(p.x, p.y) for p in footprint.points])
    return ("multi", [[(p.x, p.y) for p in polygon.points] for polygon in footprint.polygons])


def map_digest(costmap: sp.Costmap) -> str:
    """A digest of the map's cells and geometry: the key of a worker's planner cache."""
    digest = hashlib.blake2b(digest_size=16)
    digest.update(struct.pack("<QQddd", costmap.width, costmap.height, costmap.resolution,
                              costmap.origin_x, costmap.origin_y))
    digest.update(costmap.cells_array.tobytes())
    return digest.hexdigest()


# A worker process's planners, one per map, the most recently used last.
_PLANNERS: OrderedDict[str, sp.HybridAStar] = OrderedDict()
_PLANNERS_LOCK = threading.Lock()
_MAX_PLANNERS = 4


def _worker_planner(map_data: tuple) -> sp.HybridAStar | None:
    """The planner for the map, made from the cells if they came along; None when only the
    digest came and this process has no planner for it."""
    digest = map_data[0]
    with _PLANNERS_LOCK:
        planner = _PLANNERS.get(digest)
        if planner is None:
            if len(map_data) == 1:
                return None
            _, cells, resolution, origin_x, origin_y = map_data
            planner = sp.HybridAStar(sp.Costmap(cells, resolution, origin_x, origin_y))
            _PLANNERS[digest] = planner
            while len(_PLANNERS) > _MAX_PLANNERS:
                _PLANNERS.popitem(last=False)
        _PLANNERS.move_to_end(digest)
    return planner


def _plan_chunk(map_data: tuple, chunk: list[tuple[int, sp.PlanRequest]],
                config: sp.PlannerConfig) -> list[tuple[int, sp.PlannerResult]] | None:
    """Runs in a worker process: plans a chunk of requests; None asks for the chunk again with
    the map's cells."""
    planner = _worker_planner(map_data)
    if planner is None:
        return None
    return [(index, planner.plan(request, config)) for index, request in chunk]


def _chunks(groups: dict[object, deque[int]], size: int) -> list[list[int]]:
    """The requests cut into chunks of `size`, each group's requests consecutive, so that a group
    is split only where a chunk ends."""
    order = [index for indices in groups.values() for index in indices]
    return [order[at:at + size] for at in range(0, len(order), size)]


def _plan_on_executor(executor, costmap, requests, config, groups, workers, results, finished) -> None:
    digest = map_digest(costmap)
    full = (digest, costmap.cells_array, costmap.resolution, costmap.origin_x, costmap.origin_y)
    size = max(1, math.ceil(len(requests) / (4 * workers)))
    # The cells travel with the first chunk for each worker; later chunks carry the digest only,
    # and one that reaches a worker without the map comes back unplanned and is sent again with it.
    pending = {}
    for number, indices in enumerate(_chunks(groups, size)):
        chunk = [(i, requests[i]) for i in indices]
        map_data = full if number < workers else (digest,)
        pending[executor.submit(_plan_chunk, map_data, chunk, config)] = chunk
    while pending:
        done, _ = wait(pending, return_when=FIRST_COMPLETED)
        for future in done:
            chunk = pending.pop(future)
            answers = future.result()
            if answers is None:
                pending[executor.submit(_plan_chunk, full, chunk, config)] = chunk
                continue
            for index, result in answers:
                results[index] = result
                finished(result)
