"""The `veltrax-plan` command: plan one path on a map file and report it."""

from __future__ import annotations

import argparse
import importlib.util
import json
import math
import os
import sys
import time
from typing import Sequence

import _se2_planner as sp

from .maps import MapFileError, _shown, looks_like_occupancy_image, map_kind, read_map_metadata
from .planning import Inflation, config_fields, count_cusps, did_you_mean, explain, planning_map

EXIT_SUCCESS = 0
EXIT_NO_PLAN = 1
EXIT_USAGE = 2

_TRUE = {"1", "true", "yes", "on"}
_FALSE = {"0", "false", "no", "off"}


class UsageError(Exception):
    """Bad arguments or files: reported with exit code 2."""


def _build_parser() -> argparse.ArgumentParser:
    parser = argparse.ArgumentParser(
        prog="veltrax-plan",
        description="Plan a kinematically feasible path on a costmap with Hybrid A*.",
        epilog="Exit codes: 0 a path was found, 1 planning failed, 2 bad arguments or files.",
    )
    parser.add_argument("map", help="map file: YAML occupancy map (+ PGM/PNG image), MovingAI .map grid, "
                                    "PGM costmap (or occupancy image with --occupancy) or CSV costmap")
    parser.add_argument("--start", nargs=3, type=float, required=True, metavar=("X", "Y", "YAW"),
                        help="start pose in metres and radians (degrees with --degrees)")
    parser.add_argument("--goal", nargs=3, type=float, required=True, metavar=("X", "Y", "YAW"),
                        help="goal pose in metres and radians (degrees with --degrees)")
    parser.add_argument("--degrees", action="store_true", help="read the yaws of --start and --goal in degrees")
    parser.add_argument("--resolution", type=float,
                        help="cell size in metres (PGM, CSV and MovingAI maps; YAML maps carry their own)")
    parser.add_argument("--origin", nargs=2, type=float, default=None, metavar=("X", "Y"),
                        help="world position of the map's lower-left corner (PGM, CSV, MovingAI; default 0 0)")
    parser.add_argument("--occupancy", action="store_true",
                        help="read a bare PGM as an occupancy image (dark occupied, 205 unknown, light free; "
                             "thresholds 0.65/0.196) instead of as costs")
    shape = parser.add_mutually_exclusive_group()
    shape.add_argument("--radius", type=float, default=None,
                       help="circular footprint radius in metres (default 0.25)")
    shape.add_argument("--polygon", default=None, metavar="VERTICES",
                       help="polygon footprint vertices in the robot frame: '0.4,0.25;-0.3,0.25;-0.3,-0.25;0.4,-0.25' "
                            "or as robot configurations write it, '[[0.4, 0.25], [-0.3, 0.25], ...]'")
    inflation = parser.add_mutually_exclusive_group()
    inflation.add_argument("--inflate", type=float, default=None, metavar="RADIUS",
                           help="inflate lethal cells up to RADIUS metres before planning, cells within the footprint's "
                                "inscribed radius costing 253 (occupancy maps are inflated by default to the "
                                "footprint's circumscribed radius, without that band)")
    inflation.add_argument("--no-inflate", action="store_true",
                           help="plan on the map as it is, without inflating an occupancy map")
    parser.add_argument("--cost-scaling", type=float, default=None, metavar="K",
                        help="exponential decay of inflated costs per metre (default: 10 with --inflate; otherwise "
                             "costs fall from 252 next to a wall to about 10 at the inflation radius)")
    parser.add_argument("--no-reverse", action="store_true", help="forward driving only (Dubins curves)")
    parser.add_argument("--in-place-rotation", action="store_true",
                        help="the robot can turn on the spot (differential drive)")
    parser.add_argument("--library-defaults", action="store_true",
                        help="start from the library's PlannerConfig() defaults instead of the recommended "
                             "configuration for the map's resolution and the footprint")
    parser.add_argument("--set", action="append", default=[], metavar="FIELD=VALUE",
                        help="set any PlannerConfig field, e.g. --set max_planning_time_seconds=2 (repeatable)")
    parser.add_argument("--svg", help="write the plan drawing to this SVG file")
    parser.add_argument("--plot", metavar="FILE", help="draw the plan with matplotlib to FILE.png, .svg or .pdf")
    parser.add_argument("--json", help="write the result to this JSON file")
    parser.add_argument("--csv", help="write the path to this CSV file")
    parser.add_argument("--quiet", action="store_true", help="print nothing; use the exit code")
    return parser


