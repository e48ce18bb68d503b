"""The package as a user meets it: maps as robots hold them, one-call planning, segments,
inflation by default, command-line warnings and pictures."""

import json
import math
import pathlib
from fractions import Fraction

import numpy as np
import pytest

import _se2_planner as sp
import veltrax_se2 as vx
from veltrax_se2 import cli

MAPS = pathlib.Path(__file__).resolve().parents[2] / "examples" / "maps"
PARKING = MAPS / "parking_lot.yaml"
START, INTO_SLOT = (2.0, 4.8, 0.0), (3.04, 0.9, math.pi / 2)


def write_movingai(tmp_path, first_row):
    path = tmp_path / "grid.map"
    path.write_text(f"type octile\nheight 3\nwidth 4\nmap\n{first_row}\nOTW.\n.GS@\n")
    return path


# The conversions themselves are the library's (tests/cpp/test_io.cpp); here the Python ways in.
@pytest.mark.parametrize("load, cells", [
    (lambda tmp: vx.costmap_from_occupancy(np.array([[-1, 0, 65, 100], [100] * 4], np.int8), 0.5, (1.0, 2.0)),
     [[255, 0, 255, 254], [254] * 4]),  # row 0 stays at the origin
    (lambda tmp: vx.costmap_from_occupancy(np.array([[20, 64]], np.int8), 0.5, (1.0, 2.0), scaled=True),
     [[2, 246]]),
    (lambda tmp: vx.costmap_from_occupancy(np.array([[19, 20, 64, 65]], np.int8), 0.5, (1.0, 2.0),
                                           occupied_thresh=np.float32(0.64), free_thresh=Fraction(1, 5)),
     [[0, 255, 254, 254]]),  # any real number; 0.64 in float32 is a little above 0.64
    (lambda tmp: vx.load_map(write_movingai(tmp, "...."), resolution=0.5, origin=(1.0, 2.0)),
     [[0, 0, 0, 254], [254, 254, 254, 0], [0, 0, 0, 0]]),  # the first text row is the top
])
def test_occupancy_grids_and_movingai_maps(tmp_path, load, cells):
    costmap = load(tmp_path)
    assert (costmap.resolution, costmap.origin_x, costmap.origin_y) == (0.5, 1.0, 2.0)
    assert costmap.cells_array.tolist() == cells


@pytest.mark.parametrize("call, message", [
    *[(lambda tmp, v=v: vx.costmap_from_occupancy(np.array([[0, v]], np.int8), 0.1),
       f"occupancy value {v} at row 0, column 1 is not -1 or 0..100") for v in (-2, 101)],
    (lambda tmp: vx.load_map(write_movingai(tmp, ".X.."), 0.5),
     "grid.map: unknown terrain 'X' in row 1 (expected one of . G S @ O T W)"),
    (lambda tmp: vx.load_map(write_movingai(tmp, "....")),
     "grid.map: a resolution (cell size in metres) is required for .map maps"),
    *[(lambda tmp, t=thresholds: vx.costmap_from_occupancy([[0]], 0.1, **t), message) for thresholds, message in [
        ({"occupied_thresh": "0.65"}, "occupied_thresh must be a real number, got '0.65' (str)"),
        ({"free_thresh": True}, "free_thresh must be a real number, got True (bool)"),
        ({"free_thresh": 0.7}, "thresholds must satisfy 0 <= free_thresh <= occupied_thresh <= 1")]],
])
def test_bad_map_values_are_named(tmp_path, call, message):
    with pytest.raises(ValueError) as raised:
        call(tmp_path)
    assert str(raised.value).endswith(message)


def test_segments_split_at_the_cusp():
    result = sp.PlannerResult()
    result.path = [sp.Pose2D(x, 0.0, 0.0) for x in (0.0, 1.0, 2.0, 1.5, 1.0)]
    result.directions = [1, 1, -1, -1, -1]  # pose 2 is the cusp: the step leaving it reverses
    parts = vx.segments(result)
    assert [(p.direction, p.length, p.poses[:, 0].tolist()) for p in parts] == [
        (1, 2.0, [0.0, 1.0, 2.0]), (-1, 1.0, [2.0, 1.5, 1.0])]


