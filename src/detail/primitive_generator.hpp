#pragma once

#include <cstdint>
#include <vector>

#include "veltrax/se2/geometry.hpp"
#include "veltrax/se2/planner.hpp"
#include "veltrax/se2/primitives.hpp"

namespace veltrax::se2::detail {

// The successors of MotionPrimitiveTable::generate, written into reused storage: the search calls
// this once per expansion and must not allocate there. The poses are the same doubles as
// generate() produces (a differential test holds the two together).
class PrimitiveGenerator {
 public:
  // Sample counts above this are refused by the planner before the search starts.
  static constexpr double kMaxSamplesPerPrimitive = 1 << 20;

  PrimitiveGenerator(double primitive_length, const PlannerConfig& config);

  // Samples of each translating primitive; 0 when ceil(length / step) exceeds the limit.
  std::uint64_t sampleCount() const noexcept { return sample_count_; }

  // Overwrites `out` with the primitives from `pose`, in generate() order. After the first call
  // with a given table it allocates nothing.
  void generate(const Pose2D& pose, std::vector<MotionPrimitive>& out) const;

 private:
  void fill(const Pose2D& pose, double cos0, double sin0, Direction direction, Steering steering,
            MotionPrimitive& out) const;

  double turning_radius_;
  double primitive_length_;
  double angular_step_;
  bool allow_reverse_;
  bool allow_in_place_rotation_;
  std::uint64_t sample_count_;
};

}  // namespace veltrax::se2::detail
