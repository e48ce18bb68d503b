"""SVG rendering options and functions, through the module."""

import math

import numpy as np
import pytest

import _se2_planner as sp


def tiny_map():
    return sp.Costmap(np.array([[0, 254]], dtype=np.uint8), 0.5, 0.0, 0.0)


def plan():
    request = sp.PlanRequest()
    request.start = sp.Pose2D(0.0, 0.0, 0.0)
    request.goal = sp.Pose2D(0.75, 0.25, math.pi / 2)
    result = sp.PlannerResult()
    result.path = [sp.Pose2D(0.1, 0.1, 0.0), sp.Pose2D(0.4, 0.1, 0.0), sp.Pose2D(0.6, 0.2, 0.5)]
    result.directions = [sp.Direction.FORWARD, sp.Direction.FORWARD, sp.Direction.REVERSE]
    return request, result


def test_omitted_options_equal_fresh_options():
    request, result = plan()
    assert sp.render_plan_svg(tiny_map(), request, result) == sp.render_plan_svg(
        tiny_map(), request, result, sp.SvgRenderOptions()
    )


def test_explicit_options_do_not_change_the_default():
    request, result = plan()
    default_svg = sp.render_plan_svg(tiny_map(), request, result)
    options = sp.SvgRenderOptions()
    options.draw_grid = True
    options.pixels_per_cell = 4
    options.reverse_color = "#123456"
    svg = sp.render_plan_svg(costmap=tiny_map(), request=request, result=result, options=options)
    assert '<path d="M0.000 0V4M4.000 0V4M8.000 0V4M0 0.000H8M0 4.000H8" stroke="#d0d0d0" stroke-width="0.5"/>' in svg
    assert 'stroke="#123456" stroke-width="3" stroke-linecap="round"' in svg
    assert sp.render_plan_svg(tiny_map(), request, result) == default_svg
    assert "<path" not in default_svg


def test_save_failures(tmp_path):
    request, result = plan()
    missing = str(tmp_path / "missing" / "plan.svg")
    with pytest.raises(RuntimeError) as caught:
        sp.save_plan_svg(tiny_map(), request, result, missing)
    assert str(caught.value) == "cannot open SVG output file: " + missing
    with pytest.raises(RuntimeError) as caught:
        sp.save_plan_svg(tiny_map(), request, result, "/dev/full")
    assert str(caught.value) == "output file is not a regular file: /dev/full"


def test_failed_render_keeps_the_old_file(tmp_path):
    request, result = plan()
    path = tmp_path / "plan.svg"
    path.write_text("old")
    options = sp.SvgRenderOptions()
    options.pixels_per_cell = 0
    with pytest.raises(ValueError):
        sp.save_plan_svg(tiny_map(), request, result, str(path), options)
    assert path.read_text() == "old"
    assert [p.name for p in tmp_path.iterdir()] == ["plan.svg"]
