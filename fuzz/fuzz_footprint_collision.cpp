// Footprint validation on arbitrary shapes, then a collision check of the shape on a small map.
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "fuzz_support.hpp"
#include "veltrax/se2/collision.hpp"
#include "veltrax/se2/costmap.hpp"
#include "veltrax/se2/footprint.hpp"

namespace {

using namespace veltrax::se2;

// Coordinates mostly on a coarse lattice, so that duplicates, collinear runs and crossings are
// common, and sometimes anything at all.
double coordinate(FuzzedDataProvider& in) {
  const std::uint8_t kind = in.ConsumeIntegral<std::uint8_t>();
  if (kind < 160) {
    return static_cast<double>(static_cast<int>(kind % 9) - 4) * 0.125;
  }
  if (kind < 240) {
    return in.ConsumeFloatingPointInRange(-2.0, 2.0);
  }
  return fuzz::boundedOrHostile(in, -1e6, 1e6);
}

PolygonFootprint polygon(FuzzedDataProvider& in) {
  PolygonFootprint result;
  const std::size_t count = in.ConsumeIntegralInRange<std::size_t>(0, 12);
  for (std::size_t i = 0; i < count; ++i) {
    const double x = coordinate(in);
    result.points.push_back({x, coordinate(in)});
  }
  return result;
}

Footprint footprint(FuzzedDataProvider& in) {
  switch (in.ConsumeIntegralInRange<int>(0, 2)) {
    case 0: return CircleFootprint{fuzz::boundedOrHostile(in, 0.0, 2.0)};
    case 1: return polygon(in);
    default: {
      MultiPolygonFootprint multi;
      const std::size_t count = in.ConsumeIntegralInRange<std::size_t>(0, 4);
      for (std::size_t i = 0; i < count; ++i) {
        multi.polygons.push_back(polygon(in));
      }
      return multi;
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  const std::uint64_t width = in.ConsumeIntegralInRange<std::uint64_t>(1, 12);
  const std::uint64_t height = in.ConsumeIntegralInRange<std::uint64_t>(1, 12);
  const bool uniform = in.ConsumeBool();
  const std::uint8_t fill = in.ConsumeIntegral<std::uint8_t>();
  std::vector<std::uint8_t> cells(width * height, fill);
  if (!uniform) {
    for (auto& cell : cells) {
      cell = in.ConsumeIntegral<std::uint8_t>();
    }
  }
  const double resolution = in.ConsumeFloatingPointInRange(0.05, 0.5);
  const Costmap costmap(width, height, resolution, -0.5 * resolution * static_cast<double>(width),
                        -0.5 * resolution * static_cast<double>(height), std::move(cells));
  const bool allow_unknown = in.ConsumeBool();
  const CollisionChecker checker(costmap, allow_unknown);

  const Footprint shape = footprint(in);
  const std::vector<std::string> problems = validateFootprint(shape);
  Pose2D pose;
  pose.x = fuzz::boundedOrHostile(in, -1.0, 1.0);
  pose.y = fuzz::boundedOrHostile(in, -1.0, 1.0);
  pose.yaw = fuzz::boundedOrHostile(in, -7.0, 7.0);
  const bool finite_pose =
      std::isfinite(pose.x) && std::isfinite(pose.y) && std::isfinite(pose.yaw);

  CollisionResult checked;
  try {
    checked = checker.check(pose, shape);
    fuzz::require(problems.empty() && finite_pose, "check accepts only valid input");
  } catch (const std::invalid_argument& error) {
    const std::string expected =
        !problems.empty() ? problems.front() : std::string("collision pose must be finite");
    fuzz::require(error.what() == expected, "check throws the first problem", error.what());
    return 0;
  }

  fuzz::require(checker.checkValidated(pose, shape) == checked, "checkValidated agrees");
  if (checked.outside_map) {
    // A multi-polygon may have touched an unknown cell with an earlier component.
    const bool multi = std::holds_alternative<MultiPolygonFootprint>(shape);
    fuzz::require(checked.collision && (checked.max_cost == kLethalCost ||
                                        (multi && checked.max_cost == kUnknownCost)),
                  "leaving the map is a lethal collision");
  } else {
    fuzz::require(
        checked.collision == checker.blocked(checked.max_cost) ||
            (checked.collision && checker.allowUnknown() && checked.max_cost == kUnknownCost),
        "collision follows the touched costs");
    if (uniform) {
      fuzz::require(checked.max_cost == fill, "a uniform map gives its one cost");
    }
  }

  // The same shape as yaw-binned templates: valid shapes always build, and every yaw has a bin.
  const std::uint32_t bins = in.ConsumeIntegralInRange<std::uint32_t>(8, 720);
  const YawBinFootprintTemplates templates(shape, bins);
  const std::uint32_t bin = templates.yawToBin(pose.yaw);
  fuzz::require(bin < bins, "yaw bin in range");
  fuzz::require(templates.at(bin).index() == shape.index(), "a template keeps its shape kind");
  return 0;
}
