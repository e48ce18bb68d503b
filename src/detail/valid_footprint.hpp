#pragma once

#include <functional>
#include <string>
#include <vector>

#include "detail/errors.hpp"
#include "veltrax/se2/collision.hpp"
#include "veltrax/se2/footprint.hpp"
#include "veltrax/se2/geometry.hpp"
#include "veltrax/se2/records.hpp"

namespace veltrax::se2::detail {

// A footprint that has passed validateFootprint, whose pairwise tests take time quadratic in the
// vertices. Only require() and validated() make one, so a caller's footprint is validated once,
// where it comes in, however often it is placed afterwards. Refers to that footprint, which must
// outlive it.
class ValidFootprint {
 public:
  // Throws std::invalid_argument with the footprint's first problem.
  static ValidFootprint require(const Footprint& footprint) {
    const std::vector<std::string> problems = validateFootprint(footprint);
    if (!problems.empty()) {
      throwInvalidArgument(problems.front());
    }
    return ValidFootprint(footprint);
  }

  // For a footprint that validateFootprint has already accepted where it came in (the planner
  // checks the request's footprint before anything else).
  static ValidFootprint validated(const Footprint& footprint) noexcept {
    return ValidFootprint(footprint);
  }

  const Footprint& get() const noexcept { return *footprint_; }

 private:
  explicit ValidFootprint(const Footprint& footprint) noexcept : footprint_(&footprint) {}

  const Footprint* footprint_;
};

// CollisionChecker::validatePath once its arguments are checked: the step is finite and positive.
// `too_many_samples` is the refusal of a step too small for the path (see detail/path_sweep.hpp).
CollisionResult sweepFootprint(const CollisionChecker& checker, const std::vector<Pose2D>& path,
                               const ValidFootprint& footprint, double interpolation_step,
                               const char* too_many_samples);

class FastCollisionCheck;

// PathSmoother::smooth once the footprint and the sample step are checked. `too_many_samples` is
// the refusal of a step too small for the path; `out_of_time`, when set, is asked before each
// iteration, and once it says true the last accepted iterate is returned. `fast`, when set, is
// a check of the same checker and footprint that sweeps the iterates (sweepCollides).
std::vector<Pose2D> smoothPath(const std::vector<Pose2D>& path, const CollisionChecker& checker,
                               const ValidFootprint& footprint, const PlannerConfig& config,
                               const char* too_many_samples,
                               const std::function<bool()>& out_of_time,
                               const FastCollisionCheck* fast = nullptr);

}  // namespace veltrax::se2::detail
