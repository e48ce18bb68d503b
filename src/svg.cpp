#include "veltrax/se2/svg.hpp"

#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <string>
#include <type_traits>
#include <variant>
#include <vector>

#include "detail/errors.hpp"
#include "detail/output_file.hpp"
#include "veltrax/se2/costs.hpp"

namespace veltrax::se2 {
namespace {

constexpr const char* kStartColor = "#2e7d32";
constexpr const char* kGoalColor = "#c62828";

void appendFixed(std::string& out, double value) {
  char buffer[400];  // %.3f of the largest double needs 313 characters
  const int length = std::snprintf(buffer, sizeof buffer, "%.3f", value);
  out.append(buffer, static_cast<std::size_t>(length));
}

std::string fixed(double value) {
  std::string text;
  appendFixed(text, value);
  return text;
}

// Attribute values are quoted with '"'; the five markup characters become entity references.
// Control characters other than tab, line feed and carriage return cannot appear in XML at all,
// not even as references, so they become U+FFFD.
std::string escapeXml(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&apos;"; break;
      default:
        if (static_cast<unsigned char>(c) < 0x20 && c != '\t' && c != '\n' && c != '\r') {
          out += "\xEF\xBF\xBD";
        } else {
          out += c;
        }
    }
  }
  return out;
}

// World metres to drawing units, world y pointing up the page.
struct Page {
  double scale;
  double resolution;
  double origin_x;
  double origin_y;
  double height_units;

  double x(double world_x) const { return (world_x - origin_x) / resolution * scale; }
  double y(double world_y) const {
    return height_units - (world_y - origin_y) / resolution * scale;
  }
};

// SVG has no numbers for NaN and the infinities, so a pose that would need one is left out.
bool drawable(const Page& page, const Pose2D& pose) {
  return std::isfinite(page.x(pose.x)) && std::isfinite(page.y(pose.y)) && std::isfinite(pose.yaw);
}

struct Colors {
  std::string path;
  std::string forward;
  std::string reverse;
  std::string rotation;

  // Entry i of the directions; past their end (or for a value outside the enumeration) forward.
  const std::string& of(const std::vector<Direction>& directions, std::size_t i) const {
    if (i < directions.size()) {
      switch (directions[i]) {
        case Direction::REVERSE: return reverse;
        case Direction::ROTATION: return rotation;
        default: return forward;
      }
    }
    return forward;
  }
};

void appendAttribute(std::string& out, const char* name, const std::string& value) {
  out += ' ';
  out += name;
  out += "=\"";
  out += value;
  out += '"';
}

void appendAttribute(std::string& out, const char* name, double value) {
  out += ' ';
  out += name;
  out += "=\"";
  appendFixed(out, value);
  out += '"';
}

void appendPolygon(std::string& out, const Page& page, const Pose2D& pose,
                   const PolygonFootprint& polygon, const std::string& color) {
  const double c = std::cos(pose.yaw);
  const double s = std::sin(pose.yaw);
  std::string points;
  for (const Point2D& p : polygon.points) {
    const double x = page.x(pose.x + p.x * c - p.y * s);
    const double y = page.y(pose.y + p.x * s + p.y * c);
    if (!std::isfinite(x) || !std::isfinite(y)) {
      return;  // a vertex far beyond the drawing, or not a number: no valid polygon
    }
    appendFixed(points, x);
    points += ',';
    appendFixed(points, y);
    points += ' ';
  }
  out += "<polygon points=\"";
  out += points;
  out += '"';
  appendAttribute(out, "fill", color);
  appendAttribute(out, "fill-opacity", 0.08);
  appendAttribute(out, "stroke", color);
  out += " stroke-width=\"1\"/>\n";
}

void appendFootprint(std::string& out, const Page& page, const Pose2D& pose,
                     const Footprint& footprint, const std::string& color) {
  std::visit(
      [&](const auto& shape) {
        using Shape = std::decay_t<decltype(shape)>;
        if constexpr (std::is_same_v<Shape, CircleFootprint>) {
          if (!std::isfinite(shape.radius / page.resolution * page.scale)) {
            return;
          }
          out += "<circle";
          appendAttribute(out, "cx", page.x(pose.x));
          appendAttribute(out, "cy", page.y(pose.y));
          appendAttribute(out, "r", shape.radius / page.resolution * page.scale);
          appendAttribute(out, "fill", color);
          appendAttribute(out, "fill-opacity", 0.08);
          appendAttribute(out, "stroke", color);
          out += " stroke-width=\"1\"/>\n";
        } else if constexpr (std::is_same_v<Shape, PolygonFootprint>) {
          appendPolygon(out, page, pose, shape, color);
        } else {
          for (const PolygonFootprint& polygon : shape.polygons) {
            appendPolygon(out, page, pose, polygon, color);
          }
        }
      },
      footprint);
}

