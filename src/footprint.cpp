#include "veltrax/se2/footprint.hpp"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <limits>
#include <type_traits>

#include "detail/errors.hpp"
#include "detail/polygon_predicates.hpp"
#include "detail/yaw_bins.hpp"

namespace veltrax::se2 {

namespace {

using detail::cross;

constexpr double kGeometryTolerance = 1e-12;
constexpr std::uint32_t kMaxAngleBins = 65536;

bool hasDuplicatePoints(const std::vector<Point2D>& points) {
  for (std::size_t i = 0; i < points.size(); ++i) {
    for (std::size_t j = i + 1; j < points.size(); ++j) {
      if (std::fabs(points[i].x - points[j].x) <= kGeometryTolerance &&
          std::fabs(points[i].y - points[j].y) <= kGeometryTolerance) {
        return true;
      }
    }
  }
  return false;
}

// Only proper crossings count: touching and collinear overlap stay above the (negative) tolerance.
bool edgesCrossProperly(const Point2D& a, const Point2D& b, const Point2D& c, const Point2D& d) {
  const double s1 = cross(b.x - a.x, b.y - a.y, c.x - a.x, c.y - a.y) *
                    cross(b.x - a.x, b.y - a.y, d.x - a.x, d.y - a.y);
  const double s2 = cross(d.x - c.x, d.y - c.y, a.x - c.x, a.y - c.y) *
                    cross(d.x - c.x, d.y - c.y, b.x - c.x, b.y - c.y);
  return s1 < -kGeometryTolerance && s2 < -kGeometryTolerance;
}

bool selfIntersects(const std::vector<Point2D>& points) {
  const std::size_t n = points.size();
  for (std::size_t i = 0; i < n; ++i) {
    for (std::size_t j = i + 1; j < n; ++j) {
      const bool neighbours = j == i + 1 || (i == 0 && j == n - 1);
      if (!neighbours &&
          edgesCrossProperly(points[i], points[(i + 1) % n], points[j], points[(j + 1) % n])) {
        return true;
      }
    }
  }
  return false;
}

double twiceSignedArea(const std::vector<Point2D>& points) {
  const std::size_t n = points.size();
  double sum = 0.0;
  for (std::size_t k = 0; k < n; ++k) {
    const Point2D& p = points[k];
    const Point2D& q = points[(k + 1) % n];
    sum += p.x * q.y - q.x * p.y;
  }
  return sum;
}

// Appends the polygon's problems, each behind `prefix`.
void validatePolygon(const PolygonFootprint& polygon, const std::string& prefix,
                     std::vector<std::string>& problems) {
  const std::vector<Point2D>& points = polygon.points;
  const std::size_t before = problems.size();
  // The duplicate and crossing tests compare every pair of points and edges.
  if (points.size() > kMaxFootprintPoints) {
    problems.push_back(prefix + "polygon footprint must have at most 1024 points");
    return;
  }
  if (points.size() < 3) {
    problems.push_back(prefix + "polygon footprint requires at least three points");
  }
  for (const Point2D& p : points) {
    if (!std::isfinite(p.x) || !std::isfinite(p.y)) {
      problems.push_back(prefix + "polygon footprint points must be finite");
      break;
    }
  }
  // Beyond this point the geometry is meaningful, and the first problem found is the only one.
  if (problems.size() != before) {
    return;
  }
  if (hasDuplicatePoints(points)) {
    problems.push_back(prefix + "polygon footprint must not contain duplicate points");
  } else if (selfIntersects(points)) {
    problems.push_back(prefix + "polygon footprint must not self-intersect");
  } else if (std::fabs(twiceSignedArea(points)) <= kGeometryTolerance) {
    problems.push_back(prefix + "polygon footprint must have non-zero area");
  }
}

std::vector<std::string> validateShape(const CircleFootprint& circle) {
  if (std::isfinite(circle.radius) && circle.radius > 0.0) {
    return {};
  }
  return {"circle radius must be finite and positive"};
}

std::vector<std::string> validateShape(const PolygonFootprint& polygon) {
  std::vector<std::string> problems;
  validatePolygon(polygon, std::string(), problems);
  return problems;
}

std::vector<std::string> validateShape(const MultiPolygonFootprint& multi) {
  if (multi.polygons.empty()) {
    return {"multi-polygon footprint requires at least one polygon"};
  }
  std::size_t points = 0;
  for (const PolygonFootprint& polygon : multi.polygons) {
    points += polygon.points.size();
  }
  if (points > kMaxFootprintPoints) {
    return {"multi-polygon footprint must have at most 1024 points in all"};
  }
  std::vector<std::string> problems;
  for (std::size_t i = 0; i < multi.polygons.size(); ++i) {
    validatePolygon(multi.polygons[i], "multi-polygon component " + std::to_string(i) + ": ",
                    problems);
  }
  return problems;
}

PolygonFootprint rotated(const PolygonFootprint& polygon, double cos_yaw, double sin_yaw) {
  PolygonFootprint out;
  out.points.reserve(polygon.points.size());
  for (const Point2D& p : polygon.points) {
    out.points.push_back(Point2D{p.x * cos_yaw - p.y * sin_yaw, p.x * sin_yaw + p.y * cos_yaw});
  }
  return out;
}

Footprint rotated(const Footprint& footprint, double yaw) {
  const double cos_yaw = std::cos(yaw);
  const double sin_yaw = std::sin(yaw);
  return std::visit(
      [&](const auto& shape) -> Footprint {
        using Shape = std::decay_t<decltype(shape)>;
        if constexpr (std::is_same_v<Shape, CircleFootprint>) {
          // A disc centred on the robot looks the same at every yaw.
          return shape;
        } else if constexpr (std::is_same_v<Shape, PolygonFootprint>) {
          return rotated(shape, cos_yaw, sin_yaw);
        } else {
          MultiPolygonFootprint out;
          out.polygons.reserve(shape.polygons.size());
          for (const PolygonFootprint& component : shape.polygons) {
            out.polygons.push_back(rotated(component, cos_yaw, sin_yaw));
          }
          return out;
        }
      },
      footprint);
}

// Distance from the origin to the outline when the origin lies strictly inside, else 0.
double inscribedRadius(const PolygonFootprint& polygon) {
  const std::vector<Point2D>& points = polygon.points;
  const std::size_t n = points.size();
  bool inside = false;
  double nearest = std::numeric_limits<double>::infinity();
  for (std::size_t i = 0, j = n - 1; i < n; j = i++) {
    const Point2D& a = points[j];
    const Point2D& b = points[i];
    if ((a.y > 0.0) != (b.y > 0.0) && 0.0 < a.x + (0.0 - a.y) * (b.x - a.x) / (b.y - a.y)) {
      inside = !inside;
    }
    const double dx = b.x - a.x;
    const double dy = b.y - a.y;
    const double length_squared = dx * dx + dy * dy;
    const double t =
        length_squared > 0.0 ? std::clamp(-(a.x * dx + a.y * dy) / length_squared, 0.0, 1.0) : 0.0;
    nearest = std::min(nearest, std::hypot(a.x + t * dx, a.y + t * dy));
  }
  return inside ? nearest : 0.0;
}

}  // namespace

std::vector<std::string> validateFootprint(const Footprint& footprint) {
  return std::visit([](const auto& shape) { return validateShape(shape); }, footprint);
}

double inscribedRadius(const Footprint& footprint) {
  if (const auto* circle = std::get_if<CircleFootprint>(&footprint)) {
    return circle->radius;
  }
  if (const auto* polygon = std::get_if<PolygonFootprint>(&footprint)) {
    return polygon->points.empty() ? 0.0 : inscribedRadius(*polygon);
  }
  double best = 0.0;
  for (const PolygonFootprint& component : std::get<MultiPolygonFootprint>(footprint).polygons) {
    if (!component.points.empty()) {
      best = std::max(best, inscribedRadius(component));
    }
  }
  return best;
}

YawBinFootprintTemplates::YawBinFootprintTemplates(Footprint footprint, std::uint32_t angle_bins)
    : angle_bins_(angle_bins) {
  const std::vector<std::string> problems = validateFootprint(footprint);
  if (!problems.empty()) {
    detail::throwInvalidArgument(problems.front());
  }
  if (angle_bins < 8) {
    detail::throwInvalidArgument("angle_bins must be at least 8");
  }
  // Every bin holds a full copy of the footprint, so an absurd bin count (up to 2^32 - 1 fits
  // the type) would exhaust memory instead of failing cleanly.
  if (angle_bins > kMaxAngleBins) {
    detail::throwInvalidArgument("angle_bins must be at most 65536");
  }
  templates_.reserve(angle_bins);
  for (std::uint32_t k = 0; k < angle_bins; ++k) {
    // The product first, then the division, so that bin edges are reproducible by callers.
    const double lower_edge = static_cast<double>(k) * kTwoPi / static_cast<double>(angle_bins);
    templates_.push_back(rotated(footprint, lower_edge));
  }
}

std::uint32_t YawBinFootprintTemplates::yawToBin(double yaw) const {
  if (!std::isfinite(yaw)) {
    detail::throwInvalidArgument("yaw must be finite");
  }
  // Plain floor binning: the templates' bins start exactly at their lower edges.
  return detail::yawBin(yaw, angle_bins_, 0.0);
}

const Footprint& YawBinFootprintTemplates::at(std::uint32_t bin) const& {
  if (bin >= angle_bins_) {
    detail::throwOutOfRange("yaw bin is out of range");
  }
  return templates_[bin];
}

}  // namespace veltrax::se2
