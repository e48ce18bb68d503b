import math

import numpy as np
import pytest

import _se2_planner as sp


def test_shape_maps_to_width_and_height(grid_3x5):
    costmap = sp.Costmap(grid_3x5, 0.5, -1.0, 2.0)
    assert (costmap.width, costmap.height) == (5, 3)
    assert (costmap.resolution, costmap.origin_x, costmap.origin_y) == (0.5, -1.0, 2.0)
    assert costmap.get_cost(4, 2) == grid_3x5[2][4] == 24
    assert costmap.get_cost(0, 1) == 10


@pytest.mark.parametrize("mx, my", [(5, 0), (0, 3)])
def test_get_cost_off_grid(grid_3x5, mx, my):
    costmap = sp.Costmap(grid_3x5, 1.0, 0.0, 0.0)
    with pytest.raises(IndexError, match=r"^costmap index is outside the grid$"):
        costmap.get_cost(mx, my)
    with pytest.raises(IndexError, match=r"^costmap index is outside the grid$"):
        costmap.map_to_world(mx, my)


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


@pytest.mark.parametrize(
    "point, expected",
    [
        ((-0.5, 2.5), (1, 1)),
        ((math.nextafter(-1.0, -2.0), 2.0), None),
    ],
)
def test_world_to_map(grid_3x5, point, expected):
    costmap = sp.Costmap(grid_3x5, 0.5, -1.0, 2.0)
    assert costmap.world_to_map(*point) == expected


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


def test_costmap_is_immutable(grid_3x5):
    costmap = sp.Costmap(grid_3x5, 1.0, 0.0, 0.0)
    for attribute in ("width", "height", "resolution", "origin_x", "origin_y", "cells_array"):
        with pytest.raises(AttributeError):
            setattr(costmap, attribute, 1)
