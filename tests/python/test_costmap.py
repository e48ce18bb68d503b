import math

import numpy as np
import pytest

import _se2_planner as sp


@pytest.mark.parametrize(
    "make",
    [
        lambda a: np.ascontiguousarray(a.T).T,  # Fortran order
        lambda a: np.asfortranarray(a),
        lambda a: np.pad(a, ((0, 0), (0, 5)))[:, :5],  # strided rows
        lambda a: np.repeat(a, 2, axis=1)[:, ::2],  # strided columns
    ],
)
def test_non_contiguous_layouts_build_the_same_costmap(grid_3x5, make):
    view = make(grid_3x5)
    assert np.array_equal(view, grid_3x5)
    costmap = sp.Costmap(view, 1.0, 0.0, 0.0)
    assert np.array_equal(costmap.cells_array, grid_3x5)


GEOMETRY = "costmap resolution/origin must be finite and resolution positive"


@pytest.mark.parametrize(
    "cells, resolution, origin_x, error, message",
    [
        # The dtype is judged before the shape.
        (np.zeros((2, 2, 2), np.float64), 1.0, 0.0, TypeError, "costmap cells dtype must be uint8"),
        (np.zeros((2, 2), np.bool_), 1.0, 0.0, TypeError, "costmap cells dtype must be uint8"),
        (np.zeros((4,), np.uint8), 1.0, 0.0, ValueError, "costmap cells must be a 2D array"),
        (np.zeros((0, 4), np.uint8), 1.0, 0.0, ValueError, "costmap width and height must be positive"),
        (np.zeros((2, 2), np.uint8), 0.0, 0.0, ValueError, GEOMETRY),
        (np.zeros((2, 2), np.uint8), 1.0, math.inf, ValueError, GEOMETRY),
    ],
)
def test_bad_arrays_and_geometry_raise_python_errors(cells, resolution, origin_x, error, message):
    with pytest.raises(error) as caught:
        sp.Costmap(cells, resolution, origin_x, 0.0)
    assert str(caught.value) == message


def test_costmap_owns_its_cells(grid_3x5):
    costmap = sp.Costmap(grid_3x5, 1.0, 0.0, 0.0)
    grid_3x5[0, 0] = 200
    assert costmap.get_cost(0, 0) == 0
    cells = costmap.cells_array
    assert cells.dtype == np.uint8 and cells.shape == (3, 5) and cells.flags.c_contiguous
    assert cells.flags.writeable and cells.flags.owndata
    cells[:] = 77
    assert costmap.get_cost(1, 1) == 11
    assert costmap.cells_array is not costmap.cells_array