# On 10 x 10 cells of 0.1 m with a lethal cell and an unknown one beside it, which the goal touches.
@pytest.mark.parametrize("status, directions, allow_unknown, line", [
    ("SUCCESS", [1, 1, 1], False, "path found: 1.50 m, 3 poses, 0 cusps"),
    ("SUCCESS", [0, -1, 0, 1, 1], False, "path found: 1.50 m, 5 poses, 1 cusp"),  # a turn on the spot between
    ("SUCCESS", [-1, 1, 1, -1, -1], True, "path found: 1.50 m, 5 poses, 2 cusps"),
    ("NO_PATH", [], False, "no path (boxed in); allow_unknown=True (the map has unknown cells), a smaller "
                           "minimum_turning_radius (now 0.4 m) or footprint may open one"),
    ("NO_PATH", [], True, "no path (boxed in); a smaller minimum_turning_radius (now 0.4 m) or footprint may open one"),
    ("GOAL_IN_COLLISION", [], False, "goal footprint touches lethal and unknown cells; move the goal or use a "
                                     "smaller footprint (allow_unknown=True alone would not free it)"),
    ("GOAL_IN_COLLISION", [], True, "goal footprint touches lethal and unknown cells; move the goal or use a "
                                    "smaller footprint"),
])
def test_explain_says_what_happened_and_what_to_change(status, directions, allow_unknown, line):
    cells = np.zeros((10, 10), np.uint8)
    cells[5, 5:7] = (sp.LETHAL_COST, sp.UNKNOWN_COST)
    request = vx.make_request((0.2, 0.2, 0), (0.6, 0.55, 0), 0.15)
    result = sp.PlannerResult()
    result.status, result.message = getattr(sp.PlannerStatus, status), "boxed in"
    result.path, result.directions = [sp.Pose2D(0.1 * k, 0, 0) for k in range(len(directions))], directions
    result.diagnostics.path_length = 1.5
    config = sp.recommended_config(0.1, request.footprint)
    config.allow_unknown = allow_unknown
    assert vx.explain(result, request, config, sp.Costmap(cells, 0.1, 0.0, 0.0)) == line


def test_plan_takes_plain_values_and_starts_from_the_recommended_config(monkeypatch):
    configs = []

    class Recording(sp.HybridAStar):
        def plan(self, request, config):
            return super().plan(request, configs.append(config) or config)

    monkeypatch.setattr(sp, "HybridAStar", Recording)
    config = sp.recommended_config(0.05, sp.CircleFootprint(0.25))
    result = vx.plan(PARKING, np.array(START), INTO_SLOT, 0.25, config, max_expanded_nodes=5)
    assert result.status == sp.PlannerStatus.MAX_NODES_EXCEEDED and config.max_expanded_nodes == 1_000_000
    result = vx.plan(str(PARKING), START, INTO_SLOT, [(0.3, 0.2), (-0.3, 0.2), (-0.3, -0.2), (0.3, -0.2)])
    parts = vx.segments(result)
    assert [p.direction for p in parts] == [1, -1]
    assert parts[0].poses[-1].tolist() == parts[1].poses[0].tolist()
    # A turning radius among the fields scales the recommended penalties: reversing a 3.5 m
    # radius's 0.3054 m primitive costs as much again.
    vx.plan(PARKING, START, INTO_SLOT, 0.25, minimum_turning_radius=3.5, max_expanded_nodes=1)
    assert configs[-1].minimum_turning_radius == 3.5 and configs[-1].reverse_penalty == pytest.approx(0.30543, abs=1e-5)
    result = vx.plan(MAPS / "warehouse.yaml", (1, 5, 0), (1, 5, math.pi), allow_in_place_rotation=True)
    assert result.status == sp.PlannerStatus.SUCCESS and set(result.directions) == {0}  # about on the spot
    # Asked to turn on the spot, the recommended configuration's branch for it: cheap switches, a stronger weight.
    assert [(c.allow_in_place_rotation, c.direction_switch_penalty, c.heuristic_weight, c.max_expanded_nodes)
            for c in configs] == [(False, 2.0, 1.5, 5), (False, 2.0, 1.5, 1_000_000), (False, 2.0, 1.5, 1),
                                  (True, 0.05, 3.0, 1_000_000)]
    with pytest.raises(TypeError, match="^PlannerConfig has no field 'max_nodes'; did you mean 'max_expanded_nodes'"):
        vx.plan(PARKING, START, INTO_SLOT, max_nodes=5)
    with pytest.warns(UserWarning, match=r"^goal yaw 90 is larger than 2π in magnitude: radians expected "
                                         r"\(math.radians\(90\) = 1.5708\)$"):
        vx.make_request(START, (3.04, 0.9, 90))


