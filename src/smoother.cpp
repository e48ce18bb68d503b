#include "veltrax/se2/smoother.hpp"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "detail/errors.hpp"
#include "detail/free_cells.hpp"
#include "detail/path_sweep.hpp"
#include "detail/valid_footprint.hpp"

namespace veltrax::se2 {

namespace {

constexpr double kCoincident = 1e-12;
constexpr double kResampleYawThreshold = 1e-12;
constexpr double kStraightStep = 1e-10;

}  // namespace

std::vector<Pose2D> PathSmoother::smooth(const std::vector<Pose2D>& path,
                                         const CollisionChecker& checker,
                                         const Footprint& footprint, const PlannerConfig& config) {
  if (path.size() <= 2 || config.smoother_max_iterations == 0) {
    return path;
  }
  // Every iterate is swept with the same step and footprint, so validatePath's checks of them
  // give the same answer each time: they are made once, where the first sweep would make them
  // (nothing before it can fail).
  if (!(std::isfinite(config.collision_check_step) && config.collision_check_step > 0.0)) {
    detail::throwInvalidArgument("interpolation_step must be finite and positive");
  }
  return detail::smoothPath(path, checker, detail::ValidFootprint::require(footprint), config,
                            detail::kTooManyStepSamples, {});
}

std::vector<Pose2D> detail::smoothPath(const std::vector<Pose2D>& path,
                                       const CollisionChecker& checker, const ValidFootprint& valid,
                                       const PlannerConfig& config, const char* too_many_samples,
                                       const std::function<bool()>& out_of_time,
                                       const FastCollisionCheck* fast) {
  const std::size_t n = path.size();
  if (n <= 2) {
    return path;
  }
  std::vector<Pose2D> current = path;
  if (config.smoother_max_iterations == 0) {
    return current;
  }
  const double w_s = config.smoother_weight_smooth;
  const double w_d = config.smoother_weight_data;
  std::vector<Pose2D> candidate = current;
  std::uint32_t accepted = 0;
  for (;;) {
    // An iteration costs a whole sweep: the caller's budget is asked before each one, and what
    // was accepted so far stands when it has run out.
    if (out_of_time && out_of_time()) {
      return current;
    }
    candidate = current;
    double change = 0.0;
    // A simultaneous update: every term reads the previous iterate only.
    for (std::size_t i = 1; i + 1 < n; ++i) {
      const Pose2D& c = current[i];
      const Pose2D& p = current[i - 1];
      const Pose2D& q = current[i + 1];
      const double x = ((p.x + q.x) - (c.x + c.x)) * w_s + (path[i].x - c.x) * w_d + c.x;
      const double y = ((p.y + q.y) - (c.y + c.y)) * w_s + (path[i].y - c.y) * w_d + c.y;
      candidate[i].x = x;
      candidate[i].y = y;
      change += std::fabs(x - c.x) + std::fabs(y - c.y);
    }
    for (std::size_t i = 1; i + 1 < n; ++i) {
      candidate[i].yaw = std::atan2(candidate[i + 1].y - candidate[i - 1].y,
                                    candidate[i + 1].x - candidate[i - 1].x);
    }
    // Either test failing ends the smoothing alike, so where the sweep cannot refuse the iterate
    // the turning radius (a pass over the poses) goes first: it stops a car's first iterate far
    // more often than a collision does, and the sweep checks the footprint at every sample.
    const bool radius_first = detail::sweepWithinLimits(candidate, config.collision_check_step);
    if (radius_first &&
        !PathSmoother::respectsTurningRadius(candidate, config.minimum_turning_radius)) {
      return current;
    }
    if (fast != nullptr
            ? detail::sweepCollides(*fast, candidate, config.collision_check_step, too_many_samples)
            : detail::sweepFootprint(checker, candidate, valid, config.collision_check_step,
                                     too_many_samples)
                  .collision) {
      return current;
    }
    if (!radius_first &&
        !PathSmoother::respectsTurningRadius(candidate, config.minimum_turning_radius)) {
      return current;
    }
    current.swap(candidate);
    if (change < config.smoother_tolerance) {
      return current;
    }
    ++accepted;
    if (accepted >= config.smoother_max_iterations) {
      return current;
    }
  }
}

std::vector<Pose2D> PathSmoother::resample(const std::vector<Pose2D>& path, double spacing) {
  if (!(std::isfinite(spacing) && spacing > 0.0)) {
    detail::throwInvalidArgument("path spacing must be positive");
  }
  // A non-finite position would make a step count meaningless; refuse it before any work, and
  // count the whole output first so that a tiny spacing is an error, not an endless allocation.
  double total = 1.0;
  for (std::size_t i = 0; i < path.size(); ++i) {
    if (!(std::isfinite(path[i].x) && std::isfinite(path[i].y))) {
      detail::throwInvalidArgument("path positions must be finite");
    }
    if (i > 0) {
      const double d = std::hypot(path[i].x - path[i - 1].x, path[i].y - path[i - 1].y);
      total += d < kCoincident ? 1.0 : std::ceil(d / spacing);
    }
  }
  if (!(total <= kMaxResampledPoses)) {
    detail::throwLimitExceeded("path spacing is too small for the path length");
  }
  if (path.size() <= 1) {
    return path;
  }
  std::vector<Pose2D> out;
  out.reserve(static_cast<std::size_t>(total));
  out.push_back(path.front());
  for (std::size_t i = 1; i < path.size(); ++i) {
    const Pose2D& a = path[i - 1];
    const Pose2D& b = path[i];
    const double dx = b.x - a.x;
    const double dy = b.y - a.y;
    const double d = std::hypot(dx, dy);
    if (d < kCoincident) {
      const double turn = b.yaw - out.back().yaw;
      if (!std::isfinite(turn)) {
        detail::throwInvalidArgument("yaw must be finite");
      }
      if (std::fabs(normalizeYaw(turn)) > kResampleYawThreshold) {
        out.push_back(b);
      }
      continue;
    }
    const double delta = b.yaw - a.yaw;
    if (!std::isfinite(delta)) {
      detail::throwInvalidArgument("yaw must be finite");
    }
    const double turn = normalizeYaw(delta);
    // Bounded by the total counted above.
    const auto k = static_cast<std::uint64_t>(std::ceil(d / spacing));
    const double steps = static_cast<double>(k);
    for (std::uint64_t j = 1; j <= k; ++j) {
      const double t = static_cast<double>(j) / steps;
      const double yaw = t * turn + a.yaw;
      if (!std::isfinite(yaw)) {
        detail::throwInvalidArgument("yaw must be finite");
      }
      out.push_back(Pose2D{dx * t + a.x, dy * t + a.y, normalizeYaw(yaw)});
    }
  }
  return out;
}

bool PathSmoother::respectsTurningRadius(const std::vector<Pose2D>& path,
                                         double minimum_turning_radius) {
  if (path.size() <= 1) {
    return true;
  }
  const double r = minimum_turning_radius;
  for (std::size_t i = 1; i < path.size(); ++i) {
    const Pose2D& a = path[i - 1];
    const Pose2D& b = path[i];
    const double ds = std::hypot(b.x - a.x, b.y - a.y);
    const double delta = b.yaw - a.yaw;
    if (!std::isfinite(delta)) {
      detail::throwInvalidArgument("yaw must be finite");
    }
    const double turn = normalizeYaw(delta);
    if (turn == 0.0 || std::fabs(turn) < kStraightStep) {
      continue;
    }
    if (ds < kCoincident) {
      return false;
    }
    const double radius = ds / (2.0 * std::sin(std::fabs(turn) * 0.5));
    if (r > radius + std::fmax(0.01 * r, 1e-6)) {
      return false;
    }
  }
  return true;
}

}  // namespace veltrax::se2
