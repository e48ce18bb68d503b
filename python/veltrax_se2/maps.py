"""Occupancy maps in the common robotics format: a YAML file beside a PGM or PNG image."""

from __future__ import annotations

import math
import os
import warnings
from dataclasses import dataclass
from typing import Any, Mapping

import numpy as np

import _se2_planner as sp

FREE_COST = 0
LETHAL_COST = 254
UNKNOWN_COST = 255
MAX_GRADED_COST = 252
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


def _number(description: Mapping[str, Any], key: str, yaml_path: str, default: Any = None) -> float:
    if key not in description:
        if default is None:
            raise MapFileError(f"{yaml_path}: missing key '{key}'")
        return float(default)
    value = description[key]
    if not _is_finite_number(value):
        raise MapFileError(f"{yaml_path}: '{key}' must be a finite number, got {_shown(value)}")
    return float(value)


def _is_finite_number(value: Any) -> bool:
    """True for an int or float (not a bool) that converts to a finite float."""
    if isinstance(value, bool) or not isinstance(value, (int, float)):
        return False
    try:
        return math.isfinite(float(value))
    except OverflowError:  # an integer beyond the largest float
        return False


def _shown(value: Any) -> str:
    """A value quoted in a message, cut short: YAML can hold very long scalars."""
    text = repr(value)
    return text if len(text) <= 60 else text[:57] + "..."


def read_map_metadata(yaml_path: str | os.PathLike[str]) -> MapMetadata:
    """Reads and checks a map YAML file; the image path is made relative to the YAML's folder."""
    import yaml  # imported here so that the module itself imports without PyYAML

    yaml_path = os.fsdecode(yaml_path)
    if "\0" in yaml_path:
        raise MapFileError(f"map file name {_shown(yaml_path)} contains a NUL character")
    try:
        if not os.path.isfile(yaml_path) and os.path.exists(yaml_path):
            raise MapFileError(f"{yaml_path}: not a regular file")
        with open(yaml_path, encoding="utf-8") as stream:
            description = yaml.safe_load(stream)
    except OSError as error:
        raise MapFileError(f"cannot read map file {yaml_path}: {error.strerror}") from None
    except UnicodeDecodeError:
        raise MapFileError(f"{yaml_path}: not UTF-8 text") from None
    except yaml.YAMLError as error:
        raise MapFileError(f"{yaml_path}: not valid YAML ({error})") from None
    except RecursionError:
        raise MapFileError(f"{yaml_path}: nested too deeply") from None
    if not isinstance(description, dict):
        raise MapFileError(f"{yaml_path}: expected a mapping of map fields")

    image = description.get("image")
    if not isinstance(image, str) or not image:
        raise MapFileError(f"{yaml_path}: missing key 'image'")
    if "\0" in image:
        raise MapFileError(f"{yaml_path}: 'image' contains a NUL character")
    resolution = _number(description, "resolution", yaml_path)
    if resolution <= 0:
        raise MapFileError(f"{yaml_path}: 'resolution' must be positive, got {resolution!r}")

    origin = description.get("origin")
    if (
        not isinstance(origin, (list, tuple))
        or len(origin) not in (2, 3)
        or not all(_is_finite_number(v) for v in origin)
    ):
        raise MapFileError(f"{yaml_path}: 'origin' must be a list [x, y, yaw] of finite numbers")
    if len(origin) == 3 and origin[2] != 0:
        raise MapFileError(
            f"{yaml_path}: origin yaw {origin[2]!r} is not supported; costmaps are axis-aligned, "
            "rotate the image instead"
        )

    negate = description.get("negate", 0)
    if not isinstance(negate, (bool, int, float)) or negate not in (0, 1):
        raise MapFileError(f"{yaml_path}: 'negate' must be 0 or 1, got {_shown(negate)}")
    occupied = _number(description, "occupied_thresh", yaml_path, 0.65)
    free = _number(description, "free_thresh", yaml_path, 0.196)
    if not 0.0 <= free <= occupied <= 1.0:
        raise MapFileError(
            f"{yaml_path}: thresholds must satisfy 0 <= free_thresh <= occupied_thresh <= 1"
        )
    mode = description.get("mode", "trinary")
    if not isinstance(mode, str) or mode not in MODES:
        raise MapFileError(f"{yaml_path}: 'mode' must be one of {', '.join(MODES)}, got {_shown(mode)}")

    image_path = image if os.path.isabs(image) else os.path.join(os.path.dirname(yaml_path), image)
    return MapMetadata(
        image=image_path,
        resolution=resolution,
        origin_x=float(origin[0]),
        origin_y=float(origin[1]),
        negate=bool(negate),
        occupied_thresh=occupied,
        free_thresh=free,
        mode=mode,
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
            if picture.mode in ("LA", "RGBA", "PA"):
                alpha = np.asarray(picture.getchannel("A"))
            else:
                alpha = None
            if picture.mode == "L":
                grey = np.asarray(picture)
            else:
                rgb = np.asarray(picture.convert("RGB"))
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


def occupancy_to_costs(grey: np.ndarray, meta: MapMetadata) -> np.ndarray:
    """Converts grey levels to costs with the map's mode, negate flag and thresholds."""
    if meta.mode == "raw":
        return grey.astype(np.uint8, copy=True)
    occupancy = (grey.astype(np.float64) / 255.0) if meta.negate else ((255.0 - grey) / 255.0)
    costs = np.full(grey.shape, UNKNOWN_COST, dtype=np.uint8)
    occupied = occupancy > meta.occupied_thresh
    free = occupancy < meta.free_thresh
    costs[occupied] = LETHAL_COST
    costs[free] = FREE_COST
    if meta.mode == "scale":
        between = ~(occupied | free)
        span = meta.occupied_thresh - meta.free_thresh
        if span > 0:
            graded = np.rint((occupancy[between] - meta.free_thresh) / span * MAX_GRADED_COST)
            costs[between] = np.clip(graded, 0, MAX_GRADED_COST).astype(np.uint8)
    return costs


def load_map(yaml_path: str | os.PathLike[str]) -> sp.Costmap:
    """Loads an occupancy map (YAML + PGM/PNG) as a costmap.

    Trinary mode (the default): occupied -> 254, free -> 0, in between -> 255 (unknown).
    Scale mode grades the in-between occupancies from 0 to 252; raw mode takes grey levels as costs.
    """
    meta = read_map_metadata(yaml_path)
    grey, transparent = _read_grey_levels(meta)
    costs = occupancy_to_costs(grey, meta)
    if transparent is not None and meta.mode != "raw":
        # Fully transparent pixels carry no knowledge of the world.
        costs[transparent] = UNKNOWN_COST
    try:
        return sp.Costmap(costs, meta.resolution, meta.origin_x, meta.origin_y)
    except ValueError as error:  # a geometry the costmap refuses, e.g. corners too far out
        raise MapFileError(f"{os.fsdecode(yaml_path)}: {error}") from None
