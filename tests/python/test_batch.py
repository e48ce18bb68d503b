"""plan_many: results in request order, on worker threads or a Dask cluster the same as one planner
gives them one after another."""

import math
import pathlib
import sys

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


def test_threads_keep_request_order_and_default_to_the_recommended_config():
    requests = [make_request(*query) for query in QUERIES]
    for revision, request in enumerate(requests):
        request.goal_revision = revision
    seen = []
    results = plan_many(WAREHOUSE, requests, workers=2, progress=lambda done, total: seen.append((done, total)))
    assert sorted(seen) == [(k, len(QUERIES)) for k in range(1, len(QUERIES) + 1)]
    assert [r.goal_revision for r in results] == list(range(len(QUERIES)))
    expected = one_planner(sp.recommended_config(WAREHOUSE.resolution, requests[0].footprint))
    assert all(status == sp.PlannerStatus.SUCCESS for status, *_ in expected)
    assert outcomes(results) == expected


def test_a_dask_cluster_gets_the_config_as_plain_data():
    distributed = pytest.importorskip("distributed")
    config = sp.recommended_config(WAREHOUSE.resolution, sp.CircleFootprint(0.25))
    config.heuristic_weight = 1.0
    with distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=True,
                                  dashboard_address=None) as cluster, distributed.Client(cluster) as client:
        results = plan_many(WAREHOUSE, QUERIES, config, executor=client.get_executor(), progress=False)
    assert outcomes(results) == one_planner(config)


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