def _warn(message: str) -> None:
    print(f"veltrax-plan: warning: {message}", file=sys.stderr)


def _load_costmap(args: argparse.Namespace, footprint) -> tuple[sp.Costmap, Inflation | None]:
    path = args.map
    try:
        kind = map_kind(path)
    except MapFileError as error:
        raise UsageError(str(error)) from None
    if kind == "yaml":
        if args.resolution is not None or args.origin is not None:
            raise UsageError("--resolution and --origin apply to PGM, CSV and MovingAI maps; a YAML map carries its own")
    elif args.resolution is None:
        raise UsageError("--resolution is required for PGM, CSV and MovingAI maps")
    if args.occupancy and kind != "pgm":
        raise UsageError("--occupancy applies to bare PGM images; a YAML map says how to read its image")
    inflate = False if args.no_inflate else args.inflate
    try:
        costmap, inflation = planning_map(
            path, footprint, resolution=args.resolution,
            origin=tuple(args.origin) if args.origin is not None else (0.0, 0.0),
            occupancy=args.occupancy, inflate=inflate, cost_scaling=args.cost_scaling)
    except MapFileError as error:
        raise UsageError(str(error)) from None
    except ValueError as error:
        raise UsageError(f"--inflate: {error}" if "inflation" in str(error) else f"{path}: {error}") from None
    if kind == "pgm" and not args.occupancy and looks_like_occupancy_image(costmap.cells_array):
        _warn(f"{path} looks like an occupancy image (almost all cells 0, 205 or 254/255) but is read as "
              "costs, where white is lethal; add --occupancy to read it as occupancy")
    return costmap, inflation


def _footprint(args: argparse.Namespace):
    footprint: sp.CircleFootprint | sp.PolygonFootprint
    if args.polygon is None:
        footprint = sp.CircleFootprint(0.25 if args.radius is None else args.radius)
    else:
        footprint = sp.PolygonFootprint([sp.Point2D(x, y) for x, y in _polygon_points(args.polygon)])
    problems = sp.validate_footprint(footprint)
    if problems:
        raise UsageError(f"footprint: {problems[0]}")
    return footprint


def _polygon_points(text: str) -> list[tuple[float, float]]:
    if text.strip().startswith("["):
        try:
            points = json.loads(text)
            return [(float(x), float(y)) for x, y in points]
        # Deep nesting exhausts the decoder's recursion, a huge integer the float range.
        except (ValueError, TypeError, OverflowError, RecursionError):
            raise UsageError(f"--polygon: cannot read {_shown(text)} (expected [[x, y], [x, y], ...])") from None
    points = []
    for vertex in filter(None, (part.strip() for part in text.split(";"))):
        try:
            x, y = (float(value) for value in vertex.split(","))
        except ValueError:
            raise UsageError(f"--polygon: cannot read vertex {_shown(vertex)} (expected X,Y)") from None
        points.append((x, y))
    return points


def _radius_setting(settings: list[str]) -> float | None:
    """The turning radius the settings ask for, so that the recommended penalties fit it; None
    when they ask for none, or for one the configuration's own check must refuse."""
    scratch = sp.PlannerConfig()
    asked = False
    for setting in settings:
        if setting.partition("=")[0].strip() == "minimum_turning_radius":
            _parse_setting(scratch, setting)
            asked = True
    radius = scratch.minimum_turning_radius
    return radius if asked and math.isfinite(radius) and radius > 0 else None


