"""plan_many: results in request order, on worker threads, process pools or a Dask cluster the same
as one planner gives them one after another."""

import contextlib
import math
import pathlib
import pickle
import sys
from concurrent.futures import Executor, ProcessPoolExecutor, ThreadPoolExecutor

import pytest

import _se2_planner as sp
import veltrax_se2 as vx
from veltrax_se2 import load_map, make_request, plan_many

WAREHOUSE = load_map(pathlib.Path(__file__).resolve().parents[2] / "examples" / "maps" / "warehouse.yaml")
DOCKS = [(1.0, 5.0, 0.0), (12.0, 5.0, math.pi), (2.4, 1.0, 0.0), (3.5, 2.8, -math.pi / 2)]
QUERIES = [(a, b) for a in DOCKS for b in DOCKS if a != b]


def outcomes(results):
    return [(r.status, r.message, r.diagnostics.expanded_nodes, r.path_array.tolist()) for r in results]


def one_planner(config):
    planner = sp.HybridAStar(WAREHOUSE)
    return outcomes(planner.plan(make_request(*query), config) for query in QUERIES)


class Recording(Executor):
    """Passes chunks on, noting for each whether it carries the map's cells and how many requests."""

    def __init__(self, inner):
        self.inner, self.sent = inner, []

    def submit(self, fn, /, *args):
        self.sent.append((len(pickle.dumps(args)) > WAREHOUSE.cells_array.nbytes, len(args[1])))
        return self.inner.submit(fn, *args)


@contextlib.contextmanager
def dask_executor():
    distributed = pytest.importorskip("distributed")
    with distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=True,
                                  dashboard_address=None) as cluster, distributed.Client(cluster) as client:
        yield client.get_executor()


@pytest.mark.parametrize("executor", [None, lambda: ThreadPoolExecutor(2), lambda: ProcessPoolExecutor(2),
                                      dask_executor], ids=["library", "threads", "processes", "dask"])
def test_batches_keep_order_and_revisions_and_send_the_map_once_per_worker(executor):
    requests = [make_request(*query) for query in QUERIES]
    for k, request in enumerate(requests):
        request.map_revision, request.goal_revision, request.robot_revision = 1 + k % 2, 10 + k, 100 + k
    seen = []
    with (executor or contextlib.nullcontext)() as inner:
        recording = inner and Recording(inner)
        results = plan_many(WAREHOUSE, requests, workers=2, executor=recording,
                            progress=lambda done, total: seen.append((done, total)))
    assert sorted(seen) == [(k, len(QUERIES)) for k in range(1, len(QUERIES) + 1)]
    # Without a config the recommended one, which the executors get as plain data.
    expected = one_planner(sp.recommended_config(WAREHOUSE.resolution, requests[0].footprint))
    assert outcomes(results) == expected and {status for status, *_ in expected} == {sp.PlannerStatus.SUCCESS}
    assert [(r.map_revision, r.goal_revision, r.robot_revision) for r in results] == [
        (1 + k % 2, 10 + k, 100 + k) for k in range(len(QUERIES))]
    if recording:  # four chunks per worker at most, the cells with the first for each worker
        assert recording.sent[:6] == [(True, 2), (True, 2)] + [(False, 2)] * 4
        assert all(carries for carries, _ in recording.sent[6:])  # sent again: found a worker without


@pytest.mark.parametrize("requests, workers, error, message", [
    ([QUERIES[0]], 0, ValueError, "workers must be a positive integer, got 0"),
    ([QUERIES[0], "west"], 1, TypeError,
     "requests[1] must be a PlanRequest or a (start, goal[, footprint]) tuple, got str"),
])
def test_bad_batches_are_refused(requests, workers, error, message):
    assert plan_many(WAREHOUSE, []) == []
    with pytest.raises(error) as caught:
        plan_many(WAREHOUSE, requests, workers=workers)
    assert str(caught.value) == message


def test_tqdm_draws_the_bar_when_installed(monkeypatch):
    class Bar:  # what plan_many may use of tqdm.auto.tqdm
        def __init__(self, total, **options):
            self.n, self.total, self.postfix, self.closed = 0, total, "", False
            drawn.append(self)

        def update(self, n):
            self.n += n

        def set_postfix_str(self, text, refresh=True):
            self.postfix = text

        def close(self):
            self.closed = True

    drawn = []
    module = type(sys)("tqdm.auto")
    module.tqdm = Bar
    monkeypatch.setitem(sys.modules, "tqdm", type(sys)("tqdm"))
    monkeypatch.setitem(sys.modules, "tqdm.auto", module)
    requests = [vx.make_request(*query) for query in QUERIES[:3]] + [vx.make_request(DOCKS[0], (40, 5, 0))]
    plan_many(WAREHOUSE, requests, vx.recommended_config(0.05, vx.CircleFootprint(0.25)), progress=True)
    [bar] = drawn
    assert (bar.n, bar.total, bar.postfix, bar.closed) == (4, 4, "1 failed", True)
