#include <gtest/gtest.h>

#include <cstdint>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "veltrax/se2/svg.hpp"

namespace veltrax::se2 {
namespace {

constexpr double kHalfPi = 1.5707963267948966;

// 10 x 10 cells of 0.1 m from (-1, -1), all free: with 10 units per cell, world (x, y) is drawn
// at ((x + 1) * 100, 100 - (y + 1) * 100).
Costmap freeMap() { return Costmap(10, 10, 0.1, -1.0, -1.0, std::vector<std::uint8_t>(100, 0)); }

SvgRenderOptions tenPerCell() {
  SvgRenderOptions options;
  options.pixels_per_cell = 10;
  return options;
}

TEST(SvgRender, WholeDocumentOfATinyMapWithoutPath) {
  const Costmap map(2, 1, 0.5, 0.0, 0.0, {0, 254});
  PlanRequest request;
  request.goal = {0.75, 0.25, kHalfPi};
  EXPECT_EQ(renderPlanSvg(map, request, PlannerResult{}, SvgRenderOptions{}),
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
            "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"16\" height=\"8\" "
            "viewBox=\"0 0 16 8\">\n"
            "<rect width=\"100%\" height=\"100%\" fill=\"white\"/>\n"
            "<rect x=\"8.000\" y=\"0.000\" width=\"8.000\" height=\"8.000\" fill=\"rgb(1,1,1)\"/>\n"
            "<circle cx=\"0.000\" cy=\"8.000\" r=\"5.000\" fill=\"#2e7d32\" stroke=\"white\" "
            "stroke-width=\"2\"/>\n"
            "<line x1=\"0.000\" y1=\"8.000\" x2=\"13.000\" y2=\"8.000\" stroke=\"#2e7d32\" "
            "stroke-width=\"3\"/>\n"
            "<circle cx=\"12.000\" cy=\"4.000\" r=\"5.000\" fill=\"#c62828\" stroke=\"white\" "
            "stroke-width=\"2\"/>\n"
            "<line x1=\"12.000\" y1=\"4.000\" x2=\"12.000\" y2=\"-9.000\" stroke=\"#c62828\" "
            "stroke-width=\"3\"/>\n"
            "</svg>\n");
}

struct Escaped {
  std::string color;
  std::string written;
};

class SvgColours : public ::testing::TestWithParam<Escaped> {};

TEST_P(SvgColours, AreEscapedForXml) {
  SvgRenderOptions options = tenPerCell();
  options.path_color = GetParam().color;
  PlannerResult result;
  result.path = {{0.0, 0.0, 0.0}, {0.1, 0.0, 0.0}};
  const std::string svg = renderPlanSvg(freeMap(), PlanRequest{}, result, options);
  EXPECT_NE(svg.find(" stroke=\"" + GetParam().written + "\" stroke-width=\"3\" stroke-linecap"),
            std::string::npos)
      << svg;
}

INSTANTIATE_TEST_SUITE_P(Svg, SvgColours,
                         ::testing::Values(Escaped{"red", "red"}, Escaped{"a\"b", "a&quot;b"},
                                           Escaped{"<&>'", "&lt;&amp;&gt;&apos;"},
                                           Escaped{"&amp;", "&amp;amp;"},
                                           Escaped{"x\x01y\x1f", "x\xEF\xBF\xBDy\xEF\xBF\xBD"},
                                           Escaped{"t\tn\n\xc3\xa9", "t\tn\n\xc3\xa9"}));

struct BadOptions {
  std::uint64_t pixels_per_cell;
  std::uint64_t width;
  const char* message;
};

class SvgRejects : public ::testing::TestWithParam<BadOptions> {};

TEST_P(SvgRejects, PixelsPerCell) {
  const Costmap map(GetParam().width, 1, 1.0, 0.0, 0.0,
                    std::vector<std::uint8_t>(GetParam().width, 0));
  SvgRenderOptions options;
  options.pixels_per_cell = GetParam().pixels_per_cell;
  try {
    renderPlanSvg(map, PlanRequest{}, PlannerResult{}, options);
    FAIL() << "accepted";
  } catch (const std::invalid_argument& e) {
    EXPECT_STREQ(e.what(), GetParam().message);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Svg, SvgRejects,
    ::testing::Values(
        BadOptions{0, 1, "pixels_per_cell must be positive"},
        BadOptions{std::uint64_t{1} << 63, 2, "pixels_per_cell is too large for the costmap"},
        BadOptions{std::uint64_t{1} << 62, 5, "pixels_per_cell is too large for the costmap"}));

}  // namespace
}  // namespace veltrax::se2