void appendMarker(std::string& out, const Page& page, const Pose2D& pose, const char* color) {
  const double x = page.x(pose.x);
  const double y = page.y(pose.y);
  out += "<circle";
  appendAttribute(out, "cx", x);
  appendAttribute(out, "cy", y);
  appendAttribute(out, "r", 5.0);
  appendAttribute(out, "fill", color);
  out += " stroke=\"white\" stroke-width=\"2\"/>\n<line";
  appendAttribute(out, "x1", x);
  appendAttribute(out, "y1", y);
  appendAttribute(out, "x2", x + 13.0 * std::cos(pose.yaw));
  appendAttribute(out, "y2", y - 13.0 * std::sin(pose.yaw));
  appendAttribute(out, "stroke", color);
  out += " stroke-width=\"3\"/>\n";
}

// The XML declaration, the svg element's start tag and the white background.
std::string documentHead(const Costmap& costmap, const SvgRenderOptions& options) {
  const std::string page_width = std::to_string(costmap.width() * options.pixels_per_cell);
  const std::string page_height = std::to_string(costmap.height() * options.pixels_per_cell);
  std::string out = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
  out += "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + page_width + "\" height=\"" +
         page_height + "\" viewBox=\"0 0 " + page_width + " " + page_height + "\">\n";
  out += "<rect width=\"100%\" height=\"100%\" fill=\"white\"/>\n";
  return out;
}

// One square per cell that is not free, darker the higher its cost (unknown mid grey). The column
// and row coordinates and the 256 fills are formatted once, not per cell.
void appendCells(std::string& out, const Costmap& costmap, double s) {
  const std::uint64_t width = costmap.width();
  const std::uint64_t height = costmap.height();
  std::array<std::string, 256> fills;
  for (int cost = kFreeCost + 1; cost < 256; ++cost) {
    const int grey = cost == kUnknownCost ? 105 : 255 - cost;
    fills[cost] = "\" fill=\"rgb(" + std::to_string(grey) + "," + std::to_string(grey) + "," +
                  std::to_string(grey) + ")\"/>\n";
  }
  std::vector<std::string> column_x(width);
  for (std::uint64_t x = 0; x < width; ++x) {
    column_x[x] = fixed(static_cast<double>(x) * s);
  }
  const std::string size = "\" width=\"" + fixed(s) + "\" height=\"" + fixed(s);
  const std::vector<std::uint8_t>& cells = costmap.cells();
  for (std::uint64_t y = 0; y < height; ++y) {
    const std::uint8_t* row = cells.data() + y * width;
    const std::string row_y = "\" y=\"" + fixed(static_cast<double>(height - 1 - y) * s);
    for (std::uint64_t x = 0; x < width; ++x) {
      if (row[x] == kFreeCost) {
        continue;
      }
      out += "<rect x=\"";
      out += column_x[x];
      out += row_y;
      out += size;
      out += fills[row[x]];
    }
  }
}

// The cell borders as one path of vertical and then horizontal lines.
void appendGrid(std::string& out, const Costmap& costmap, const SvgRenderOptions& options) {
  const double s = static_cast<double>(options.pixels_per_cell);
  const std::string page_width = std::to_string(costmap.width() * options.pixels_per_cell);
  const std::string page_height = std::to_string(costmap.height() * options.pixels_per_cell);
  out += "<path d=\"";
  for (std::uint64_t i = 0; i <= costmap.width(); ++i) {
    out += 'M';
    appendFixed(out, static_cast<double>(i) * s);
    out += " 0V" + page_height;
  }
  for (std::uint64_t j = 0; j <= costmap.height(); ++j) {
    out += "M0 ";
    appendFixed(out, static_cast<double>(j) * s);
    out += 'H' + page_width;
  }
  out += "\" stroke=\"#d0d0d0\" stroke-width=\"0.5\"/>\n";
}