def test_a_stalled_search_heads_for_the_goal():
    # Facing the wall at the bottom aisle's end, to a dock facing the other way: the robot can only
    # back all the way, at twice the price per metre the heuristic assumes, so a search at the
    # usual weight floods the warehouse first.
    query = (14.175, 0.425, -0.5592), (4.975, 5.275, -0.1892)
    flood = vx.plan(MAPS / "warehouse.yaml", *query, stall_expansions=0)
    stalled = vx.plan(MAPS / "warehouse.yaml", *query)
    assert flood.status == stalled.status == sp.PlannerStatus.SUCCESS
    assert flood.diagnostics.expanded_nodes > 40_000
    assert 512 < stalled.diagnostics.expanded_nodes < 2048
    assert stalled.diagnostics.path_length < 1.05 * flood.diagnostics.path_length
    # The larger of the two thresholds holds: a count alone, or a way so long it is never reached.
    counted = vx.plan(MAPS / "warehouse.yaml", *query, stall_expansions=2048,
                      stall_expansions_per_metre=0.0)
    assert 2048 < counted.diagnostics.expanded_nodes < 2048 + 500
    never = vx.plan(MAPS / "warehouse.yaml", *query, stall_expansions_per_metre=1e6)
    assert never.path_array.tolist() == flood.path_array.tolist()
    assert never.diagnostics.expanded_nodes == flood.diagnostics.expanded_nodes


def test_occupancy_maps_are_inflated_for_clearance_alike_by_every_entry_point(tmp_path):
    raw = vx.load_map(MAPS / "warehouse.yaml")
    query = (1.0, 5.0, 0.0), (3.5, 2.8, -math.pi / 2)
    written = tmp_path / "plan.json"
    assert cli.run([str(MAPS / "warehouse.yaml"), "--start", *map(repr, query[0]), "--goal",
                    *map(repr, query[1]), "--json", str(written), "--quiet"]) == 0
    by_cli = [[pose["x"], pose["y"], pose["yaw"]] for pose in json.loads(written.read_text())["path"]]
    [by_batch] = vx.plan_many(MAPS / "warehouse.yaml", [query])
    assert by_cli == vx.plan(MAPS / "warehouse.yaml", *query).path_array.tolist() == by_batch.path_array.tolist()
    # Out to the circumscribed radius (at least two cells), 252 falling to 10 there.
    for footprint, resolution, radius in [(sp.CircleFootprint(0.25), 0.05, 0.25),
                                          (vx.make_footprint([(0.3, 0.4), (-0.3, 0.4), (0, -0.1)]), 0.05, 0.5),
                                          (sp.CircleFootprint(0.05), 0.04, 0.08)]:
        chosen = sp.default_inflation(footprint, resolution)
        assert (chosen.inflation_radius, chosen.inscribed_radius) == (radius, 0.0)
        assert chosen.cost_scaling_factor == pytest.approx(math.log(25.2) / radius, rel=1e-15)

    def within(path, radius):  # some pose of the 0.25 m robot comes within radius - 0.25 of a wall
        return any(sp.CollisionChecker(raw).check(sp.Pose2D(*pose), sp.CircleFootprint(radius)).collision
                   for pose in path)

    assert within(vx.plan(raw, *query, inflate=False).path_array, 0.28)
    assert not within(vx.plan(MAPS / "warehouse.yaml", *query).path_array, 0.35)
    assert vx.default_inflation(sp.CircleFootprint(0.2), 0.5) == vx.Inflation(1.0, 0.0, math.log(25.2))  # two cells


