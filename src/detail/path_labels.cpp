#include "detail/path_labels.hpp"

#include <cmath>
#include <cstddef>

namespace veltrax::se2::detail {

StepCounts countSteps(const std::vector<Direction>& arrival_labels,
                      const std::vector<KinematicSample>& analytic) {
  StepCounts counts;
  for (std::size_t i = 1; i < arrival_labels.size(); ++i) {
    if (arrival_labels[i] == Direction::REVERSE) {
      ++counts.reverse;
    } else if (arrival_labels[i] == Direction::ROTATION) {
      ++counts.rotations;
    }
    // The change from the start's placeholder label to the first step is not a switch.
    if (i >= 2 && arrival_labels[i] != arrival_labels[i - 1]) {
      ++counts.direction_switches;
    }
  }
  Direction previous = arrival_labels.empty() ? Direction::FORWARD : arrival_labels.back();
  for (const KinematicSample& sample : analytic) {
    if (static_cast<int>(sample.direction) < 0) {
      ++counts.reverse;
    }
    if (sample.direction != previous) {
      ++counts.direction_switches;
    }
    previous = sample.direction;
  }
  return counts;
}

std::vector<Direction> directionLabels(const std::vector<Pose2D>& path) {
  const std::size_t n = path.size();
  std::vector<Direction> labels(n, Direction::FORWARD);
  for (std::size_t i = 0; i + 1 < n; ++i) {
    const double dx = path[i + 1].x - path[i].x;
    const double dy = path[i + 1].y - path[i].y;
    if (std::hypot(dx, dy) > 1e-9) {
      labels[i] = dx * std::cos(path[i].yaw) + dy * std::sin(path[i].yaw) < 0.0
                      ? Direction::REVERSE
                      : Direction::FORWARD;
    } else if (std::fabs(normalizeYaw(path[i + 1].yaw - path[i].yaw)) <= 1e-9) {
      labels[i] = i == 0 ? Direction::FORWARD : labels[i - 1];
    } else {
      labels[i] = Direction::ROTATION;
    }
  }
  if (n > 1) {
    labels[n - 1] = labels[n - 2];
  }
  return labels;
}

}  // namespace veltrax::se2::detail
