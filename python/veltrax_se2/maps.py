"""Maps as robots hold them: YAML occupancy maps (a YAML file beside a PGM or PNG image), occupancy
grids (int8 percentages), MovingAI grids and raw cost images."""

from __future__ import annotations

import decimal
import math
import numbers
import os
import warnings
from dataclasses import dataclass
from typing import Any

import numpy as np

import _se2_planner as sp

FREE_COST = sp.FREE_COST
LETHAL_COST = sp.LETHAL_COST
UNKNOWN_COST = sp.UNKNOWN_COST
MAX_GRADED_COST = sp.MAX_GRADED_COST
MODES = ("trinary", "scale", "raw")
# Images with more pixels are refused before they are decoded: decoding takes several bytes per
# pixel (about 12 at the peak), and a small compressed file can claim a huge picture.
MAX_IMAGE_PIXELS = 40_000_000


class MapFileError(ValueError):
    """A map file or its description cannot be used; the message says which and why."""


@dataclass(frozen=True)
class MapMetadata:
    """The fields of a map YAML file, checked."""

    image: str
    resolution: float
    origin_x: float
    origin_y: float
    negate: bool = False
    occupied_thresh: float = 0.65
    free_thresh: float = 0.196
    mode: str = "trinary"


def _real_number(value: Any, name: str) -> float:
    """`value` as a float if it is a real number of any kind (int, float, numpy scalar, Fraction,
    Decimal; not a bool); ValueError naming `name` otherwise. Too large a number becomes inf."""
    if isinstance(value, (bool, np.bool_)) or not isinstance(value, (numbers.Real, decimal.Decimal)):
        raise ValueError(f"{name} must be a real number, got {_shown(value)} ({type(value).__name__})")
    try:
        return float(value)
    except OverflowError:  # an integer or fraction beyond the largest float
        return math.inf


def _shown(value: Any) -> str:
    """A value quoted in a message, cut short."""
    text = repr(value)
    return text if len(text) <= 60 else text[:57] + "..."


def _checked_path(path: str | os.PathLike[str]) -> str:
    name = os.fsdecode(path)
    if "\0" in name:
        raise MapFileError(f"map file name {_shown(name)} contains a NUL character")
    return name


def _library_info(meta: MapMetadata) -> sp.OccupancyMapInfo:
    info = sp.OccupancyMapInfo()
    info.image, info.resolution = meta.image, meta.resolution
    info.origin_x, info.origin_y = meta.origin_x, meta.origin_y
    info.negate, info.occupied_thresh, info.free_thresh = meta.negate, meta.occupied_thresh, meta.free_thresh
    info.mode = getattr(sp.OccupancyMode, meta.mode.upper())
    return info


def read_map_metadata(yaml_path: str | os.PathLike[str]) -> MapMetadata:
    """Reads and checks a map YAML file (the library's reader); the image path is made relative to
    the YAML's folder."""
    name = _checked_path(yaml_path)
    try:
        info = sp.read_occupancy_map_info(name)
    except (RuntimeError, ValueError) as error:
        raise MapFileError(str(error)) from None
    return MapMetadata(
        image=info.image,
        resolution=info.resolution,
        origin_x=info.origin_x,
        origin_y=info.origin_y,
        negate=info.negate,
        occupied_thresh=info.occupied_thresh,
        free_thresh=info.free_thresh,
        mode=info.mode.name.lower(),
    )


