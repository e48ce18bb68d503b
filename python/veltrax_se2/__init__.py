"""Veltrax SE(2): Hybrid A* path planning for car-like robots.

The compiled core lives in the extension module `_se2_planner`; this package adds map loading in
the common robotics YAML format, batch planning and the `veltrax-plan` command.
"""

from importlib.metadata import PackageNotFoundError, version

from .batch import plan_many
from .maps import MapFileError, MapMetadata, load_map, occupancy_to_costs, read_map_metadata

try:
    __version__ = version("veltrax-se2")
except PackageNotFoundError:  # running from a source tree
    __version__ = "0+unknown"

__all__ = [
    "MapFileError",
    "MapMetadata",
    "load_map",
    "occupancy_to_costs",
    "plan_many",
    "read_map_metadata",
    "__version__",
]
