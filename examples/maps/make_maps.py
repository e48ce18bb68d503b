"""Regenerates the bundled example maps (YAML + PGM pairs) in this folder.

Occupancy images in the usual convention: white (254) free, black (0) occupied, grey (205) unknown;
the first image row is the top of the map (largest y).
"""

import pathlib

import numpy as np

FREE, OCCUPIED, UNKNOWN = 254, 0, 205
RESOLUTION = 0.05
HERE = pathlib.Path(__file__).resolve().parent


class Canvas:
    """A map drawn in metres with y up; saved with the top row first."""

    def __init__(self, width_m: float, height_m: float) -> None:
        self.cells = np.full((round(height_m / RESOLUTION), round(width_m / RESOLUTION)), FREE, np.uint8)

    def box(self, x0: float, y0: float, x1: float, y1: float, value: int = OCCUPIED) -> None:
        c0, c1 = round(x0 / RESOLUTION), round(x1 / RESOLUTION)
        r0, r1 = round(y0 / RESOLUTION), round(y1 / RESOLUTION)
        self.cells[max(r0, 0) : r1, max(c0, 0) : c1] = value

    def border(self, thickness: float = 0.1) -> None:
        h, w = self.cells.shape
        self.box(0, 0, w * RESOLUTION, thickness)
        self.box(0, h * RESOLUTION - thickness, w * RESOLUTION, h * RESOLUTION)
        self.box(0, 0, thickness, h * RESOLUTION)
        self.box(w * RESOLUTION - thickness, 0, w * RESOLUTION, h * RESOLUTION)

    def save(self, name: str, comment: str) -> None:
        h, w = self.cells.shape
        image = np.flipud(self.cells)
        with open(HERE / f"{name}.pgm", "wb") as out:
            out.write(f"P5\n# {comment}\n{w} {h}\n255\n".encode("ascii"))
            out.write(image.tobytes())
        (HERE / f"{name}.yaml").write_text(
            f"# {comment}\n"
            f"image: {name}.pgm\n"
            f"resolution: {RESOLUTION}\n"
            "origin: [0.0, 0.0, 0.0]\n"
            "negate: 0\n"
            "occupied_thresh: 0.65\n"
            "free_thresh: 0.196\n"
            "mode: trinary\n"
        )


def parking_lot() -> None:
    # 12 m x 8 m: two rows of slots 0.8 m wide and 1.4 m deep facing a 3 m driving lane.
    c = Canvas(12.0, 8.0)
    c.border()
    for row_y0, row_y1, wall_y0, wall_y1 in ((0.1, 1.5, 0.1, 0.3), (6.5, 7.9, 7.7, 7.9)):
        for i in range(13):
            x = 1.0 + i * 0.8
            c.box(x, row_y0, x + 0.08, row_y1)  # slot dividers
        c.box(1.0, wall_y0, 11.48, wall_y1)
    # Parked cars in some slots.
    for i in (0, 1, 3, 4, 7, 9, 10):
        x = 1.0 + i * 0.8
        c.box(x + 0.2, 0.35, x + 0.68, 1.3)
    for i in (1, 2, 5, 6, 8, 11):
        x = 1.0 + i * 0.8
        c.box(x + 0.2, 6.7, x + 0.68, 7.65)
    # An island in the middle of the lane and an unknown corner.
    c.box(5.0, 3.6, 7.0, 4.4)
    c.box(0.1, 3.0, 0.6, 5.0, UNKNOWN)
    c.save("parking_lot", "parking lot with two rows of 0.8 m slots")


def warehouse() -> None:
    # 15 m x 10 m: rack rows with aisles of 1.4 m, a loading dock and pillars.
    c = Canvas(15.0, 10.0)
    c.border()
    for i in range(5):
        x = 2.0 + i * 2.2
        c.box(x, 1.5, x + 0.8, 4.2)
        c.box(x, 5.6, x + 0.8, 8.5)
    for x in (1.0, 14.0):
        for y in (2.5, 7.5):
            c.box(x - 0.15, y - 0.15, x + 0.15, y + 0.15)
    c.box(13.0, 4.3, 15.0, 5.5, FREE)  # dock opening
    c.box(14.9, 4.3, 15.0, 5.5)
    c.save("warehouse", "warehouse with rack rows and 1.4 m aisles")


def maze() -> None:
    # 10 m x 10 m: a fixed maze of 1.25 m cells with 0.15 m walls (corridors about 1.1 m).
    c = Canvas(10.0, 10.0)
    c.border(0.15)
    rng = np.random.default_rng(7)
    n = 8
    pitch = 10.0 / n
    # Depth-first carving from the lower-left cell; walls are drawn where no passage was carved.
    visited = np.zeros((n, n), bool)
    open_east = np.zeros((n, n), bool)
    open_north = np.zeros((n, n), bool)
    stack = [(0, 0)]
    visited[0, 0] = True
    while stack:
        x, y = stack[-1]
        options = [(dx, dy) for dx, dy in ((1, 0), (-1, 0), (0, 1), (0, -1))
                   if 0 <= x + dx < n and 0 <= y + dy < n and not visited[x + dx, y + dy]]
        if not options:
            stack.pop()
            continue
        dx, dy = options[rng.integers(len(options))]
        nx, ny = x + dx, y + dy
        if dx == 1:
            open_east[x, y] = True
        elif dx == -1:
            open_east[nx, ny] = True
        elif dy == 1:
            open_north[x, y] = True
        else:
            open_north[nx, ny] = True
        visited[nx, ny] = True
        stack.append((nx, ny))
    for x in range(n):
        for y in range(n):
            if x < n - 1 and not open_east[x, y]:
                c.box((x + 1) * pitch - 0.075, y * pitch - 0.075, (x + 1) * pitch + 0.075, (y + 1) * pitch + 0.075)
            if y < n - 1 and not open_north[x, y]:
                c.box(x * pitch - 0.075, (y + 1) * pitch - 0.075, (x + 1) * pitch + 0.075, (y + 1) * pitch + 0.075)
    c.save("maze", "8 x 8 maze of 1.25 m cells")


if __name__ == "__main__":
    parking_lot()
    warehouse()
    maze()
