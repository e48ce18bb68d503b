"""The `veltrax-plan` command: plan one path on a map file and report it."""

from __future__ import annotations

import argparse
import math
import os
import sys
from typing import Sequence

import _se2_planner as sp

from .maps import MapFileError, load_map

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
    parser.add_argument("map", help="map file: YAML occupancy map (+ PGM/PNG image), PGM costmap or CSV costmap")
    parser.add_argument("--start", nargs=3, type=float, required=True, metavar=("X", "Y", "YAW"),
                        help="start pose in metres and radians")
    parser.add_argument("--goal", nargs=3, type=float, required=True, metavar=("X", "Y", "YAW"),
                        help="goal pose in metres and radians")
    parser.add_argument("--resolution", type=float,
                        help="cell size in metres (PGM and CSV costmaps; YAML maps carry their own)")
    parser.add_argument("--origin", nargs=2, type=float, default=None, metavar=("X", "Y"),
                        help="world position of the map's lower-left corner (PGM and CSV; default 0 0)")
    shape = parser.add_mutually_exclusive_group()
    shape.add_argument("--radius", type=float, default=None,
                       help="circular footprint radius in metres (default 0.25)")
    shape.add_argument("--polygon", default=None, metavar="X,Y;X,Y;...",
                       help="polygon footprint vertices in the robot frame, e.g. '0.4,0.25;-0.3,0.25;-0.3,-0.25;0.4,-0.25'")
    parser.add_argument("--inflate", type=float, default=None, metavar="RADIUS",
                        help="inflate lethal cells up to RADIUS metres before planning")
    parser.add_argument("--cost-scaling", type=float, default=10.0, metavar="K",
                        help="exponential decay of inflated costs per metre (default %(default)s)")
    parser.add_argument("--no-reverse", action="store_true", help="forward driving only (Dubins curves)")
    parser.add_argument("--in-place-rotation", action="store_true",
                        help="the robot can turn on the spot (differential drive)")
    parser.add_argument("--library-defaults", action="store_true",
                        help="start from the library's PlannerConfig() defaults instead of the recommended "
                             "configuration for the map's resolution and the footprint")
    parser.add_argument("--set", action="append", default=[], metavar="FIELD=VALUE",
                        help="set any PlannerConfig field, e.g. --set max_planning_time_seconds=2 (repeatable)")
    parser.add_argument("--svg", help="write the plan drawing to this SVG file")
    parser.add_argument("--json", help="write the result to this JSON file")
    parser.add_argument("--csv", help="write the path to this CSV file")
    parser.add_argument("--quiet", action="store_true", help="print nothing; use the exit code")
    return parser


def _load_costmap(args: argparse.Namespace) -> sp.Costmap:
    path = args.map
    lower = path.lower()
    if lower.endswith((".yaml", ".yml")):
        if args.resolution is not None or args.origin is not None:
            raise UsageError("--resolution and --origin apply to PGM and CSV maps; a YAML map carries its own")
        try:
            return load_map(path)
        except MapFileError as error:
            raise UsageError(str(error)) from None
    if not lower.endswith((".pgm", ".csv")):
        raise UsageError(f"{path}: unknown map format (expected .yaml, .yml, .pgm or .csv)")
    if args.resolution is None:
        raise UsageError("--resolution is required for PGM and CSV maps")
    origin_x, origin_y = args.origin if args.origin is not None else (0.0, 0.0)
    loader = sp.load_costmap_pgm if lower.endswith(".pgm") else sp.load_costmap_csv
    try:
        return loader(path, args.resolution, origin_x, origin_y)
    except (RuntimeError, ValueError, IndexError) as error:
        raise UsageError(f"{path}: {error}") from None


def _footprint(args: argparse.Namespace):
    if args.polygon is None:
        footprint = sp.CircleFootprint(0.25 if args.radius is None else args.radius)
    else:
        points = []
        for vertex in filter(None, (part.strip() for part in args.polygon.split(";"))):
            try:
                x, y = (float(value) for value in vertex.split(","))
            except ValueError:
                raise UsageError(f"--polygon: cannot read vertex '{vertex}' (expected X,Y)") from None
            points.append(sp.Point2D(x, y))
        footprint = sp.PolygonFootprint(points)
    problems = sp.validate_footprint(footprint)
    if problems:
        raise UsageError(f"footprint: {problems[0]}")
    return footprint


