#pragma once

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <limits>

#include "veltrax/se2/costs.hpp"

namespace veltrax::se2::detail {

// Step costs of the obstacle heuristic per cost byte of the cell entered, so the inner loops do
// one table load instead of the penalty arithmetic. Blocked bytes cost +inf: the relaxation test
// `distance > candidate` then fails on its own. Each entry is the exact double the relaxation
// forms; every field built from these tables has the same values.
struct StepCosts {
  std::array<double, 256> orthogonal;
  std::array<double, 256> diagonal;
  double smallest_finite = std::numeric_limits<double>::infinity();
  double largest_finite = 0.0;
};

inline StepCosts makeStepCosts(double resolution, bool allow_unknown, double cost_penalty) {
  constexpr double kInfinity = std::numeric_limits<double>::infinity();
  constexpr double kSqrtTwo = 1.4142135623730951;
  StepCosts costs{};
  for (int c = 0; c < 256; ++c) {
    if (costBlocks(static_cast<std::uint8_t>(c), allow_unknown)) {
      costs.orthogonal[c] = kInfinity;
      costs.diagonal[c] = kInfinity;
      continue;
    }
    const double penalty =
        c == kUnknownCost
            ? cost_penalty
            : (static_cast<double>(c) / static_cast<double>(kMaxGradedCost)) * cost_penalty;
    costs.orthogonal[c] = (1.0 * resolution) * (penalty + 1.0);
    costs.diagonal[c] = (kSqrtTwo * resolution) * (penalty + 1.0);
    for (const double w : {costs.orthogonal[c], costs.diagonal[c]}) {
      if (std::isfinite(w)) {
        costs.smallest_finite = std::min(costs.smallest_finite, w);
        costs.largest_finite = std::max(costs.largest_finite, w);
      }
    }
  }
  return costs;
}

}  // namespace veltrax::se2::detail
