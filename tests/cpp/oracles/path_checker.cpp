#include "oracles/path_checker.hpp"

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "oracles/collision_reference.hpp"

namespace veltrax::se2::oracles {

namespace {

using Real = long double;
constexpr Real kPi = 3.141592653589793238462643383279502884L;

Real wrap(Real angle) {
  angle = std::fmod(angle, 2 * kPi);
  if (angle >= kPi) angle -= 2 * kPi;
  if (angle < -kPi) angle += 2 * kPi;
  return angle;
}

std::string at(const char* what, std::size_t i) {
  return std::string(what) + " at pose " + std::to_string(i);
}

}  // namespace

std::string pathProblem(const Costmap& map, const PlanRequest& request, const PlannerConfig& config,
                        const PlannerResult& result) {
  const std::vector<Pose2D>& path = result.path;
  if (result.status != PlannerStatus::SUCCESS) {
    return path.empty() && result.directions.empty() ? "" : "a failed plan carries a path";
  }
  const std::size_t n = path.size();
  if (n == 0 || result.directions.size() != n) return "path and labels empty or of unequal size";
  const Pose2D& first = path.front();
  const Pose2D& last = path.back();
  if (std::hypot(first.x - request.start.x, first.y - request.start.y) > 1e-9 ||
      std::fabs(wrap(static_cast<Real>(first.yaw) - request.start.yaw)) > 1e-9) {
    return "path does not begin at the start";
  }
  if (std::hypot(last.x - request.goal.x, last.y - request.goal.y) >
          config.position_tolerance + 1e-9 ||
      std::fabs(wrap(static_cast<Real>(last.yaw) - request.goal.yaw)) >
          config.yaw_tolerance + 1e-9) {
    return "path does not end within the goal tolerances";
  }
  const bool car = !config.allow_in_place_rotation;
  Real length = 0;
  for (std::size_t i = 0; i < n; ++i) {
    const int label = static_cast<int>(result.directions[i]);
    if (label < -1 || label > 1 || (label == -1 && !config.allow_reverse) || (label == 0 && car)) {
      return at("label not allowed by the configuration", i);
    }
    const Pose2D& a = path[i];
    const Pose2D& b = path[std::min(i + 1, n - 1)];
    const Real dx = static_cast<Real>(b.x) - a.x, dy = static_cast<Real>(b.y) - a.y;
    const Real d = std::hypot(dx, dy);
    const Real turn = wrap(static_cast<Real>(b.yaw) - a.yaw);
    if (d > config.path_output_spacing + 1e-9) return at("poses farther apart than the spacing", i);
    length += d;
    if (i + 1 < n) {
      int expected = label;  // a pose repeated in place keeps the previous label
      if (d > 1e-9) {
        expected =
            dx * std::cos(static_cast<Real>(a.yaw)) + dy * std::sin(static_cast<Real>(a.yaw)) < 0
                ? -1
                : 1;
        // The chord may lean off the heading by about the turn it makes, no more.
        const Real lean = std::fabs(wrap(std::atan2(dy, dx) - a.yaw + (expected < 0 ? kPi : 0)));
        if (car && lean > std::fabs(turn) + 0.02) return at("step leaves sideways", i);
        if (car && std::fabs(turn) > 1e-10 &&
            d / (2 * std::sin(std::fabs(turn) / 2)) <
                0.99L * config.minimum_turning_radius - 1e-6) {
          return at("turn tighter than the radius", i);
        }
      } else if (std::fabs(turn) > 1e-9) {
        if (car) return at("turn on the spot", i);
        expected = 0;
      } else if (i == 0) {
        expected = 1;
      } else {
        expected = static_cast<int>(result.directions[i - 1]);
      }
      if (label != expected) return at("label does not match the step", i);
    } else if (n > 1 && label != static_cast<int>(result.directions[n - 2])) {
      return at("last label differs from the one before", i);
    }
    // The pose itself and its chord, sampled as densely as the library promises to check it:
    // at most collision_check_step (up to rounding) and 5 degrees apart.
    const auto samples = std::max<std::size_t>(
        static_cast<std::size_t>(std::max<Real>(std::ceil(d / config.collision_check_step - 1e-9),
                                                std::ceil(std::fabs(turn) / (kPi / 36)))),
        1);
    const std::size_t count = i + 1 < n ? samples : 1;
    for (std::size_t k = 0; k < count; ++k) {
      const Real t = static_cast<Real>(k) / static_cast<Real>(samples);
      const Pose2D at_t{static_cast<double>(a.x + t * dx), static_cast<double>(a.y + t * dy),
                        static_cast<double>(a.yaw + t * turn)};
      if (referenceCheck(map, config.allow_unknown, at_t, request.footprint).collision) {
        return at(k == 0 ? "footprint collides" : "footprint collides along the chord", i);
      }
    }
  }
  if (std::fabs(length - result.diagnostics.path_length) > 1e-6 * (1 + length)) {
    return "path_length does not match the path";
  }
  return "";
}

}  // namespace veltrax::se2::oracles
