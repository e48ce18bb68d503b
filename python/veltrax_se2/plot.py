"""A plan drawn with matplotlib (an optional dependency: pip install veltrax-se2[plot])."""

from __future__ import annotations

import math
import os
import sys
from typing import Any, Literal

import numpy as np

import _se2_planner as sp

from .planning import circumscribed_radius, count_cusps

# Colours as RGB in 0..1. Unknown space is tinted so that it never reads as an inflated cost,
# which is drawn in greys from white (free) to black (lethal).
UNKNOWN_COLOR = (0.72, 0.78, 0.95)
DIRECTION_COLORS = {1: "#1f63c6", -1: "#f07d00", 0: "#9b30c8"}
DIRECTION_NAMES = {1: "forward", -1: "reverse", 0: "turning on the spot"}
START_COLOR = "#1a9e3a"
GOAL_COLOR = "#d0202c"


def _pyplot():
    try:
        import matplotlib

        if "matplotlib.pyplot" not in sys.modules and not os.environ.get("DISPLAY"):
            matplotlib.use("Agg")  # no display: draw to files only
        import matplotlib.pyplot as plt
    except ImportError:
        raise ImportError(
            "veltrax_se2.plot needs matplotlib: pip install matplotlib (or veltrax-se2[plot])"
        ) from None
    return plt


def map_image(costmap: sp.Costmap) -> np.ndarray:
    """The costmap as an RGB image (row 0 at the origin): costs 0..254 as greys from white to
    black, unknown (255) in UNKNOWN_COLOR."""
    cells = costmap.cells_array
    grey = 1.0 - np.minimum(cells, 254).astype(np.float64) / 254.0
    image = np.repeat(grey[:, :, None], 3, axis=2)
    image[cells == 255] = UNKNOWN_COLOR
    return image


def _outline(pose: sp.Pose2D, footprint: Any) -> list[np.ndarray]:
    """The footprint's outline(s) at `pose` as closed (N, 2) arrays of world points."""
    c, s = math.cos(pose.yaw), math.sin(pose.yaw)
    if isinstance(footprint, sp.CircleFootprint):
        angles = np.linspace(0.0, 2.0 * math.pi, 33)
        return [np.column_stack([pose.x + footprint.radius * np.cos(angles),
                                 pose.y + footprint.radius * np.sin(angles)])]
    polygons = footprint.polygons if isinstance(footprint, sp.MultiPolygonFootprint) else [footprint]
    outlines = []
    for polygon in polygons:
        points = np.array([(p.x, p.y) for p in polygon.points] + [(polygon.points[0].x, polygon.points[0].y)])
        outlines.append(np.column_stack([pose.x + c * points[:, 0] - s * points[:, 1],
                                         pose.y + s * points[:, 0] + c * points[:, 1]]))
    return outlines


def _outline_indices(path: np.ndarray, labels: np.ndarray, spacing: float = 1.0) -> list[int]:
    """Poses to outline: the first, every cusp or change of direction, about every `spacing` metres,
    and the last."""
    chosen = {0, len(path) - 1}
    travelled = 0.0
    for i in range(1, len(path)):
        travelled += math.hypot(path[i, 0] - path[i - 1, 0], path[i, 1] - path[i - 1, 1])
        if labels[i] != labels[i - 1] and i < len(path) - 1:
            chosen.add(i)
        if travelled >= spacing:
            chosen.add(i)
            travelled = 0.0
    return sorted(chosen)


