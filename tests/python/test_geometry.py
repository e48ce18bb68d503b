import math

import pytest

import _se2_planner as sp


@pytest.mark.parametrize("yaw", [math.inf, -math.inf, math.nan])
def test_normalize_yaw_rejects_non_finite(yaw):
    with pytest.raises(ValueError, match=r"^yaw must be finite$"):
        sp.normalize_yaw(yaw)


def test_grid_index_is_unsigned():
    index = sp.GridIndex(3, 4)
    assert (index.x, index.y) == (3, 4)
    assert (sp.GridIndex().x, sp.GridIndex().y) == (0, 0)
    big = sp.GridIndex(2**64 - 1, 0)
    assert big.x == 2**64 - 1
    with pytest.raises(TypeError):
        sp.GridIndex(-1, 0)
    with pytest.raises(TypeError):
        sp.GridIndex(1.5, 0)
    with pytest.raises(TypeError):
        index.x = -1
