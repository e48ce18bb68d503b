// The uses the other files get wrong, done right: this file must compile, so that their failures
// come from the misuse and not from the include path.
#include <utility>
#include <vector>

#include "veltrax/se2/collision.hpp"
#include "veltrax/se2/planner.hpp"

int main() {
  using namespace veltrax::se2;
  const Costmap map(4, 4, 0.5, 0.0, 0.0, std::vector<std::uint8_t>(16, 0));
  const CollisionChecker checker(map, false);
  const YawBinFootprintTemplates templates(CircleFootprint{0.3}, 8);
  const Footprint& footprint = templates.at(3);
  HybridAStar planner(map);
  const Costmap& own = planner.costmap();
  std::vector<HybridAStar> planners;
  planners.push_back(std::move(planner));
  return checker.check({1.0, 1.0, 0.0}, footprint).collision || own.width() != 4 ? 1 : 0;
}