def _read_grey_levels(meta: MapMetadata) -> tuple[np.ndarray, np.ndarray | None]:
    """The image as 8-bit grey levels, row 0 at the bottom of the map (smallest y), and the mask
    of fully transparent pixels (None for images without alpha)."""
    if meta.image.lower().endswith((".pgm", ".pnm")):
        try:
            raw = sp.load_costmap_pgm(meta.image, meta.resolution, meta.origin_x, meta.origin_y)
        except (RuntimeError, ValueError, IndexError) as error:
            raise MapFileError(f"{meta.image}: {error}") from None
        # The loader already puts the image's top row at the largest y.
        return raw.cells_array, None
    try:
        from PIL import Image
    except ImportError:
        raise MapFileError(
            f"{meta.image}: reading this image format needs Pillow (pip install pillow); "
            "PGM images load without it"
        ) from None
    if not os.path.isfile(meta.image) and os.path.exists(meta.image):
        raise MapFileError(f"{meta.image}: not a regular file")
    try:
        with warnings.catch_warnings():
            # Pillow warns of large images on opening; the limit below is the one that counts.
            warnings.simplefilter("ignore", Image.DecompressionBombWarning)
            picture = Image.open(meta.image)
        with picture:
            width, height = picture.size
            if width * height > MAX_IMAGE_PIXELS:
                raise MapFileError(
                    f"{meta.image}: image of {width} x {height} pixels exceeds the limit of "
                    f"{MAX_IMAGE_PIXELS:,} pixels"
                )
            if picture.mode.startswith(("I", "F")):
                # 16-bit and wider levels would be clipped to 8 bits, an obstacle read as free.
                raise MapFileError(
                    f"{meta.image}: images with more than 8 bits per channel are not supported "
                    f"(mode {picture.mode})"
                )
            picture.load()
            pixels: Image.Image = picture
            alpha = None
            if picture.mode in ("LA", "RGBA", "PA") or "transparency" in picture.info:
                # A tRNS chunk (grey, palette or colour images) makes pixels as transparent as
                # an alpha channel does: both are read through RGBA.
                if picture.mode not in ("LA", "RGBA"):
                    pixels = picture.convert("RGBA")
                alpha = np.asarray(pixels.getchannel("A"))
            if pixels.mode == "L":
                grey = np.asarray(pixels)
            else:
                rgb = np.asarray(pixels.convert("RGB"))
                grey = (rgb.sum(axis=2, dtype=np.uint16) // 3).astype(np.uint8)
                del rgb
    except MapFileError:
        raise
    except Image.DecompressionBombError:
        raise MapFileError(f"{meta.image}: image exceeds the limit of {MAX_IMAGE_PIXELS:,} pixels") from None
    except Exception as error:  # decoders raise OSError, ValueError, SyntaxError, struct.error, ...
        raise MapFileError(f"{meta.image}: cannot read image ({error})") from None
    transparent = None if alpha is None else np.ascontiguousarray(np.flipud(alpha) == 0)
    return np.ascontiguousarray(np.flipud(grey)), transparent


def _checked_thresholds(occupied_thresh: Any, free_thresh: Any) -> tuple[float, float]:
    occupied = _real_number(occupied_thresh, "occupied_thresh")
    free = _real_number(free_thresh, "free_thresh")
    if not 0.0 <= free <= occupied <= 1.0:
        raise ValueError("thresholds must satisfy 0 <= free_thresh <= occupied_thresh <= 1")
    return occupied, free


def costmap_from_occupancy(
    grid: Any,
    resolution: float,
    origin: tuple[float, float] = (0.0, 0.0),
    *,
    occupied_thresh: float = 0.65,
    free_thresh: float = 0.196,
    scaled: bool = False,
) -> sp.Costmap:
    """A costmap from an occupancy grid as robots publish it (ROS `nav_msgs/OccupancyGrid`).

    `grid` is a 2-D integer array (or nested lists) of occupancy percentages 0..100 and -1 for
    unknown, row 0 at the origin (smallest y), as the message's data reshaped to (height, width).
    A cell of occupancy o = value / 100 becomes 254 (lethal) above `occupied_thresh`, 0 (free)
    below `free_thresh` and 255 (unknown) in between, or with `scaled` a cost graded from 0 to 252
    as YAML maps in `scale` mode; -1 becomes 255. Any other value raises ValueError naming it.
    `resolution` is the cell size in metres, `origin` the world position of cell (0, 0)'s corner.
    """
    values = np.asarray(grid)
    if values.ndim != 2 or values.size == 0:
        raise ValueError(f"occupancy grid must be a non-empty 2-D array, got shape {values.shape}")
    if values.dtype == np.bool_ or not np.issubdtype(values.dtype, np.integer):
        raise ValueError(f"occupancy grid must hold integers, got {values.dtype}")
    occupied_thresh, free_thresh = _checked_thresholds(occupied_thresh, free_thresh)
    bad = (values < -1) | (values > 100)
    if bad.any():
        row, col = (int(i) for i in np.argwhere(bad)[0])
        raise ValueError(
            f"occupancy value {int(values[row, col])} at row {row}, column {col} is not -1 or 0..100"
        )
    costs = sp.occupancy_percent_to_costs(values.astype(np.int8), occupied_thresh, free_thresh, scaled)
    origin_x, origin_y = origin
    return sp.Costmap(costs, resolution, origin_x, origin_y)


def occupancy_to_costs(grey: np.ndarray, meta: MapMetadata) -> np.ndarray:
    """Converts an image's grey levels to costs with the map's mode, negate flag and thresholds.

    trinary: occupancy = (255 - grey) / 255 (grey / 255 with negate); above occupied_thresh 254,
    below free_thresh 0, in between 255 (unknown). scale: in between graded 0..252. raw: the grey
    level is the occupancy percentage itself (0..100, 255 unknown; negate does not apply), read
    with the same thresholds; other levels raise ValueError naming the level.
    """
    try:
        return sp.occupancy_image_to_costs(np.ascontiguousarray(grey, dtype=np.uint8), _library_info(meta))
    except RuntimeError as error:
        raise ValueError(str(error)) from None


def load_movingai(path: str | os.PathLike[str], resolution: float,
                  origin: tuple[float, float] = (0.0, 0.0)) -> sp.Costmap:
    """Loads a MovingAI `.map` grid ("type octile", "height H", "width W", "map", then H rows of W
    characters, the first row at the largest y) with the library's reader: '.', 'G' and 'S' free
    (0), '@', 'O', 'T' (trees) and 'W' (water) lethal (254). One character is one cell of
    `resolution` metres."""
    try:
        return sp.load_movingai_map(_checked_path(path), resolution, origin[0], origin[1])
    except (RuntimeError, ValueError) as error:
        raise MapFileError(str(error)) from None


def _load_yaml_image(yaml_path: str | os.PathLike[str], meta: MapMetadata) -> sp.Costmap:
    """A YAML map whose image is no PGM, decoded with Pillow. The library reads PNG images too,
    with the same costs; this path keeps Pillow's other formats and its messages."""
    grey, transparent = _read_grey_levels(meta)
    try:
        costs = occupancy_to_costs(grey, meta)
    except ValueError as error:
        raise MapFileError(f"{meta.image}: {error}") from None
    if transparent is not None:
        # Fully transparent pixels carry no knowledge of the world.
        costs[transparent] = UNKNOWN_COST
    try:
        return sp.Costmap(costs, meta.resolution, meta.origin_x, meta.origin_y)
    except ValueError as error:  # a geometry the costmap refuses, e.g. corners too far out
        raise MapFileError(f"{os.fsdecode(yaml_path)}: {error}") from None


# Grey levels of an occupancy image as map savers write them: occupied, unknown, free.
_OCCUPANCY_LEVELS = (0, 205, 254, 255)


def looks_like_occupancy_image(cells: np.ndarray) -> bool:
    """True when a cost grid read from an image is almost surely an occupancy picture instead:
    99 % of its cells are 0, 205, 254 or 255 and the white ones (254/255) outnumber the black,
    where a cost map is mostly free (0)."""
    counts = np.bincount(np.asarray(cells, dtype=np.uint8).ravel(), minlength=256)
    typical = int(counts[list(_OCCUPANCY_LEVELS)].sum())
    return typical >= 0.99 * cells.size and int(counts[254] + counts[255]) > int(counts[0])


def load_map(
    path: str | os.PathLike[str],
    resolution: float | None = None,
    origin: tuple[float, float] = (0.0, 0.0),
    *,
    occupancy: bool = False,
) -> sp.Costmap:
    """Loads a map file as a costmap; the kind follows the file name's extension or, for other
    names, the file's first bytes (a PGM's magic, a MovingAI header).

    - `.yaml`/`.yml`: an occupancy map (image, resolution, origin, negate, thresholds, mode)
      beside a PGM or PNG image. trinary (default): occupied 254, free 0, in between 255
      (unknown); scale grades the in-between occupancies 0..252; raw reads each grey level as an
      occupancy percentage (0..100, 255 unknown). `resolution` and `origin` must not be given.
    - `.map`: a MovingAI grid, `resolution` required ('.', 'G', 'S' free; '@', 'O', 'T', 'W'
      lethal).
    - `.pgm`/`.csv`: raw costs (grey level = cost), `resolution` required; with `occupancy=True`
      a PGM is read as an occupancy image with the YAML convention's default thresholds.

    Bad files raise MapFileError (a ValueError) with the file name and the reason.
    """
    kind = map_kind(path)
    if kind == "yaml" and resolution is None:
        meta = read_map_metadata(path)
        if not meta.image.lower().endswith((".pgm", ".pnm")):
            return _load_yaml_image(path, meta)
    # The library's loadMap, which knows every format's rules and messages.
    options = sp.MapLoadOptions(resolution, origin[0], origin[1], occupancy)
    name = _checked_path(path) if kind == "map" and resolution is not None else os.fsdecode(path)
    try:
        return sp.load_map(name, options)
    except (RuntimeError, ValueError, IndexError) as error:
        raise MapFileError(str(error)) from None


_KINDS = {sp.MapFormat.YAML: "yaml", sp.MapFormat.MOVINGAI: "map", sp.MapFormat.PGM: "pgm",
          sp.MapFormat.CSV: "csv"}


def map_kind(path: str | os.PathLike[str]) -> str:
    """'yaml', 'map', 'pgm' or 'csv': the library's choice from the file name or, for other names,
    the file's first bytes; MapFileError for anything else."""
    try:
        return _KINDS[sp.map_format(os.fsdecode(path))]
    except RuntimeError as error:
        raise MapFileError(str(error)) from None
