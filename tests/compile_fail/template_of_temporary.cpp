// A template owned by a temporary would dangle at the end of the statement.
#include "veltrax/se2/footprint.hpp"

int main() {
  using namespace veltrax::se2;
  const Footprint& footprint = YawBinFootprintTemplates(CircleFootprint{0.3}, 72).at(3);
  return static_cast<int>(footprint.index());
}
