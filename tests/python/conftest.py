import numpy as np
import pytest


@pytest.fixture
def grid_3x5():
    """A (3, 5) array whose element [r][c] is 10 * r + c."""
    return (np.arange(3)[:, None] * 10 + np.arange(5)[None, :]).astype(np.uint8)