// The footprint at every stride-th pose of a non-empty path (only the first for a stride of 0),
// in the colour of that pose's direction.
void appendFootprints(std::string& out, const Page& page, const Footprint& footprint,
                      const PlannerResult& result, const Colors& colors,
                      std::uint64_t footprint_stride) {
  const std::vector<Pose2D>& path = result.path;
  const std::size_t stride = footprint_stride == 0 || footprint_stride > path.size()
                                 ? path.size()
                                 : static_cast<std::size_t>(footprint_stride);
  for (std::size_t i = 0; i < path.size(); i += stride) {
    if (drawable(page, path[i])) {
      appendFootprint(out, page, path[i], footprint, colors.of(result.directions, i));
    }
  }
}

// One line per step of the path.
void appendPath(std::string& out, const Page& page, const PlannerResult& result,
                const Colors& colors) {
  const std::vector<Pose2D>& path = result.path;
  for (std::size_t i = 1; i < path.size(); ++i) {
    if (!drawable(page, path[i - 1]) || !drawable(page, path[i])) {
      continue;
    }
    out += "<line";
    appendAttribute(out, "x1", page.x(path[i - 1].x));
    appendAttribute(out, "y1", page.y(path[i - 1].y));
    appendAttribute(out, "x2", page.x(path[i].x));
    appendAttribute(out, "y2", page.y(path[i].y));
    // A segment takes its end pose's label (the labels themselves describe the step leaving a
    // pose).
    appendAttribute(out, "stroke",
                    result.directions.empty() ? colors.path : colors.of(result.directions, i));
    // A partial path, which ends short of the goal, is dashed.
    out += result.partial ? " stroke-width=\"3\" stroke-dasharray=\"6 4\"/>\n"
                          : " stroke-width=\"3\" stroke-linecap=\"round\"/>\n";
  }
}

void checkOptions(const Costmap& costmap, const SvgRenderOptions& options) {
  const std::uint64_t per_cell = options.pixels_per_cell;
  if (per_cell == 0) {
    detail::throwInvalidArgument("pixels_per_cell must be positive");
  }
  constexpr std::uint64_t kMax = std::numeric_limits<std::uint64_t>::max();
  if (costmap.width() > kMax / per_cell || costmap.height() > kMax / per_cell) {
    detail::throwInvalidArgument("pixels_per_cell is too large for the costmap");
  }
}

}  // namespace

std::string renderPlanSvg(const Costmap& costmap, const PlanRequest& request,
                          const PlannerResult& result, const SvgRenderOptions& options) {
  checkOptions(costmap, options);
  const double s = static_cast<double>(options.pixels_per_cell);
  const Page page{s, costmap.resolution(), costmap.originX(), costmap.originY(),
                  static_cast<double>(costmap.height()) * s};
  const Colors colors{escapeXml(options.path_color), escapeXml(options.forward_color),
                      escapeXml(options.reverse_color), escapeXml(options.rotation_color)};
  // Layers from the bottom up: the page, the cells, the grid, the footprints, the path and the
  // start and goal markers on top.
  std::string out = documentHead(costmap, options);
  appendCells(out, costmap, s);
  if (options.draw_grid && options.pixels_per_cell > 3) {
    appendGrid(out, costmap, options);
  }
  if (options.draw_footprints && !result.path.empty()) {
    appendFootprints(out, page, request.footprint, result, colors, options.footprint_stride);
  }
  appendPath(out, page, result, colors);
  if (drawable(page, request.start)) {
    appendMarker(out, page, request.start, kStartColor);
  }
  if (drawable(page, request.goal)) {
    appendMarker(out, page, request.goal, kGoalColor);
  }
  out += "</svg>\n";
  return out;
}

void savePlanSvg(const Costmap& costmap, const PlanRequest& request, const PlannerResult& result,
                 const std::string& path, const SvgRenderOptions& options) {
  // Bad options must fail before the output file is looked at.
  checkOptions(costmap, options);
  detail::replaceFileContents(
      path, "cannot open SVG output file: ", "failed to write SVG output file: ", [&] {
        return renderPlanSvg(costmap, request, result, options);
      });
}

}  // namespace veltrax::se2
