#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "detail/errors.hpp"
#include "veltrax/se2/geometry.hpp"

namespace veltrax::se2::detail {

// No segment is sampled more coarsely in yaw than 5 degrees (pi / 36).
inline constexpr double kPathYawStep = 0.08726646259971647;

// Samples one path segment needs for both the position and the heading step, as a double
// (infinite for an overflowing hypot or a tiny step; the heading part is at most 36).
inline double segmentSamples(double dx, double dy, double dyaw, double interpolation_step) {
  return std::max(std::ceil(std::hypot(dx, dy) / interpolation_step),
                  std::ceil(std::fabs(dyaw) / kPathYawStep));
}

// Number of samples of one path segment: segmentSamples, and at least one, so that every pose is
// itself a sample.
inline std::uint64_t segmentSampleCount(double dx, double dy, double dyaw,
                                        double interpolation_step) {
  // The first sample is the segment start plus 0 * (dx, dy); with an infinite or NaN offset
  // that sample is not a finite pose, which is what the checker would reject it for.
  if (!std::isfinite(dx) || !std::isfinite(dy)) {
    throwInvalidArgument("collision pose must be finite");
  }
  const double samples = segmentSamples(dx, dy, dyaw, interpolation_step);
  // A tiny step over a long segment (or an overflowing hypot) must not reach the conversion.
  constexpr double kTwoToThe64 = 18446744073709551616.0;
  if (!(samples < kTwoToThe64)) {
    throwLimitExceeded("path segment sample count must be finite and fit in 64 bits");
  }
  const auto count = static_cast<std::uint64_t>(samples);
  return count == 0 ? 1 : count;
}

// Most samples one sweep evaluates: a step far too small for the path would otherwise keep a
// caller busy for days. The limit is checked segment by segment, so whatever the sweep reports
// before reaching it stays as it was.
inline constexpr std::uint64_t kMaxSweepSamples = 10000000;
// The refusal past that limit, naming validatePath's step.
inline constexpr const char* kTooManyStepSamples =
    "interpolation_step is too small for the path length";
// The same refusal where the step is the configuration's (the smoother, the planner).
inline constexpr const char* kTooManyConfigSamples =
    "collision_check_step is too small for the path length";

// Whether sweepPath along `path` at this step would reach every sample without refusing the path
// (finite poses, at most kMaxSweepSamples in all), whatever visit answers.
inline bool sweepWithinLimits(const std::vector<Pose2D>& path, double interpolation_step) {
  double total = 0.0;
  for (std::size_t i = 0; i < path.size(); ++i) {
    const Pose2D& from = path[i];
    const Pose2D& to = path[std::min(i + 1, path.size() - 1)];
    const double dx = to.x - from.x;
    const double dy = to.y - from.y;
    const double raw_turn = to.yaw - from.yaw;
    if (!(std::isfinite(dx) && std::isfinite(dy) && std::isfinite(raw_turn))) {
      return false;
    }
    total += std::max(segmentSamples(dx, dy, normalizeYaw(raw_turn), interpolation_step), 1.0);
    if (!(total <= static_cast<double>(kMaxSweepSamples))) {
      return false;
    }
  }
  return true;
}

// Calls visit(sample) for the samples of the sweep along `path`, in order, until visit returns
// true. Position and yaw move linearly together along each chord; the end of a segment is the
// next segment's first sample, and the last pose pairs with itself. Past kMaxSweepSamples it
// throws LimitExceeded `too_many_samples`, which names the step as the caller knows it.
template <class Visit>
void sweepPath(const std::vector<Pose2D>& path, double interpolation_step, Visit&& visit,
               const char* too_many_samples = kTooManyStepSamples) {
  const std::size_t n = path.size();
  std::uint64_t budget = kMaxSweepSamples;
  for (std::size_t i = 0; i < n; ++i) {
    const Pose2D& from = path[i];
    const Pose2D& to = path[std::min(i + 1, n - 1)];
    const double dx = to.x - from.x;
    const double dy = to.y - from.y;
    const double raw_turn = to.yaw - from.yaw;
    if (!std::isfinite(raw_turn)) {
      throwInvalidArgument("yaw must be finite");
    }
    // The short way round; a half turn goes clockwise.
    const double dyaw = normalizeYaw(raw_turn);
    const std::uint64_t count = segmentSampleCount(dx, dy, dyaw, interpolation_step);
    if (count > budget) {
      throwLimitExceeded(too_many_samples);
    }
    budget -= count;
    for (std::uint64_t k = 0; k < count; ++k) {
      const double t = static_cast<double>(k) / static_cast<double>(count);
      if (visit(Pose2D{from.x + t * dx, from.y + t * dy, from.yaw + t * dyaw})) {
        return;
      }
    }
  }
}

}  // namespace veltrax::se2::detail
