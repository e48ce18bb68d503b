#include "detail/postprocess.hpp"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

#include "detail/errors.hpp"
#include "detail/free_cells.hpp"
#include "detail/path_labels.hpp"
#include "detail/path_sweep.hpp"
#include "detail/valid_footprint.hpp"
#include "veltrax/se2/smoother.hpp"

namespace veltrax::se2::detail {

namespace {

// The poses the search checked along the path: the start, each node's primitive regenerated from
// its parent (bit for bit the samples checked when it was generated, since expanded nodes never
// move), then the analytic curve.
std::vector<Pose2D> searchedSamples(const FoundPath& found, const MotionPrimitiveTable& table) {
  if (found.driven != nullptr) {
    return *found.driven;
  }
  std::vector<Pose2D> samples;
  samples.push_back(found.poses.front());
  for (std::size_t i = 1; i < found.poses.size(); ++i) {
    const MotionPrimitive primitive =
        table.make(found.poses[i - 1], found.arrival_directions[i], found.arrival_steerings[i]);
    samples.insert(samples.end(), primitive.samples.begin(), primitive.samples.end());
  }
  for (const KinematicSample& sample : found.curve) {
    samples.push_back(sample.pose);
  }
  return samples;
}

// Whether a step from a to b could be driven: its chord, taken in the direction the step is
// driven (behind the heading is reverse, as the output labels have it), leans off a's heading by
// at most the step's own turn. An arc leans half its turn; a chord of a longer arc, cut into
// several output steps, leans half the whole arc's turn on each step's small part of it.
bool drivable(const Pose2D& a, double dx, double dy, double turn) {
  // Rounding of equal angles, far below anything a car could tell apart.
  constexpr double kLeanSlack = 1e-9;
  double lean = normalizeYaw(std::atan2(dy, dx) - a.yaw);
  if (std::fabs(lean) > kPi / 2.0) {
    lean = normalizeYaw(lean + kPi);
  }
  return std::fabs(lean) <= std::fabs(turn) + kLeanSlack;
}

// Whether every step of a path could be driven (see drivable); turns on the spot are left to
// the turning-radius test.
bool everyStepDrivable(const std::vector<Pose2D>& path) {
  for (std::size_t i = 1; i < path.size(); ++i) {
    const Pose2D& a = path[i - 1];
    const Pose2D& b = path[i];
    const double dx = b.x - a.x;
    const double dy = b.y - a.y;
    if (std::hypot(dx, dy) > 1e-9 && !drivable(a, dx, dy, normalizeYaw(b.yaw - a.yaw))) {
      return false;
    }
  }
  return true;
}

// Whether the k equal chord steps that PathSmoother::resample makes from a towards a pose
// dx, dy away and `turn` round could all be driven.
bool chordStepsDrivable(const Pose2D& a, double dx, double dy, double turn, std::uint64_t k) {
  const double steps = static_cast<double>(k);
  for (std::uint64_t j = 0; j < k; ++j) {
    const Pose2D from{0.0, 0.0, static_cast<double>(j) / steps * turn + a.yaw};
    if (!drivable(from, dx, dy, turn / steps)) {
      return false;
    }
  }
  return true;
}

// PathSmoother::resample, with the poses between a and b placed on the circular arc from a to b
// that turns as their headings do: on every stretch that turns (PlannerConfig::
// resample_along_arcs), or only on those whose chord steps could not be driven. The chord from a
// to the pose at fraction t leans t * turn / 2 off the arc's tangent at a, and the tangent leans
// half the turn off the chord a-b. The last pose of each stretch, and every pose of a stretch
// left on its chord, is computed as resample computes it.
std::vector<Pose2D> resampleAlongArcs(const std::vector<Pose2D>& path, double spacing,
                                      bool every_turn) {
  constexpr double kCoincident = 1e-12;  // as PathSmoother::resample
  double total = 1.0;
  for (std::size_t i = 1; i < path.size(); ++i) {
    total +=
        1.0 + std::ceil(std::hypot(path[i].x - path[i - 1].x, path[i].y - path[i - 1].y) / spacing);
  }
  if (!(total <= PathSmoother::kMaxResampledPoses)) {
    throwLimitExceeded("path spacing is too small for the path length");
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
      if (std::fabs(normalizeYaw(b.yaw - out.back().yaw)) > kCoincident) {
        out.push_back(b);
      }
      continue;
    }
    const double turn = normalizeYaw(b.yaw - a.yaw);
    auto k = static_cast<std::uint64_t>(std::ceil(d / spacing));
    const bool arc =
        k >= 2 && std::fabs(turn) > 1e-9 && (every_turn || !chordStepsDrivable(a, dx, dy, turn, k));
    // Twice the arc's radius; its steps' chords are longer than the straight chord's parts, for
    // a tight turn by up to half as much again, so one more step may not be enough.
    const double diameter = arc ? d / std::sin(std::fabs(turn) / 2.0) : 0.0;
    while (arc && diameter * std::sin(std::fabs(turn) / (2.0 * static_cast<double>(k))) > spacing) {
      ++k;
    }
    const double tangent = std::atan2(dy, dx) - turn / 2.0;
    for (std::uint64_t j = 1; j <= k; ++j) {
      const double t = static_cast<double>(j) / static_cast<double>(k);
      const double yaw = normalizeYaw(t * turn + a.yaw);
      if (arc && j < k) {
        const double along = diameter * std::sin(std::fabs(turn) * t / 2.0);
        const double heading = tangent + t * turn / 2.0;
        out.push_back(
            Pose2D{a.x + along * std::cos(heading), a.y + along * std::sin(heading), yaw});
      } else {
        out.push_back(Pose2D{dx * t + a.x, dy * t + a.y, yaw});
      }
    }
  }
  return out;
}

class PostProcess {
 public:
  PostProcess(const FoundPath& found, const MotionPrimitiveTable& table,
              const CollisionChecker& checker, const PlanRequest& request,
              const PlannerConfig& config, const CancellationToken* token, Clock::time_point t0,
              PlannerResult& result, const FastCollisionCheck* fast)
      : found_(found),
        table_(table),
        checker_(checker),
        footprint_(ValidFootprint::validated(request.footprint)),
        config_(config),
        token_(token),
        t0_(t0),
        result_(result),
        diagnostics_(result.diagnostics),
        fast_(fast) {}

