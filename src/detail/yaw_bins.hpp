#pragma once

#include <cmath>
#include <cstdint>

#include "veltrax/se2/geometry.hpp"

namespace veltrax::se2::detail {

// The one yaw binning of the library: `bins` equal bins over [0, 2 pi) counted from yaw 0, the
// yaw first raised by `nudge` bins, i.e. floor((yaw mod 2 pi) / 2 pi * bins + nudge) mod bins.
// A yaw less than `nudge` bins below an edge lands in the upper bin; the remainder of a tiny
// negative yaw rounds up to 2 pi and, like 2 pi less a nudge, wraps to bin 0. The yaw must be
// finite and bins positive. Inline: the planner bins every child it generates.
inline std::uint32_t yawBin(double yaw, std::uint32_t bins, double nudge) noexcept {
  // fmod is exact and returns its argument unchanged below one period, so the common case skips
  // the call.
  double r = std::fabs(yaw) < kTwoPi ? yaw : std::fmod(yaw, kTwoPi);
  if (r < 0.0) {
    r += kTwoPi;
  }
  // r is in [0, 2 pi], so the floor is in [0, bins] (nudges below one bin) and the modulo folds
  // the top back to bin 0.
  const double scaled = std::floor(r / kTwoPi * static_cast<double>(bins) + nudge);
  return static_cast<std::uint32_t>(scaled) % bins;
}

// The planner's nudge: a yaw that a primitive's arithmetic leaves a rounding error below a bin
// edge (a turn of exactly one bin, say) keys the bin the motion meant to reach.
inline constexpr double kStateKeyYawNudge = 1e-9;

}  // namespace veltrax::se2::detail