def _parse_setting(config: sp.PlannerConfig, setting: str) -> None:
    field, sep, text = setting.partition("=")
    field = field.strip()
    if not sep or not field:
        raise UsageError(f"--set {setting!r}: expected FIELD=VALUE")
    if field.startswith("_") or not hasattr(config, field) or callable(getattr(config, field)):
        raise UsageError(f"--set: PlannerConfig has no field '{field}'{did_you_mean(field, config_fields())}")
    current = getattr(config, field)
    text = text.strip()
    value: bool | int | float
    try:
        if isinstance(current, bool):
            if text.lower() in _TRUE:
                value = True
            elif text.lower() in _FALSE:
                value = False
            else:
                raise ValueError
        elif isinstance(current, int):
            value = int(text)
        else:
            value = float(text)
        setattr(config, field, value)
    except (ValueError, TypeError, OverflowError):
        kind = type(current).__name__
        raise UsageError(f"--set {field}: cannot use {text!r} (expected {kind})") from None


def _summary(costmap: sp.Costmap, result: sp.PlannerResult, map_path: str, inflation: Inflation | None,
             reason: str, wall_ms: float) -> str:
    d = result.diagnostics
    lines = [
        f"map:      {map_path} ({costmap.width} x {costmap.height} cells of {costmap.resolution:g} m), "
        + (inflation.describe() if inflation is not None else "not inflated"),
        f"status:   {sp.planner_status_name(result.status)}: {result.message}",
    ]
    if result.status == sp.PlannerStatus.SUCCESS or result.partial:
        cusps = count_cusps(result.directions)
        lines.append(
            f"path:     {'partial, ' if result.partial else ''}{d.path_length:.3f} m, {len(result.path)} poses, "
            f"{cusps} cusp{'' if cusps == 1 else 's'}, {d.reverse_count} reverse steps, "
            f"{d.in_place_rotation_count} rotation steps"
        )
    if result.status != sp.PlannerStatus.SUCCESS:
        lines.append(f"reason:   {reason}")
    lines.append(
        f"search:   {d.expanded_nodes} expanded, {d.generated_nodes} generated, "
        f"{d.collision_checks} collision checks"
        + (" (heuristic from cache)" if d.obstacle_heuristic_cache_hit else "")
    )
    if d.total_time_ms > 0:
        lines.append(
            f"time:     {d.total_time_ms:.2f} ms total: heuristic {d.obstacle_heuristic_time_ms:.2f}, "
            f"kinematics {d.kinematic_heuristic_time_ms:.2f}, search {d.search_time_ms:.2f} "
            f"(collision {d.collision_check_time_ms:.2f}, analytic {d.analytic_expansion_time_ms:.2f}), "
            f"post-processing {d.smoothing_time_ms:.2f}"
        )
    else:  # outcomes decided before the search carry no timings
        lines.append(f"time:     {wall_ms:.2f} ms wall time")
    return "\n".join(lines)


def _pose(values: Sequence[float], which: str, degrees: bool) -> sp.Pose2D:
    x, y, yaw = values
    if degrees:
        yaw = math.radians(yaw)
    elif abs(yaw) > 2 * math.pi:
        _warn(f"--{which} yaw {yaw:g} is larger than 2π in magnitude: radians expected; use --degrees")
    return sp.Pose2D(x, y, yaw)


_OUTPUTS = ("svg", "plot", "json", "csv")


def _file_identity(path: str) -> tuple:
    """What names one file: device and inode for an existing file (so hard and symbolic links
    match), the resolved absolute path for one yet to be written."""
    if "\0" in path:  # no file has such a name; the loader or the writer says so
        return ("name", path)
    try:
        status = os.stat(path)
        return ("inode", status.st_dev, status.st_ino)
    except OSError:
        return ("path", os.path.normcase(os.path.realpath(path)))