def test_cli_warnings_and_footprint_strings(tmp_path, capsys):
    pixels = np.full((40, 40), 254, np.uint8)
    pixels[:, :3] = 0
    (tmp_path / "occ.pgm").write_bytes(b"P5\n40 40\n255\n" + pixels.tobytes())
    args = [str(tmp_path / "occ.pgm"), "--resolution", "0.1", "--start", "1", "1", "0", "--goal", "3", "3",
            "0", "--polygon", "[[0.3, 0.2], [-0.3, 0.2], [-0.3, -0.2], [0.3, -0.2]]", "--quiet"]
    assert cli.run(args) == 1
    assert capsys.readouterr().err == (
        f"veltrax-plan: warning: {tmp_path / 'occ.pgm'} looks like an occupancy image (almost all cells 0, "
        "205 or 254/255) but is read as costs, where white is lethal; add --occupancy to read it as occupancy\n")
    assert cli.run([*args, "--occupancy"]) == 0 and capsys.readouterr().err == ""


@pytest.mark.parametrize("name, start, goal", [
    ("parking_lot", START, INTO_SLOT), ("warehouse", (1, 5, 0), (12, 5, math.pi)),
    ("maze", (0.625, 0.625, 0), (9.375, 9.375, 0))])
def test_plot_shows_start_path_and_unknown(name, start, goal, tmp_path):
    pytest.importorskip("matplotlib").use("Agg")
    import matplotlib.image
    import matplotlib.pyplot as plt

    costmap, _ = vx.planning_map(MAPS / f"{name}.yaml", sp.CircleFootprint(0.25))
    request = vx.make_request(start, goal, 0.25)
    result = sp.HybridAStar(costmap).plan(request, sp.recommended_config(0.05, request.footprint))
    ax = vx.plot(costmap, request, result, filename=tmp_path / "plan.png")
    picture = matplotlib.image.imread(tmp_path / "plan.png")[:, :, :3]
    height = picture.shape[0]
    plt.close(ax.figure)

    def colour_at(x, y):
        px, py = ax.transData.transform((x, y))
        return picture[int(round(height - py)), int(round(px))]

    # Arrows are at least half a metre long (a twentieth of these maps' larger side).
    tip = colour_at(start[0] + 0.38 * math.cos(start[2]), start[1] + 0.38 * math.sin(start[2]))
    assert np.allclose(tip, [0x1A / 255, 0x9E / 255, 0x3A / 255], atol=0.06)
    assert result.status == sp.PlannerStatus.SUCCESS
    k = len(result.path) // 3  # forward in blue, reverse in orange
    expected = [0x1F, 0x63, 0xC6] if result.directions[k] == 1 else [0xF0, 0x7D, 0x00]
    assert np.allclose(colour_at(*result.path_array[k, :2]), np.array(expected) / 255, atol=0.06)
    if name == "parking_lot":  # its unknown patch spans x 0.1..0.6, y 3..5
        assert np.allclose(colour_at(0.35, 4.0), [0.72, 0.78, 0.95], atol=0.02)
    failed = [str(MAPS / f"{name}.yaml"), "--start", "1", "5", "0", "--goal", "30", "4", "0", "--quiet"]
    assert cli.run([*failed, "--plot", str(tmp_path / "failed.png")]) == 1  # a failed plan is drawn too
    assert (tmp_path / "failed.png").read_bytes()[:8] == b"\x89PNG\r\n\x1a\n"
