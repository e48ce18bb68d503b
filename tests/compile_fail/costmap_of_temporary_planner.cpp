// A temporary planner takes its costmap with it.
#include <vector>

#include "veltrax/se2/planner.hpp"

int main() {
  using namespace veltrax::se2;
  const Costmap& map =
      HybridAStar(Costmap(4, 4, 0.5, 0.0, 0.0, std::vector<std::uint8_t>(16, 0))).costmap();
  return static_cast<int>(map.width());
}
