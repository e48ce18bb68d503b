// A checker must not keep a pointer to a costmap destroyed at the end of the statement.
#include <vector>

#include "veltrax/se2/collision.hpp"

int main() {
  using namespace veltrax::se2;
  const CollisionChecker checker(Costmap(4, 4, 0.5, 0.0, 0.0, std::vector<std::uint8_t>(16, 0)),
                                 false);
  return checker.check({1.0, 1.0, 0.0}, CircleFootprint{0.3}).collision ? 1 : 0;
}
