"""Build a costmap from a numpy array and convert between world and grid coordinates."""

import numpy as np

import _se2_planner as sp


def main() -> None:
    # 40 x 30 cells of 5 cm, a wall across the middle with a gap.
    cells = np.zeros((30, 40), dtype=np.uint8)
    cells[15, :] = 254
    cells[15, 18:22] = 0
    costmap = sp.Costmap(cells, resolution=0.05, origin_x=-1.0, origin_y=-0.75)
    print(f"costmap: {costmap.width} x {costmap.height} cells of {costmap.resolution} m")

    for x, y in [(0.0, 0.0), (-1.0, -0.75), (0.99, 0.74), (1.0, 0.0)]:
        cell = costmap.world_to_map(x, y)
        if cell is None:
            print(f"world ({x:+.2f}, {y:+.2f}) -> outside the map")
            continue
        cx, cy = costmap.map_to_world(*cell)
        cost = costmap.get_cost(*cell)
        print(f"world ({x:+.2f}, {y:+.2f}) -> cell {cell}, centre ({cx:+.3f}, {cy:+.3f}), cost {cost}")
    print(f"normalize_yaw(3*pi/2) = {sp.normalize_yaw(3 * np.pi / 2):+.6f}")


if __name__ == "__main__":
    main()
