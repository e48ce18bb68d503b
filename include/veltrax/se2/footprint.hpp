#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <variant>
#include <vector>

#include "veltrax/se2/export.hpp"
#include "veltrax/se2/geometry.hpp"
#include "veltrax/se2/lifetime.hpp"

namespace veltrax::se2 {

// A disc centred on the pose position.
struct VELTRAX_SE2_EXPORT CircleFootprint {
  double radius = 0.0;
};

// A simple polygon in the robot frame; the last vertex joins the first; either winding.
struct VELTRAX_SE2_EXPORT PolygonFootprint {
  std::vector<Point2D> points;
};

// The union of its components, which may overlap or be disjoint.
struct VELTRAX_SE2_EXPORT MultiPolygonFootprint {
  std::vector<PolygonFootprint> polygons;
};

// The alternative order is part of the interface (Python tries the classes in this order).
using Footprint = std::variant<CircleFootprint, PolygonFootprint, MultiPolygonFootprint>;

// The most points a footprint may have (all components of a multi-polygon together): validation
// compares every pair, and every collision check walks every edge.
inline constexpr std::size_t kMaxFootprintPoints = 1024;

// Every problem of the footprint as a message; empty when it is valid. Never throws for geometry.
// Past kMaxFootprintPoints the only problem reported is the count.
VELTRAX_SE2_EXPORT std::vector<std::string> validateFootprint(const Footprint& footprint);

// Radius of the largest disc about the robot origin inside the footprint (for several polygons,
// the largest such disc inside one of them); 0 when the origin lies outside or on the outline.
// Trusts the footprint to be valid.
VELTRAX_SE2_EXPORT double inscribedRadius(const Footprint& footprint);

// The footprint pre-rotated to the lower edge of each of angle_bins equal yaw bins over [0, 2 pi).
class VELTRAX_SE2_EXPORT YawBinFootprintTemplates {
 public:
  // Throws std::invalid_argument with the footprint's first problem, or when angle_bins is
  // below 8 or above 65536.
  YawBinFootprintTemplates(Footprint footprint, std::uint32_t angle_bins);

  std::uint32_t angleBins() const noexcept { return angle_bins_; }
  // Floor binning from yaw 0, exactly: unlike the planner's node keys, which move a yaw a
  // rounding error below a bin edge into the upper bin. Throws std::invalid_argument "yaw must be
  // finite".
  std::uint32_t yawToBin(double yaw) const;
  // The template of a bin, owned by this object: valid while it lives. Throws std::out_of_range
  // "yaw bin is out of range".
  const Footprint& at(std::uint32_t bin) const& VELTRAX_SE2_LIFETIMEBOUND;
  // On a temporary the reference would dangle at the end of the statement.
  const Footprint& at(std::uint32_t bin) const&& = delete;

 private:
  std::uint32_t angle_bins_;
  std::vector<Footprint> templates_;
};

}  // namespace veltrax::se2
