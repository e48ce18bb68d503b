#include "veltrax/se2/geometry.hpp"

#include <cmath>

#include "detail/errors.hpp"

namespace veltrax::se2 {

double normalizeYaw(double yaw) {
  if (!std::isfinite(yaw)) {
    detail::throwInvalidArgument("yaw must be finite");
  }
  double r = std::fmod(yaw + kPi, kTwoPi);
  if (r < 0.0) {
    r += kTwoPi;
  }
  r -= kPi;
  // Comparing equal to zero also catches -0.0, which must never leave this function.
  return r == 0.0 ? 0.0 : r;
}

}  // namespace veltrax::se2
