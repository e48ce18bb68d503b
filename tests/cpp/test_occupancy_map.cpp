#include <gtest/gtest.h>

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "file_fixture.hpp"
#include "veltrax/se2/occupancy_map.hpp"

namespace veltrax::se2 {
namespace {

using Bytes = std::vector<std::uint8_t>;

// Expected costs worked out by hand from occupancy = (255 - grey) / 255 (grey / 255 negated):
// lethal above 0.65, free below 0.196; scale grades rint((o - 0.196) / 0.454 * 252).
TEST(OccupancyCosts, GreyLevelsUnderEachMode) {
  const Bytes greys = {0, 89, 90, 204, 205, 254, 255};
  OccupancyMapInfo info;
  EXPECT_EQ(occupancyImageToCosts(greys, info), (Bytes{254, 254, 255, 255, 255, 0, 0}));
  info.negate = true;
  EXPECT_EQ(occupancyImageToCosts(greys, info), (Bytes{0, 255, 255, 254, 254, 254, 254}));
  info.negate = false;
  info.mode = OccupancyMode::Scale;
  EXPECT_EQ(occupancyImageToCosts(greys, info), (Bytes{254, 254, 250, 2, 0, 0, 0}));
  // Raw pixels are percentages (255 unknown), and negate does not apply to them.
  info.mode = OccupancyMode::Raw;
  info.negate = true;
  EXPECT_EQ(occupancyImageToCosts({0, 19, 20, 65, 66, 100, 255}, info),
            (Bytes{0, 0, 255, 255, 254, 254, 255}));
  EXPECT_THROW(
      try {
        occupancyImageToCosts({0, 101}, info);
      } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "raw occupancy value 101 is neither 0..100 nor 255 (unknown)");
        throw;
      },
      std::runtime_error);
  EXPECT_EQ(occupancyPercentToCosts({-1, 0, 19, 20, 65, 66, 100}),
            (Bytes{255, 0, 0, 255, 255, 254, 254}));
  EXPECT_EQ(occupancyPercentToCosts({-1, 0, 19, 20, 65, 66, 100}, 0.65, 0.196, true),
            (Bytes{255, 0, 0, 2, 252, 254, 254}));
  for (const auto& [values, occupied, free, message] :
       std::vector<std::tuple<std::vector<std::int8_t>, double, double, std::string>>{
           {{0, -2}, 0.65, 0.196, "occupancy value -2 is outside -1..100"},
           {{101}, 0.65, 0.196, "occupancy value 101 is outside -1..100"},
           {{0}, 0.1, 0.2, "thresholds must satisfy 0 <= free_thresh <= occupied_thresh <= 1"},
           {{0}, 1.5, 0.2, "thresholds must satisfy 0 <= free_thresh <= occupied_thresh <= 1"}}) {
    try {
      occupancyPercentToCosts(values, occupied, free);
      ADD_FAILURE() << message;
    } catch (const std::invalid_argument& e) {
      EXPECT_EQ(e.what(), message);
    }
  }
}

class MapDescription : public testing::TemporaryDirectoryTest {};

TEST_F(MapDescription, FieldsAndRefusals) {
  write("m.pgm", std::string("P5\n2 1\n255\n\x00\xff", 14));
  const std::string good = "image: m.pgm\nresolution: 0.5\norigin: [1.0, -2.0, 0.0]\n";
  const Costmap map = loadOccupancyMap(write("m.yaml", good + "negate: 1\nmode: trinary\n"));
  EXPECT_EQ(map.cells(), (Bytes{0, 254}));
  EXPECT_EQ(map.resolution(), 0.5);
  EXPECT_EQ(map.originX(), 1.0);
  EXPECT_EQ(map.originY(), -2.0);

  const std::string origin = "origin: [0, 0]\n";
  for (const auto& [text, message] : std::vector<std::pair<std::string, std::string>>{
           {"resolution: 1\n" + origin, "missing key 'image'"},
           {"image: m.pgm\n" + origin, "missing key 'resolution'"},
           {"image: m.pgm\nresolution: '0.5'\n" + origin,
            "'resolution' must be a finite number, got '0.5'"},
           {"image: m.pgm\nresolution: .inf\n" + origin,
            "'resolution' must be a finite number, got .inf"},
           {"image: m.pgm\nresolution: -0.5\n" + origin, "'resolution' must be positive, got -0.5"},
           {"image: m.pgm\nresolution: 1\norigin: [0]\n",
            "'origin' must be a list [x, y, yaw] of finite numbers"},
           {"image: m.pgm\nresolution: 1\norigin: [0, 0, 0.5]\n",
            "origin yaw 0.5 is not supported; costmaps are axis-aligned, rotate the image instead"},
           {good + "negate: 2\n", "'negate' must be 0 or 1, got 2"},
           {good + "free_thresh: 0.9\n",
            "thresholds must satisfy 0 <= free_thresh <= occupied_thresh <= 1"},
           {good + "mode: fancy\n", "'mode' must be one of trinary, scale, raw, got fancy"},
           {"[1, 2]\n", "expected a mapping of map fields"},
           {"image: [\n",
            "not valid YAML (yaml-cpp: error at line 2, column 1: end of sequence "
            "flow not found)"},
           {std::string(5000, '['), "nested too deeply"},
           {"image: m\xff.pgm\n", "not UTF-8 text"}}) {
    const std::string path = write("bad.yaml", text);
    try {
      loadOccupancyMap(path);
      ADD_FAILURE() << message;
    } catch (const std::runtime_error& e) {
      EXPECT_EQ(e.what(), path + ": " + message);
    }
  }
  try {
    loadOccupancyMap(pathOf("none.yaml"));
    ADD_FAILURE();
  } catch (const std::runtime_error& e) {
    EXPECT_EQ(e.what(),
              "cannot read map file " + pathOf("none.yaml") + ": No such file or directory");
  }
  try {
    loadOccupancyMap(write("png.yaml", "image: m.png\nresolution: 1\n" + origin));
    ADD_FAILURE();
  } catch (const std::runtime_error& e) {
    EXPECT_EQ(e.what(), pathOf("m.png") + ": only PGM images are read here");
  }
}

}  // namespace
}  // namespace veltrax::se2