def _parse_setting(config: sp.PlannerConfig, setting: str) -> None:
    field, sep, text = setting.partition("=")
    field = field.strip()
    if not sep or not field:
        raise UsageError(f"--set {setting!r}: expected FIELD=VALUE")
    if field.startswith("_") or not hasattr(config, field) or callable(getattr(config, field)):
        raise UsageError(f"--set: PlannerConfig has no field '{field}'")
    current = getattr(config, field)
    text = text.strip()
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


def _count_cusps(directions: Sequence[int]) -> int:
    """Changes between forward and reverse driving along the labelled path."""
    cusps = 0
    previous = 0
    for label in directions:
        if label == 0:
            continue
        if previous and label != previous:
            cusps += 1
        previous = label
    return cusps


def _summary(costmap: sp.Costmap, result: sp.PlannerResult, map_path: str) -> str:
    d = result.diagnostics
    lines = [
        f"map:      {map_path} ({costmap.width} x {costmap.height} cells of {costmap.resolution:g} m)",
        f"status:   {sp.planner_status_name(result.status)}: {result.message}",
    ]
    if result.status == sp.PlannerStatus.SUCCESS:
        cusps = _count_cusps(result.directions)
        lines.append(
            f"path:     {d.path_length:.3f} m, {len(result.path)} poses, "
            f"{cusps} cusp{'' if cusps == 1 else 's'}, {d.reverse_count} reverse steps, "
            f"{d.in_place_rotation_count} in-place rotations"
        )
    lines.append(
        f"search:   {d.expanded_nodes} expanded, {d.generated_nodes} generated, "
        f"{d.collision_checks} collision checks"
        + (" (heuristic from cache)" if d.obstacle_heuristic_cache_hit else "")
    )
    lines.append(
        f"time:     {d.total_time_ms:.2f} ms total: heuristic {d.obstacle_heuristic_time_ms:.2f}, "
        f"kinematics {d.kinematic_heuristic_time_ms:.2f}, search {d.search_time_ms:.2f} "
        f"(collision {d.collision_check_time_ms:.2f}, analytic {d.analytic_expansion_time_ms:.2f}), "
        f"post-processing {d.smoothing_time_ms:.2f}"
    )
    return "\n".join(lines)


def run(argv: Sequence[str] | None = None) -> int:
    parser = _build_parser()
    args = parser.parse_args(argv)
    try:
        if not all(math.isfinite(value) for value in (*args.start, *args.goal)):
            raise UsageError("--start and --goal must be finite numbers")
        costmap = _load_costmap(args)
        footprint = _footprint(args)
        if args.library_defaults:
            config = sp.PlannerConfig()
        else:
            config = sp.recommended_config(costmap.resolution, footprint, args.in_place_rotation)
        config.allow_reverse = not args.no_reverse
        config.allow_in_place_rotation = args.in_place_rotation
        for setting in args.set:
            _parse_setting(config, setting)
        problems = config.validate()
        if problems:
            raise UsageError(f"configuration: {problems[0]}")
        if args.inflate is not None:
            try:
                costmap = sp.inflate_costmap(costmap, args.inflate, min(sp.inscribed_radius(footprint), args.inflate),
                                             args.cost_scaling)
            except ValueError as error:
                raise UsageError(f"--inflate: {error}") from None
    except UsageError as error:
        print(f"veltrax-plan: error: {error}", file=sys.stderr)
        return EXIT_USAGE

    request = sp.PlanRequest()
    request.start = sp.Pose2D(*args.start)
    request.goal = sp.Pose2D(*args.goal)
    request.footprint = footprint
    result = sp.HybridAStar(costmap).plan(request, config)

    try:
        if args.svg:
            sp.save_plan_svg(costmap, request, result, args.svg)
        if args.json:
            sp.save_result_json(result, args.json)
        if args.csv:
            sp.save_path_csv(result, args.csv)
    except (RuntimeError, ValueError) as error:
        print(f"veltrax-plan: error: {error}", file=sys.stderr)
        return EXIT_USAGE

    if not args.quiet:
        print(_summary(costmap, result, args.map))
        written = [path for path in (args.svg, args.json, args.csv) if path]
        if written:
            print(f"written:  {', '.join(os.fspath(p) for p in written)}")
    return EXIT_SUCCESS if result.status == sp.PlannerStatus.SUCCESS else EXIT_NO_PLAN


def main(argv: Sequence[str] | None = None) -> int:
    return run(argv)
