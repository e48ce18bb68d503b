"""SVG rendering options and functions, through the module."""

import math
import xml.etree.ElementTree as ET

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


def test_options_defaults_and_attributes():
    options = sp.SvgRenderOptions()
    assert options.pixels_per_cell == 8
    assert options.draw_grid is False
    assert options.draw_footprints is True
    assert options.footprint_stride == 10
    assert (options.path_color, options.forward_color) == ("#1565c0", "#1565c0")
    assert (options.reverse_color, options.rotation_color) == ("#ef6c00", "#8e24aa")
    options.pixels_per_cell = 0
    options.rotation_color = "teal"
    assert (options.pixels_per_cell, options.rotation_color) == (0, "teal")
    with pytest.raises(TypeError):
        options.pixels_per_cell = -1


def test_tiny_map_document():
    request, _ = plan()
    svg = sp.render_plan_svg(tiny_map(), request, sp.PlannerResult())
    assert svg == (
        '<?xml version="1.0" encoding="UTF-8"?>\n'
        '<svg xmlns="http://www.w3.org/2000/svg" width="16" height="8" viewBox="0 0 16 8">\n'
        '<rect width="100%" height="100%" fill="white"/>\n'
        '<rect x="8.000" y="0.000" width="8.000" height="8.000" fill="rgb(1,1,1)"/>\n'
        '<circle cx="0.000" cy="8.000" r="5.000" fill="#2e7d32" stroke="white" stroke-width="2"/>\n'
        '<line x1="0.000" y1="8.000" x2="13.000" y2="8.000" stroke="#2e7d32" stroke-width="3"/>\n'
        '<circle cx="12.000" cy="4.000" r="5.000" fill="#c62828" stroke="white" stroke-width="2"/>\n'
        '<line x1="12.000" y1="4.000" x2="12.000" y2="-9.000" stroke="#c62828" stroke-width="3"/>\n'
        "</svg>\n"
    )


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


@pytest.mark.parametrize("color", ['a"b', "<&>'", "x\x01y", "caf\u00e9"])
def test_documents_are_well_formed_whatever_the_colours(color):
    request, result = plan()
    options = sp.SvgRenderOptions()
    options.forward_color = color
    options.reverse_color = color
    root = ET.fromstring(sp.render_plan_svg(tiny_map(), request, result, options).encode())
    strokes = [line.get("stroke") for line in root.iter("{http://www.w3.org/2000/svg}line")]
    expected = color.replace("\x01", "\ufffd")
    assert strokes == [expected, expected, "#2e7d32", "#c62828"]


def test_pixels_per_cell_zero():
    request, result = plan()
    options = sp.SvgRenderOptions()
    options.pixels_per_cell = 0
    with pytest.raises(ValueError, match=r"^pixels_per_cell must be positive$"):
        sp.render_plan_svg(tiny_map(), request, result, options)


def test_save_takes_the_path_fourth(tmp_path):
    request, result = plan()
    path = tmp_path / "plan.svg"
    assert sp.save_plan_svg(tiny_map(), request, result, str(path)) is None
    assert path.read_text() == sp.render_plan_svg(tiny_map(), request, result)


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