def _check_outputs(args: argparse.Namespace) -> None:
    """Refuses outputs that would overwrite an input or each other, before anything is planned."""
    taken = {_file_identity(args.map): "the input map; write the output elsewhere"}
    try:
        if map_kind(args.map) == "yaml":
            image = read_map_metadata(args.map).image
            taken[_file_identity(image)] = "the map's image; write the output elsewhere"
    except MapFileError as error:
        raise UsageError(str(error)) from None
    for option in _OUTPUTS:
        path = getattr(args, option)
        if not path:
            continue
        identity = _file_identity(path)
        if identity in taken:
            raise UsageError(f"--{option}: {path} is {taken[identity]}")
        taken[identity] = f"also the --{option} output; write each output to a file of its own"


def run(argv: Sequence[str] | None = None) -> int:
    parser = _build_parser()
    args = parser.parse_args(argv)
    try:
        if not all(math.isfinite(value) for value in (*args.start, *args.goal)):
            raise UsageError("--start and --goal must be finite numbers")
        if args.plot and not args.plot.lower().endswith((".png", ".svg", ".pdf")):
            raise UsageError("--plot: expected a file name ending in .png, .svg or .pdf")
        if args.plot and importlib.util.find_spec("matplotlib") is None:
            raise UsageError("--plot needs matplotlib: pip install matplotlib (or veltrax-se2[plot])")
        footprint = _footprint(args)
        _check_outputs(args)
        costmap, inflation = _load_costmap(args, footprint)
        if args.library_defaults:
            config = sp.PlannerConfig()
        else:
            config = sp.recommended_config(costmap.resolution, footprint, args.in_place_rotation,
                                           minimum_turning_radius=_radius_setting(args.set))
        config.allow_reverse = not args.no_reverse
        config.allow_in_place_rotation = args.in_place_rotation
        for setting in args.set:
            _parse_setting(config, setting)
        problems = config.validate()
        if problems:
            raise UsageError(f"configuration: {problems[0]}")
        request = sp.PlanRequest()
        request.start = _pose(args.start, "start", args.degrees)
        request.goal = _pose(args.goal, "goal", args.degrees)
        request.footprint = footprint
    # Whatever the arguments or the files make the package or the library refuse is the
    # caller's to fix: one line, never a traceback.
    except (UsageError, ValueError, TypeError, OverflowError, RecursionError) as error:
        print(f"veltrax-plan: error: {error}", file=sys.stderr)
        return EXIT_USAGE
    except MemoryError:
        print(f"veltrax-plan: error: {args.map}: not enough memory for this map", file=sys.stderr)
        return EXIT_USAGE

    began = time.perf_counter()
    result = sp.HybridAStar(costmap).plan(request, config)
    wall_ms = (time.perf_counter() - began) * 1e3
    if result.status == sp.PlannerStatus.INVALID_REQUEST:
        # Decided before any search, from the poses, footprint, map and configuration given.
        print(f"veltrax-plan: error: invalid request: {result.message}", file=sys.stderr)
        return EXIT_USAGE

    try:
        if args.svg:
            sp.save_plan_svg(costmap, request, result, args.svg)
        if args.json:
            sp.save_result_json(result, args.json)
        if args.csv:
            sp.save_path_csv(result, args.csv)
        if args.plot:
            from .plot import plot

            time_ms = result.diagnostics.total_time_ms or wall_ms
            ax = plot(costmap, request, result, filename=args.plot, time_ms=time_ms)
            import matplotlib.pyplot as plt

            plt.close(ax.figure)
    except (RuntimeError, ValueError, OSError, ImportError) as error:
        print(f"veltrax-plan: error: {error}", file=sys.stderr)
        return EXIT_USAGE

    if not args.quiet:
        reason = explain(result, request, config, costmap, command_line=True)
        print(_summary(costmap, result, args.map, inflation, reason, wall_ms))
        written = [getattr(args, option) for option in _OUTPUTS if getattr(args, option)]
        if written:
            print(f"written:  {', '.join(os.fspath(p) for p in written)}")
    return EXIT_SUCCESS if result.status == sp.PlannerStatus.SUCCESS else EXIT_NO_PLAN


def main(argv: Sequence[str] | None = None) -> int:
    return run(argv)
