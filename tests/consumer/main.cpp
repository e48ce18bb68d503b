#include <cstdio>
#include <vector>

#include "veltrax/se2/costmap.hpp"
#include "veltrax/se2/geometry.hpp"

int main() {
  using namespace veltrax::se2;
  const Costmap map(4, 3, 0.5, -1.0, 2.0, std::vector<std::uint8_t>(12, 0));
  GridIndex cell;
  if (!map.worldToMap(-0.5, 2.5, cell) || cell.x != 1 || cell.y != 1) {
    std::puts("consumer: worldToMap gave the wrong cell");
    return 1;
  }
  if (normalizeYaw(kPi) != -kPi) {
    std::puts("consumer: normalizeYaw gave the wrong angle");
    return 1;
  }
  std::puts("consumer: linked and ran against the installed library");
  return 0;
}