  void run() {
    assemble();
    tp_ = Clock::now();
    // Settings that passed validation can still be far too fine for the path found: resample and
    // the sweep of validatePath refuse to produce more than their sample limits. That is a bad
    // request, reported like the others rather than thrown out of plan().
    try {
      if (!smoothAndValidate()) {
        return;
      }
    } catch (const LimitExceeded& e) {
      refuse(e.what(), PlannerStatus::INVALID_REQUEST);
      return;
    }
    summarize();
  }

 private:
  // The raw path (the chain's poses, then the curve's) and the step counts of the search's
  // motions.
  void assemble() {
    std::vector<Pose2D>& path = result_.path;
    path.reserve(found_.poses.size() + found_.curve.size());
    path = found_.poses;
    result_.status = PlannerStatus::SUCCESS;
    result_.message = "path found";
    for (const KinematicSample& sample : found_.curve) {
      path.push_back(sample.pose);
    }
    const StepCounts counts = countSteps(found_.arrival_directions, found_.curve);
    diagnostics_.reverse_count = counts.reverse;
    diagnostics_.direction_switch_count = counts.direction_switches;
    diagnostics_.in_place_rotation_count = counts.rotations;
  }

  // The smoothed path when it validates, else the raw one, else the search's own samples. False
  // (the call refused) when none validates.
  bool smoothAndValidate() {
    std::vector<Pose2D>& path = result_.path;
    const std::vector<Pose2D> raw = path;
    if (config_.smooth_path && diagnostics_.reverse_count == 0 &&
        diagnostics_.in_place_rotation_count == 0 && diagnostics_.direction_switch_count == 0) {
      // The smoother honours the call's budget and token like the search: what it accepted
      // before either ran out is a valid path, and is kept.
      const auto out_of_time = [this] {
        return (token_ != nullptr && token_->cancelled()) ||
               secondsSince(t0_) > config_.max_planning_time_seconds;
      };
      path = smoothPath(path, checker_, footprint_, config_, kTooManyConfigSamples, out_of_time,
                        fast_);
    }
    std::vector<Pose2D> out = resample(path);
    if (passes(out, timedCollides(out, config_.collision_check_step))) {
      path = std::move(out);
      return true;
    }
    std::vector<Pose2D> fallback = resample(raw);
    const bool collides = timedCollides(fallback, config_.collision_check_step);
    const char* failure = nullptr;
    if (checkRadius() &&
        !PathSmoother::respectsTurningRadius(fallback, config_.minimum_turning_radius)) {
      failure = collides
                    ? "postprocessed path failed validation: collision=true, curvature=invalid"
                    : "postprocessed path failed validation: collision=false, curvature=invalid";
    } else if (collides) {
      failure = "postprocessed path failed validation: collision=true, curvature=valid";
    }
    if (failure != nullptr) {
      // Chords between node poses leave the arcs the search drove, and on a path that grazes an
      // obstacle (or on coarse cells, where a chord turns tighter than its arc) they can fail
      // where the search's own samples passed. Those samples, every primitive's in order and then
      // the curve's, are exactly what the search accepted. They lie one sample step apart up to
      // rounding, which must not make the sweep add a sample between two of them.
      std::vector<Pose2D> driven = resample(searchedSamples(found_, table_));
      const double step = config_.collision_check_step * (1.0 + 1e-9);
      if (!passes(driven, timedCollides(driven, step))) {
        refuse(failure, PlannerStatus::INTERNAL_ERROR);
        return false;
      }
      fallback = std::move(driven);
    }
    path = std::move(fallback);
    return true;
  }

