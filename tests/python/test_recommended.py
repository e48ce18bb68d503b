"""The recommended configuration and the search extensions, as the module and the command line
expose them."""

import math
import pathlib

import numpy as np
import pytest

import _se2_planner as sp
from veltrax_se2 import cli, plan_many

WAREHOUSE = str(pathlib.Path(__file__).resolve().parents[2] / "examples" / "maps" / "warehouse.yaml")
# Across the bundled warehouse: a few hundred expansions with the recommended configuration,
# over a hundred thousand with the library defaults.
ACROSS = ["--start", "1", "1", "0", "--goal", "14", "9", "0", "--set", "max_expanded_nodes=5000"]


# The values themselves are the C++ suite's; here only what the binding adds: the type, the
# unchanged defaults, and invalid_argument as ValueError.
def test_recommended_config_is_a_planner_config_and_refusals_are_value_errors():
    config = sp.recommended_config(0.05, sp.CircleFootprint(0.25))
    assert isinstance(config, sp.PlannerConfig) and config.validate() == []
    assert (config.heuristic_weight, config.footprint_aware_heuristic) == (1.5, True)
    assert (sp.PlannerConfig().heuristic_weight, sp.PlannerConfig().footprint_aware_heuristic) == (1.0, False)
    with pytest.raises(ValueError, match="^circle radius must be finite and positive$"):
        sp.recommended_config(0.05, sp.CircleFootprint(0.0))


def test_inscribed_radius_and_clearance_keyword():
    rectangle = sp.PolygonFootprint([sp.Point2D(0.4, 0.25), sp.Point2D(-0.3, 0.25),
                                     sp.Point2D(-0.3, -0.25), sp.Point2D(0.4, -0.25)])
    assert sp.inscribed_radius(rectangle) == pytest.approx(0.25)
    row = sp.Costmap(np.array([[0, 0, 0, 0, 254]], np.uint8), 1.0, 0.0, 0.0)
    field = sp.ObstacleHeuristic(row, sp.GridIndex(0, 0), False, 0.0, clearance=1.5)
    assert [field.distance(x, 0) for x in range(5)] == [0.0, 1.0, 2.0, math.inf, math.inf]


@pytest.mark.parametrize("flags, code", [([], 0), (["--library-defaults"], 1)])
def test_command_line_starts_from_the_recommended_configuration(flags, code, capsys):
    assert cli.run([WAREHOUSE, *ACROSS, *flags]) == code, capsys.readouterr().out


def test_plan_many_without_a_config_uses_the_recommended_one():
    from veltrax_se2 import load_map

    costmap = load_map(WAREHOUSE)
    request = sp.PlanRequest()
    request.start, request.goal = sp.Pose2D(1, 1, 0), sp.Pose2D(14, 9, 0)
    [batch] = plan_many(costmap, [request], workers=1)
    single = sp.HybridAStar(costmap).plan(request, sp.recommended_config(costmap.resolution, request.footprint))
    assert batch.status == sp.PlannerStatus.SUCCESS
    assert batch.diagnostics.expanded_nodes == single.diagnostics.expanded_nodes
    assert np.array_equal(batch.path_array, single.path_array)
