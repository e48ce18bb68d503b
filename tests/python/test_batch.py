import math
import pathlib

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
                request.start = sp.Pose2D(*start)
                request.goal = sp.Pose2D(*goal)
                request.goal_revision = 10 * i + j
                requests.append(request)
    return requests


def test_results_come_back_in_request_order_and_match_serial(warehouse):
    requests = make_requests()
    parallel = plan_many(warehouse, requests, sp.PlannerConfig(), workers=2, progress=False)
    planner = sp.HybridAStar(warehouse)
    serial = [planner.plan(r, sp.PlannerConfig()) for r in requests]
    assert [r.goal_revision for r in parallel] == [r.goal_revision for r in requests]
    assert any(r.status == sp.PlannerStatus.SUCCESS for r in serial)
    for a, b in zip(parallel, serial):
        assert a.status == b.status and a.message == b.message
        assert a.path_array.tolist() == b.path_array.tolist()


def test_progress_callback_counts_every_request(warehouse):
    seen = []
    requests = make_requests()[:5]
    plan_many(warehouse, requests, workers=2, progress=lambda done, total: seen.append((done, total)))
    assert sorted(seen) == [(k, 5) for k in range(1, 6)]


def test_empty_batch_and_bad_worker_count(warehouse):
    assert plan_many(warehouse, []) == []
    with pytest.raises(ValueError, match="workers must be a positive integer"):
        plan_many(warehouse, make_requests()[:1], workers=0)