  // The output labels (each pose's label is the step that leaves it, see PlannerResult), the
  // turns on the spot they count, the length and the times.
  void summarize() {
    const std::vector<Pose2D>& path = result_.path;
    const std::size_t n = path.size();
    result_.directions = directionLabels(path);
    const std::vector<Direction>& directions = result_.directions;
    std::uint32_t rotations = 0;
    for (std::size_t i = 0; i + 1 < n; ++i) {
      rotations += directions[i] == Direction::ROTATION ? 1 : 0;
    }
    diagnostics_.in_place_rotation_count = rotations;
    diagnostics_.smoothing_time_ms = millisecondsSince(tp_);
    double length = 0.0;
    for (std::size_t i = 1; i < n; ++i) {
      length += std::hypot(path[i].x - path[i - 1].x, path[i].y - path[i - 1].y);
    }
    diagnostics_.path_length = length;
    diagnostics_.total_time_ms = millisecondsSince(t0_);
  }

  // Chords between the poses, except where a car could not drive them: on cells coarser than
  // the output spacing a primitive's chord spans several steps, and the first of them leaves
  // its pose sideways. Those stretches, or with resample_along_arcs every stretch that turns,
  // are placed on their arcs.
  std::vector<Pose2D> resample(const std::vector<Pose2D>& poses) const {
    const double spacing = config_.path_output_spacing;
    if (config_.resample_along_arcs) {
      return resampleAlongArcs(poses, spacing, true);
    }
    std::vector<Pose2D> out = PathSmoother::resample(poses, spacing);
    if (!checkRadius() || everyStepDrivable(out)) {
      return out;
    }
    try {
      return resampleAlongArcs(poses, spacing, false);
    } catch (const LimitExceeded&) {
      // The arcs' extra steps would pass the output's size limit that the chords kept.
      return out;
    }
  }

  bool checkRadius() const { return !config_.allow_in_place_rotation; }

  // No collision, and no turn tighter than the radius unless the robot turns on the spot.
  bool passes(const std::vector<Pose2D>& poses, bool collides) const {
    return !collides && (!checkRadius() || PathSmoother::respectsTurningRadius(
                                               poses, config_.minimum_turning_radius));
  }

  bool timedCollides(const std::vector<Pose2D>& poses, double step) {
    const auto start = Clock::now();
    // validatePath's collision, but a refusal names the caller's collision_check_step (which
    // passed validation, so the step is finite and positive).
    const bool collides =
        fast_ != nullptr
            ? sweepCollides(*fast_, poses, step, kTooManyConfigSamples)
            : sweepFootprint(checker_, poses, footprint_, step, kTooManyConfigSamples).collision;
    diagnostics_.collision_check_time_ms += millisecondsSince(start);
    return collides;
  }

  void refuse(const char* message, PlannerStatus status) {
    result_.status = status;
    result_.message = message;
    result_.path.clear();
    result_.directions.clear();
    diagnostics_.smoothing_time_ms = millisecondsSince(tp_);
    diagnostics_.total_time_ms = millisecondsSince(t0_);
  }

  const FoundPath& found_;
  const MotionPrimitiveTable& table_;
  const CollisionChecker& checker_;
  // Validated when the request came in: the smoother and every sweep below place it unchecked.
  const ValidFootprint footprint_;
  const PlannerConfig& config_;
  const CancellationToken* token_;
  Clock::time_point t0_;
  PlannerResult& result_;
  PlannerDiagnostics& diagnostics_;
  const FastCollisionCheck* fast_;
  Clock::time_point tp_;
};

}  // namespace

void finishPlan(const FoundPath& found, const MotionPrimitiveTable& table,
                const CollisionChecker& checker, const PlanRequest& request,
                const PlannerConfig& config, const CancellationToken* token, Clock::time_point t0,
                PlannerResult& result, const FastCollisionCheck* fast) {
  PostProcess(found, table, checker, request, config, token, t0, result, fast).run();
}

}  // namespace veltrax::se2::detail
