import math
import pathlib

import numpy as np
import pytest

import _se2_planner as sp
from veltrax_se2 import load_map, plan_many

MAPS = pathlib.Path(__file__).resolve().parents[2] / "examples" / "maps"


@pytest.fixture(scope="module")
def warehouse():
    return load_map(MAPS / "warehouse.yaml")


def make_requests():
    poses = [(1.0, 5.0, 0.0), (12.0, 5.0, math.pi), (2.4, 1.0, 0.0), (12.5, 9.0, -math.pi / 2)]
    requests = []
    for i, start in enumerate(poses):
        for j, goal in enumerate(poses):
            if i != j:
                request = sp.PlanRequest()
                request.start, request.goal = sp.Pose2D(*start), sp.Pose2D(*goal)
                request.goal_revision = 10 * i + j
                requests.append(request)
    return requests


def test_results_come_back_in_request_order_and_match_serial(warehouse):
    requests = make_requests()
    seen = []
    parallel = plan_many(warehouse, requests, sp.PlannerConfig(), workers=2,
                         progress=lambda done, total: seen.append((done, total)))
    planner = sp.HybridAStar(warehouse)
    serial = [planner.plan(r, sp.PlannerConfig()) for r in requests]
    assert sorted(seen) == [(k, len(requests)) for k in range(1, len(requests) + 1)]
    assert [r.goal_revision for r in parallel] == [r.goal_revision for r in requests]
    assert any(r.status == sp.PlannerStatus.SUCCESS for r in serial)
    for a, b in zip(parallel, serial):
        assert a.status == b.status and a.message == b.message
        assert a.path_array.tolist() == b.path_array.tolist()


def test_without_a_config_the_recommended_one_is_used(warehouse):
    [request] = make_requests()[:1]
    [batch] = plan_many(warehouse, [request], workers=1)
    single = sp.HybridAStar(warehouse).plan(request, sp.recommended_config(warehouse.resolution, request.footprint))
    assert batch.status == sp.PlannerStatus.SUCCESS
    assert batch.diagnostics.expanded_nodes == single.diagnostics.expanded_nodes
    assert np.array_equal(batch.path_array, single.path_array)


def test_empty_batch_and_bad_worker_count(warehouse):
    assert plan_many(warehouse, []) == []
    with pytest.raises(ValueError, match="^workers must be a positive integer"):
        plan_many(warehouse, make_requests()[:1], workers=0)
