"""What the binding adds to the library: array conversions and layouts, copies that own their
data, keyword arguments, and C++ exceptions as Python ones."""

import math

import numpy as np
import pytest

import _se2_planner as sp

GRID = (np.arange(3)[:, None] * 10 + np.arange(5)[None, :]).astype(np.uint8)  # [r][c] = 10 r + c
GEOMETRY = "costmap resolution/origin must be finite and resolution positive"


@pytest.mark.parametrize(
    "make",
    [
        np.asfortranarray,
        lambda a: np.pad(a, ((0, 0), (0, 5)))[:, :5],  # strided rows
        lambda a: np.repeat(a, 2, axis=1)[:, ::2],  # strided columns
    ],
)
def test_non_contiguous_layouts_build_the_same_costmap(make):
    view = make(GRID.copy())
    assert np.array_equal(view, GRID)
    assert np.array_equal(sp.Costmap(view, 1.0, 0.0, 0.0).cells_array, GRID)


def test_costmap_owns_its_cells_and_hands_out_copies():
    grid = GRID.copy()
    costmap = sp.Costmap(grid, 1.0, 0.0, 0.0)
    grid[0, 0] = 200
    assert costmap.get_cost(0, 0) == 0
    cells = costmap.cells_array
    assert cells.dtype == np.uint8 and cells.shape == (3, 5) and cells.flags.c_contiguous
    assert cells.flags.writeable and cells.flags.owndata
    cells[:] = 77
    assert costmap.get_cost(1, 1) == 11
    assert costmap.cells_array is not costmap.cells_array


def test_keyword_arguments_cross_the_binding():
    row = sp.Costmap(np.array([[0, 0, 0, 0, 254]], np.uint8), 1.0, 0.0, 0.0)
    field = sp.ObstacleHeuristic(row, sp.GridIndex(0, 0), False, 0.0, clearance=1.5)
    assert [field.distance(x, 0) for x in range(5)] == [0.0, 1.0, 2.0, math.inf, math.inf]


COSTMAP = sp.Costmap(np.zeros((2, 2), np.uint8), 1.0, 0.0, 0.0)


# One row per kind of C++ exception and argument conversion.
@pytest.mark.parametrize(
    "call, error, message",
    [
        # The dtype is judged before the shape.
        (lambda: sp.Costmap(np.zeros((2, 2, 2)), 1.0, 0.0, 0.0), TypeError, "costmap cells dtype must be uint8"),
        (lambda: sp.Costmap(np.zeros((2, 2), np.bool_), 1.0, 0.0, 0.0), TypeError, "costmap cells dtype must be uint8"),
        (lambda: sp.Costmap(np.zeros(4, np.uint8), 1.0, 0.0, 0.0), ValueError, "costmap cells must be a 2D array"),
        (lambda: sp.Costmap(np.zeros((2, 2), np.uint8), 1.0, math.inf, 0.0), ValueError, GEOMETRY),
        (lambda: sp.recommended_config(0.05, sp.CircleFootprint(0.0)), ValueError,
         "circle radius must be finite and positive"),
        (lambda: sp.recommended_config(0.05, sp.CircleFootprint(0.25), minimum_turning_radius=-1.0), ValueError,
         "minimum_turning_radius must be finite and positive"),
        (lambda: COSTMAP.get_cost(5, 0), IndexError, "costmap index is outside the grid"),
        (lambda: sp.load_costmap_csv("/dev/zero", 1.0), RuntimeError, "input file is not a regular file: /dev/zero"),
    ],
    ids=["float_3d", "bool", "1d", "origin", "footprint", "radius", "index", "file"],
)
def test_errors_become_python_exceptions(call, error, message):
    with pytest.raises(error) as caught:
        call()
    assert str(caught.value) == message
