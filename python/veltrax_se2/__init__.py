"""Veltrax SE(2): Hybrid A* path planning for car-like robots.

The compiled core lives in the extension module `_se2_planner`; this package adds map loading
(YAML occupancy maps, occupancy grids, MovingAI grids), a one-call `plan`, path segments,
explanations of failures, plotting, batch planning and the `veltrax-plan` command.
"""

from importlib.metadata import PackageNotFoundError, version

# What a user needs besides this package's helpers, from one import: the records, footprints,
# statuses, the recommended configuration and the file error types of the compiled core.
from _se2_planner import (
    CancellationToken,
    CircleFootprint,
    Costmap,
    FileError,
    HybridAStar,
    MapFormatError,
    MultiPolygonFootprint,
    PlannerConfig,
    PlannerDiagnostics,
    PlannerResult,
    PlannerStatus,
    PlanRequest,
    Point2D,
    PolygonFootprint,
    Pose2D,
    planner_status_name,
    recommended_config,
)

from .batch import plan_many
from .maps import (
    MapFileError,
    MapMetadata,
    costmap_from_occupancy,
    load_map,
    load_movingai,
    occupancy_to_costs,
    read_map_metadata,
)
from .planning import (
    Inflation,
    Segment,
    default_inflation,
    explain,
    make_footprint,
    make_request,
    plan,
    planning_map,
    segments,
)
from .plot import plot

try:
    __version__ = version("veltrax-se2")
except PackageNotFoundError:  # running from a source tree
    __version__ = "0+unknown"

__all__ = [
    "CancellationToken",
    "CircleFootprint",
    "Costmap",
    "FileError",
    "HybridAStar",
    "MapFormatError",
    "MultiPolygonFootprint",
    "PlannerConfig",
    "PlannerDiagnostics",
    "PlannerResult",
    "PlannerStatus",
    "PlanRequest",
    "Point2D",
    "PolygonFootprint",
    "Pose2D",
    "planner_status_name",
    "recommended_config",
    "Inflation",
    "MapFileError",
    "MapMetadata",
    "Segment",
    "costmap_from_occupancy",
    "default_inflation",
    "explain",
    "load_map",
    "load_movingai",
    "make_footprint",
    "make_request",
    "occupancy_to_costs",
    "plan",
    "plan_many",
    "planning_map",
    "plot",
    "read_map_metadata",
    "segments",
    "__version__",
]