def plot(costmap: sp.Costmap, request: sp.PlanRequest, result: sp.PlannerResult, *, ax: Any = None,
         filename: str | os.PathLike[str] | None = None, title: str | None = None,
         time_ms: float | None = None, dpi: int = 120) -> Any:
    """Draws the map, the path coloured by direction (with a legend), the start and goal as arrows,
    footprint outlines at cusps and about every metre, a scale bar in metres, and the status,
    length, cusps and time in the title; a failed plan shows start, goal and status. Returns the
    matplotlib Axes; with `filename` (.png, .svg, .pdf) the figure is also saved there.

    `time_ms` replaces the result's total time in the title (e.g. a wall time measured by the
    caller). Matplotlib is imported only here; without it ImportError says how to install it.
    """
    plt = _pyplot()
    from matplotlib.lines import Line2D

    created = ax is None
    if created:
        aspect = costmap.height / max(costmap.width, 1)
        figure, ax = plt.subplots(figsize=(9.5, max(2.5, min(8.0, 7.5 * aspect + 1.0))), dpi=dpi)
    else:
        figure = ax.figure
    x0, y0, res = costmap.origin_x, costmap.origin_y, costmap.resolution
    x1, y1 = x0 + costmap.width * res, y0 + costmap.height * res
    ax.imshow(map_image(costmap), origin="lower", extent=(x0, x1, y0, y1), interpolation="nearest")

    path = result.path_array
    labels = result.directions_array
    handles = []
    if len(path) > 1:
        for label in (1, -1, 0):
            if not (labels == label).any():
                continue
            # Steps leaving poses with this label, drawn as separate pieces of line.
            xs, ys = [], []
            for i in np.flatnonzero(labels[:-1] == label):
                xs += [path[i, 0], path[i + 1, 0], np.nan]
                ys += [path[i, 1], path[i + 1, 1], np.nan]
            # A partial path, which ends short of the goal, is dashed.
            style: Literal["--", "-"] = "--" if result.partial else "-"
            ax.plot(xs, ys, color=DIRECTION_COLORS[label], linewidth=2.0, solid_capstyle="round",
                    linestyle=style)
            handles.append(Line2D([], [], color=DIRECTION_COLORS[label], linewidth=2.0, linestyle=style,
                                  label=DIRECTION_NAMES[label] + (" (partial)" if result.partial else "")))
        for k in _outline_indices(path, labels):
            pose = sp.Pose2D(*path[k])
            for outline in _outline(pose, request.footprint):
                ax.plot(outline[:, 0], outline[:, 1], color=DIRECTION_COLORS[int(labels[k])],
                        linewidth=0.8, alpha=0.8)

    span = max(x1 - x0, y1 - y0)
    length = max(0.05 * span, 1.5 * circumscribed_radius(request.footprint))
    for pose, color, name in ((request.start, START_COLOR, "start"), (request.goal, GOAL_COLOR, "goal")):
        ax.annotate("", xy=(pose.x + length * math.cos(pose.yaw), pose.y + length * math.sin(pose.yaw)),
                    xytext=(pose.x, pose.y),
                    arrowprops=dict(arrowstyle="-|>", color=color, linewidth=2.5, mutation_scale=18))
        ax.plot([pose.x], [pose.y], "o", color=color, markersize=5)
        for outline in _outline(pose, request.footprint):  # where a collision would show
            ax.plot(outline[:, 0], outline[:, 1], color=color, linewidth=1.0, linestyle="--")
        handles.append(Line2D([], [], color=color, marker=r"$\rightarrow$", markersize=12,
                              linestyle="none", label=name))

    # The scale bar sits above the map's top right corner, where it hides nothing.
    bar = _scale_bar_length(x1 - x0)
    above = ax.get_xaxis_transform()  # x in metres, y in axes fractions
    ax.plot([x1 - bar, x1], [1.015, 1.015], color="black", linewidth=3, transform=above, clip_on=False)
    ax.text(x1 - bar / 2, 1.03, f"{bar:g} m", ha="center", va="bottom", fontsize=9, transform=above)
    if (costmap.cells_array == 255).any():
        handles.append(Line2D([], [], color=UNKNOWN_COLOR, marker="s", markersize=10, linestyle="none",
                              label="unknown"))
    ax.legend(handles=handles, loc="upper left", bbox_to_anchor=(1.01, 1.0), fontsize=8)  # off the map
    ax.set_xlim(x0, x1)
    ax.set_ylim(y0, y1)
    ax.set_xlabel("x (m)")
    ax.set_ylabel("y (m)")
    ax.set_title(title if title is not None else plot_title(result, time_ms), fontsize=10, loc="left")
    if filename is not None:
        if created:
            figure.tight_layout()
        figure.savefig(os.fspath(filename), dpi=figure.dpi)
    return ax


def plot_title(result: sp.PlannerResult, time_ms: float | None = None) -> str:
    """Status, length, cusps and time, as the plot's title shows them."""
    d = result.diagnostics
    ms = d.total_time_ms if time_ms is None else time_ms
    name = sp.planner_status_name(result.status)
    if result.status != sp.PlannerStatus.SUCCESS:
        partial = f", partial path {d.path_length:.2f} m" if result.partial else ""
        return f"{name}: {result.message}{partial} ({ms:.1f} ms)"
    cusps = count_cusps(result.directions)
    return f"{name}: {d.path_length:.2f} m, {cusps} cusp{'' if cusps == 1 else 's'}, {ms:.1f} ms"


def _scale_bar_length(width: float) -> float:
    """A round length (1, 2 or 5 times a power of ten) near a fifth of the map's width."""
    target = width / 5.0
    power = 10.0 ** math.floor(math.log10(target))
    for step in (5.0, 2.0, 1.0):
        if step * power <= target:
            return step * power
    return power
