// Map loaders (costs, and occupancy maps as robots keep them), result writers and the SVG renderer:
// exact bytes in and out, and one table of the files and arguments they refuse, each failing
// cleanly without touching what was there before.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cstdlib>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <tuple>
#include <vector>

#include "test_support.hpp"
#include "veltrax/se2/io.hpp"
#include "veltrax/se2/occupancy_map.hpp"
#include "veltrax/se2/svg.hpp"

namespace veltrax::se2 {
namespace {

using testing_support::thrownMessage;
using Bytes = std::vector<std::uint8_t>;

auto geometry(const Costmap& map) {
  return std::make_tuple(static_cast<unsigned>(map.width()), static_cast<unsigned>(map.height()),
                         map.resolution(), map.originX(), map.originY());
}

// A fresh directory per test, removed with everything in it afterwards.
class Files : public ::testing::Test {
 public:
  void SetUp() override {
    char pattern[] = "/tmp/veltrax-files-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    dir_ = pattern;
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }
  std::string pathOf(const std::string& name) const { return (dir_ / name).string(); }
  std::string write(const std::string& name, const std::string& bytes) const {
    std::ofstream(pathOf(name), std::ios::binary) << bytes;
    return pathOf(name);
  }
  static std::string read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  std::filesystem::path dir_;
};

TEST_F(Files, PgmImagesAreFlippedIntoRowsAndGreysScaledRoundingHalvesUp) {
  const Costmap map =
      loadCostmapPgm(write("a.pgm", "P2\n# by hand\n3 2\n255\n0 1 2\n3 4 5\n"), 0.25, -1.0, 2.0);
  EXPECT_EQ(geometry(map), std::make_tuple(3u, 2u, 0.25, -1.0, 2.0));
  EXPECT_EQ(map.cells(), (Bytes{3, 4, 5, 0, 1, 2}));  // the first image row is the top one
  EXPECT_EQ(loadCostmapPgm(write("b.pgm", "P2 5 1 100 0 1 50 99 100"), 1.0, 0, 0).cells(),
            (Bytes{0, 3, 128, 252, 255}));
  EXPECT_EQ(loadCostmapPgm(write("c.pgm", "P5 2 1 9\n\x09\x03"), 1.0, 0, 0).cells(),
            (Bytes{255, 85}));
}

TEST_F(Files, CsvFirstDataLineIsRowZeroWhateverTheSpelling) {
  const Costmap map = loadCostmapCsv(write("a.csv", "# costs\n1,2,3\n\n4,5,6\n"), 0.1, 3.0, -4.0);
  EXPECT_EQ(geometry(map), std::make_tuple(3u, 2u, 0.1, 3.0, -4.0));
  EXPECT_EQ(map.cells(), (Bytes{1, 2, 3, 4, 5, 6}));
  for (const char* text : {"1 2 3\n", " 1 ,\t2, 3 ,\n", ",,,\n1,2,3\n,\n", "  # note\n+1,2,003",
                           "\r\n1,2,3\r\n\r\n", "1,,2,,3\n", ",1,2,3"}) {
    EXPECT_EQ(loadCostmapCsv(write("b.csv", text), 1.0, 0, 0).cells(), (Bytes{1, 2, 3})) << text;
  }
}

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
  EXPECT_EQ(thrownMessage([&] {
              occupancyImageToCosts({0, 101}, info);
            }),
            "runtime_error: raw occupancy value 101 is neither 0..100 nor 255 (unknown)");
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
    EXPECT_EQ(thrownMessage([&] { occupancyPercentToCosts(values, occupied, free); }), message);
  }
}

TEST_F(Files, MapDescriptionsFieldsAndRefusals) {
  write("m.pgm", std::string("P5\n2 1\n255\n\x00\xff", 14));
  const std::string good = "image: m.pgm\nresolution: 0.5\norigin: [1.0, -2.0, 0.0]\n";
  // Well-formed UTF-8 of every length passes (here in a comment).
  const Costmap map = loadOccupancyMap(
      write("m.yaml", good + "negate: 1\nmode: trinary\n# \xc3\xa9\xe2\x82\xac\xf4\x8f\xbf\xbf\n"));
  EXPECT_EQ(map.cells(), (Bytes{0, 254}));
  EXPECT_EQ(geometry(map), std::make_tuple(2u, 1u, 0.5, 1.0, -2.0));

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
           {good + "mode: fancy\n", "'mode' must be one of trinary, scale, raw, got 'fancy'"},
           {"[1, 2]\n", "expected a mapping of map fields"},
           {"image: [\n",
            "not valid YAML (yaml-cpp: error at line 2, column 1: end of sequence "
            "flow not found)"},
           {std::string(5000, '['), "nested too deeply"},
           {"image: m\xff.pgm\n", "not UTF-8 text"},
           {good + "# \xc0\xaf\n", "not UTF-8 text"},             // overlong '/'
           {good + "# \xe0\x80\xaf\n", "not UTF-8 text"},         // overlong '/'
           {good + "# \xed\xa0\x80\n", "not UTF-8 text"},         // surrogate U+D800
           {good + "# \xf4\x90\x80\x80\n", "not UTF-8 text"}}) {  // U+110000
    const std::string path = write("bad.yaml", text);
    EXPECT_EQ(thrownMessage([&] { loadOccupancyMap(path); }),
              "runtime_error: " + path + ": " + message);
  }
  EXPECT_EQ(
      thrownMessage([&] { loadOccupancyMap(pathOf("none.yaml")); }),
      "runtime_error: cannot read map file " + pathOf("none.yaml") + ": No such file or directory");
  const std::string bmp = write("bmp.yaml", "image: m.bmp\nresolution: 1\n" + origin);
  EXPECT_EQ(thrownMessage([&] { loadOccupancyMap(bmp); }),
            "runtime_error: " + pathOf("m.bmp") + ": only PGM and PNG images are read here");
}

// MovingAI grids: the first grid row is the top of the map; trees and water block, swamp does not.
TEST_F(Files, MovingAiGridsAndTheirRefusals) {
  const std::string head = "type octile\nheight 2\nwidth 4\nmap\n";
  const Costmap map = loadMovingAiMap(write("a.map", head + ".GST\r\n@OW.\n\n"), 0.5, 1.0, 2.0);
  EXPECT_EQ(map.cells(), (Bytes{254, 254, 254, 0, 0, 0, 0, 254}));
  EXPECT_EQ(std::make_tuple(map.width(), map.resolution(), map.originX(), map.originY()),
            std::make_tuple(std::uint64_t{4}, 0.5, 1.0, 2.0));
  // The variant that names its characters, with no type and no map line.
  const std::string named = "height 2\nwidth 4\nfree .\nobstacle @\nobstacle T\n";
  EXPECT_EQ(loadMovingAiMap(write("b.map", named + ".@@T\n@...\n"), 1.0).cells(),
            (Bytes{254, 0, 0, 0, 0, 254, 254, 254}));
  const std::string expected_headers =
      "; expected 'type', 'height', 'width' and 'map' lines, or 'height', 'width', 'free' and "
      "'obstacle' lines, before the rows";
  for (const auto& [text, message] : std::vector<std::pair<std::string, std::string>>{
           {named + ".@@T\n@.G.\n", "unknown terrain 'G' in row 2 (expected one of . @ T)"},
           {named + ".@@T\n...\n", "expected 2 rows of 4 characters"},
           {named + ".@@T\n", "grid of 4 x 2 cells does not fit in the 5 bytes after the header"},
           {"height 2\nwidth 4\nfree .\n....\n....\n",
            "not a MovingAI grid (header line '....')" + expected_headers},
           {"height 2\nwidth 4\nfree .\nmap\n....\n....\n",
            "the header names no 'obstacle' character" + expected_headers},
           {"free .\nobstacle .\n", "the header names '.' both free and obstacle"},
           {head + "....\n.X..\n", "unknown terrain 'X' in row 2 (expected one of . G S @ O T W)"},
           // Bytes a terminal would act on, or a C string end at, are quoted escaped.
           {head + "....\n." + std::string(1, '\0') + "..\n",
            "unknown terrain '\\x00' in row 2 (expected one of . G S @ O T W)"},
           {"type octile\nsay \x1b[2J" + std::string(1, '\0') + " x\n",
            "not a MovingAI grid (header line 'say \\x1b[2J\\x00 x')" + expected_headers},
           // A blank line within the grid is a row of no cells.
           {head + "....\n\n....\n", "expected 2 rows of 4 characters"},
           // A 100 kB file cannot hold ten billion cells: refused before anything is allocated.
           {"type octile\nheight 100000\nwidth 100000\nmap\n" + std::string(100000, '.'),
            "grid of 100000 x 100000 cells does not fit in the 100000 bytes after the header"},
           {head + "....\n", "grid of 4 x 2 cells does not fit in the 5 bytes after the header"},
           {head + "....\n...\n", "expected 2 rows of 4 characters"},
           {"type octile\nheight 2\nmap\n", "the header needs integer 'height' and 'width'"},
           {"type octile\nheight 0\nwidth 4\nmap\n", "grid of 4 x 0 cells is out of range"},
           {"hello world\n", "not a MovingAI grid (header line 'hello world')" + expected_headers},
           {"type octile\n", "not a MovingAI grid (no 'map' line)"}}) {
    const std::string path = write("bad.map", text);
    EXPECT_EQ(thrownMessage([&] { loadMovingAiMap(path, 1.0); }),
              "runtime_error: " + path + ": " + message);
  }
}

// What a call ends with: "ok", or the type it threw (the most derived of those a caller can catch
// by) and the message.
std::string outcome(const std::function<void()>& call) {
  try {
    call();
    return "ok";
  } catch (const FileError& e) {
    return std::string("FileError: ") + e.what();
  } catch (const MapFormatError& e) {
    return std::string("MapFormatError: ") + e.what();
  } catch (const std::invalid_argument& e) {
    return std::string("invalid_argument: ") + e.what();
  }
}

// loadMap picks the loader by extension (case aside), else by the first bytes, and passes each
// loader's errors on with their types; files it cannot read are FileErrors, contents it cannot
// use MapFormatErrors.
TEST_F(Files, LoadMapChoosesTheLoaderAndTypesItsFailures) {
  MapLoadOptions at_half;
  at_half.resolution = 0.5;
  at_half.origin_x = -1.0;
  MapLoadOptions occupancy = at_half;
  occupancy.occupancy = true;
  const std::string grid = "type octile\nheight 1\nwidth 3\nmap\n.@.\n";
  write("m.pgm", std::string("P5 3 1 255\n\x00\xcd\xfe", 14));
  const std::string yaml = write("m.yaml", "image: m.pgm\nresolution: 0.25\norigin: [2, 3, 0]\n");
  for (const auto& [name, bytes, options, format, cells] :
       std::vector<std::tuple<std::string, std::string, MapLoadOptions, MapFormat, Bytes>>{
           {"M.PGM", "P2 3 1 255 0 205 254", at_half, MapFormat::Pgm, {0, 205, 254}},
           {"pgm_bytes", "P2\n3 1 255 0 205 254", at_half, MapFormat::Pgm, {0, 205, 254}},
           {"o.pgm", "P2 3 1 255 0 205 254", occupancy, MapFormat::Pgm, {254, 255, 0}},
           {"g.Map", grid, at_half, MapFormat::MovingAi, {0, 254, 0}},
           {"grid.txt", grid, at_half, MapFormat::MovingAi, {0, 254, 0}},
           {"c.csv", "0,205,254\n", at_half, MapFormat::Csv, {0, 205, 254}}}) {
    const std::string path = write(name, bytes);
    EXPECT_EQ(mapFormat(path), format) << name;
    const Costmap map = loadMap(path, options);
    EXPECT_EQ(map.cells(), cells) << name;
    EXPECT_EQ(geometry(map), std::make_tuple(3u, 1u, 0.5, -1.0, 0.0)) << name;
  }
  EXPECT_EQ(loadMap(yaml).cells(), (Bytes{254, 255, 0}));
  EXPECT_EQ(geometry(loadMap(yaml)), std::make_tuple(3u, 1u, 0.25, 2.0, 3.0));

  const std::string unknown = ": unknown map format (expected .yaml, .yml, .map, .pgm or .csv)";
  const std::string bmp = write("m.bmp", "BM\x36\x00");
  const std::string bad_pgm = write("bad.pgm", "P2 abc 1 255");
  const std::string dir = pathOf("");
  for (const auto& [call, expected] : std::vector<std::pair<std::function<void()>, std::string>>{
           {[&] { loadMap(bmp, at_half); }, "MapFormatError: " + bmp + unknown},
           {[&] { loadMap(pathOf("none"), at_half); },
            "MapFormatError: " + pathOf("none") + unknown},
           {[&] { loadMap(yaml, at_half); },
            "invalid_argument: " + yaml + ": a YAML map carries its own resolution and origin"},
           {[&] { loadMap(pathOf("c.csv")); },
            "invalid_argument: " + dir +
                "c.csv: a resolution (cell size in metres) is required "
                "for .csv maps"},
           {[&] { loadMap(pathOf("c.csv"), occupancy); },
            "invalid_argument: " + dir + "c.csv: only PGM images can be read as occupancy"},
           {[&] { loadMap(bad_pgm, at_half); },
            "MapFormatError: " + bad_pgm + ": invalid PGM width"},
           {[&] { loadMap(dir + "none.pgm", at_half); },
            "FileError: " + dir + "none.pgm: cannot open input file: " + dir + "none.pgm"},
           {[&] { loadMap(write("n.yaml", "image: none.pgm\nresolution: 1\norigin: [0, 0]\n")); },
            "FileError: " + dir + "none.pgm: cannot open input file: " + dir + "none.pgm"},
           {[&] { loadOccupancyMap(dir); }, "FileError: " + dir + ": not a regular file"},
           {[&] { loadMovingAiMap(write("t.map", "type octile\n"), 1.0); },
            "MapFormatError: " + dir + "t.map: not a MovingAI grid (no 'map' line)"},
           {[&] { saveResultJson(PlannerResult{}, dir + "no/r.json"); },
            "FileError: cannot open output file: " + dir + "no/r.json"}}) {
    EXPECT_EQ(outcome(call), expected);
  }
}

PlannerResult samplePlan() {
  PlannerResult result;
  result.status = PlannerStatus::SUCCESS;
  result.message = "ok";
  result.path = {{0.5, 1.0, -2.0}, {0.1, 1e20, -0.0}, {2.5, 3.0, 0.25}};
  result.directions = {Direction::REVERSE, Direction::FORWARD};
  result.map_revision = 18446744073709551615u;
  result.goal_revision = 7;
  // Every field in declaration order, each with a value of its own.
  result.diagnostics = {true, 1.5,  0.1,         2.0,  1e-7,
                        3.0,  0.0,  12.25,       1000, 18446744073709551615u,
                        3,    4.75, 4294967295u, 1,    2};
  return result;
}

TEST_F(Files, WritersGiveExactText) {
  savePathCsv(samplePlan(), pathOf("path.csv"));
  EXPECT_EQ(read(pathOf("path.csv")),
            "x,y,yaw,direction\n0.5,1,-2,-1\n0.10000000000000001,1e+20,-0,1\n2.5,3,0.25,0\n");
  saveResultJson(samplePlan(), pathOf("result.json"));
  EXPECT_EQ(read(pathOf("result.json")),
            "{\n  \"status\": \"SUCCESS\",\n  \"message\": \"ok\",\n"
            "  \"revisions\": {\"map\": 18446744073709551615, \"goal\": 7, \"robot\": 0},\n"
            "  \"diagnostics\": {\"obstacle_heuristic_cache_hit\": true, \"total_time_ms\": 1.5, "
            "\"search_time_ms\": 0.10000000000000001, \"obstacle_heuristic_time_ms\": 2, "
            "\"kinematic_heuristic_time_ms\": 9.9999999999999995e-08, "
            "\"collision_check_time_ms\": 3, \"analytic_expansion_time_ms\": 0, "
            "\"smoothing_time_ms\": 12.25, \"expanded_nodes\": 1000, "
            "\"generated_nodes\": 18446744073709551615, \"collision_checks\": 3, "
            "\"path_length\": 4.75, \"reverse_count\": 4294967295, "
            "\"direction_switch_count\": 1, \"in_place_rotation_count\": 2},\n"
            "  \"path\": [\n"
            "    {\"x\": 0.5, \"y\": 1, \"yaw\": -2, \"direction\": -1},\n"
            "    {\"x\": 0.10000000000000001, \"y\": 1e+20, \"yaw\": -0, \"direction\": 1},\n"
            "    {\"x\": 2.5, \"y\": 3, \"yaw\": 0.25, \"direction\": 0}\n"
            "  ]\n}\n");
  PlannerResult quoted;
  quoted.message = std::string("q\"\\\t\x00\x01\x1f\xc3\xa9", 9);
  saveResultJson(quoted, pathOf("quoted.json"));
  EXPECT_NE(read(pathOf("quoted.json"))
                .find("\"message\": \"q\\\"\\\\\\t\\u0000\\u0001\\u001f\xc3\xa9\",\n"),
            std::string::npos)
      << read(pathOf("quoted.json"));
}

// Replacing a file keeps what the user set up: its mode, and a symbolic link stays a link (live or
// dangling) with the file it names written.
TEST_F(Files, ReplacedFilesKeepTheirModeAndLinks) {
  const std::string file = write("kept.json", "old\n");
  ASSERT_EQ(::chmod(file.c_str(), 0604), 0);
  saveResultJson(samplePlan(), file);
  struct stat status;
  ASSERT_EQ(::stat(file.c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 07777, 0604u);
  EXPECT_EQ(read(file).substr(0, 23), "{\n  \"status\": \"SUCCESS\"");
  for (const char* target : {"kept.json", "absent.csv"}) {
    const std::string link = pathOf(std::string("link-to-") + target);
    ASSERT_EQ(::symlink(target, link.c_str()), 0);
    savePathCsv(samplePlan(), link);
    ASSERT_EQ(::lstat(link.c_str(), &status), 0);
    EXPECT_TRUE(S_ISLNK(status.st_mode)) << target;
    EXPECT_EQ(read(pathOf(target)).substr(0, 18), "x,y,yaw,direction\n") << target;
  }
}

TEST(Svg, WholeDocumentOfATinyMapWithoutPath) {
  const Costmap map(2, 1, 0.5, 0.0, 0.0, {0, 254});
  PlanRequest request;
  request.goal = {0.75, 0.25, 1.5707963267948966};
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

// Markup characters become entities, control characters U+FFFD; text and UTF-8 pass through.
TEST(Svg, ColoursAreEscapedForXml) {
  SvgRenderOptions options;
  options.path_color = "a\"b<&>'\x01\x1f\t\xc3\xa9";
  PlannerResult result;
  result.path = {{0.0, 0.0, 0.0}, {0.1, 0.0, 0.0}};
  const std::string svg =
      renderPlanSvg(Costmap(10, 10, 0.1, -1.0, -1.0, std::vector<std::uint8_t>(100, 0)),
                    PlanRequest{}, result, options);
  EXPECT_NE(svg.find(" stroke=\"a&quot;b&lt;&amp;&gt;&apos;\xEF\xBF\xBD\xEF\xBF\xBD\t\xc3\xa9\" "
                     "stroke-width=\"3\" stroke-linecap"),
            std::string::npos)
      << svg;
}

struct FileRefusal {
  const char* name;
  std::function<std::string(Files&)> prepare;  // returns the path the call gets
  std::function<void(const std::string&)> call;
  std::string message;  // a trailing '*' stands for the path
};
void PrintTo(const FileRefusal& r, std::ostream* os) { *os << r.name; }

class FileRefusals : public Files, public ::testing::WithParamInterface<FileRefusal> {};

const std::string kOld = "old contents\n";

TEST_P(FileRefusals, FailCleanlyAndKeepTheOldFile) {
  const std::string path = GetParam().prepare(*this);
  std::string expected = GetParam().message;
  if (!expected.empty() && expected.back() == '*') {
    expected.pop_back();
    expected += path;
  }
  EXPECT_EQ(thrownMessage([&] { GetParam().call(path); }), expected);
  for (const auto& entry : std::filesystem::directory_iterator(dir_)) {
    const std::string name = entry.path().filename().string();
    EXPECT_EQ(name.find(".tmp-"), std::string::npos) << name;
    if (name == "old") {
      EXPECT_EQ(read(pathOf(name)), kOld);
    }
  }
}

void loadPgm(const std::string& path) { loadCostmapPgm(path, 0.5, 0.0, 0.0); }
void loadCsv(const std::string& path) { loadCostmapCsv(path, 0.5, 0.0, 0.0); }

FileRefusal pgm(const char* name, std::string bytes, const std::string& message) {
  return {name, [bytes](Files& f) { return f.write("m.pgm", bytes); }, loadPgm,
          "runtime_error: " + message};
}
FileRefusal csv(const char* name, std::string bytes, const std::string& message) {
  return {name, [bytes](Files& f) { return f.write("m.csv", bytes); }, loadCsv,
          "runtime_error: " + message};
}

std::string oldFile(Files& f) { return f.write("old", kOld); }
std::string fifo(Files& f) {
  EXPECT_EQ(::mkfifo(f.pathOf("fifo").c_str(), 0600), 0);
  return f.pathOf("fifo");
}

PlannerResult tinyResult() {
  PlannerResult result;
  result.path = {Pose2D{0.1, 0.2, 0.0}, Pose2D{0.3, 0.2, 0.0}};
  return result;
}
void saveJson(const std::string& path) { saveResultJson(tinyResult(), path); }
void saveSvg(const std::string& path, std::uint64_t pixels_per_cell, std::uint64_t width) {
  SvgRenderOptions options;
  options.pixels_per_cell = pixels_per_cell;
  savePlanSvg(Costmap(width, 1, 1.0, 0.0, 0.0, std::vector<std::uint8_t>(width, 0)), PlanRequest{},
              tinyResult(), path, options);
}

const char* const kTooLarge = "pixels_per_cell is too large for the costmap";
const char* const kWidth = "invalid PGM width";
const char* const kTruncated = "PGM pixel data is truncated";
const char* const kMagic = "only P2 and P5 PGM files are supported";
const char* const kHeaderEnd = "unexpected end of PGM header";
const char* const kNul = "file path must not contain a NUL character";

// clang-format off
INSTANTIATE_TEST_SUITE_P(Io, FileRefusals, ::testing::Values(
    pgm("pgm_empty", "", kHeaderEnd),
    pgm("pgm_p3", "P3 1 1 255 0", kMagic),
    pgm("pgm_elf", std::string("\x7f\x45\x4c\x46\x02\x01\x01\x00", 8), kMagic),
    pgm("pgm_no_maxval", "P5 3 2 # c", kHeaderEnd),
    pgm("pgm_width_zero", "P2 0 2 255", kWidth),
    pgm("pgm_width_without_digits", "P2 +x 2 255", kWidth),
    pgm("pgm_height_beyond_64_bits", "P2 1 18446744073709551616 255", "invalid PGM height"),
    pgm("pgm_plain_pixel_without_digits", "P2 2 1 255\n1 -", "invalid PGM pixel"),
    pgm("pgm_plain_pixel_beyond_64_bits", "P2 1 1 255\n18446744073709551616", "PGM pixel exceeds maximum value"),
    pgm("pgm_negative_width", "P2 -1 1 255\n", kWidth),
    // Once wrapped round to a width of 2 and loaded.
    pgm("pgm_width_wraps", "P2 -18446744073709551614 1 255\n0 0", kWidth),
    pgm("pgm_height_minus_zero", "P2 3 -0 255", "invalid PGM height"),
    pgm("pgm_maxval_zero", "P2 3 2 0", "invalid PGM maximum value"),
    pgm("pgm_maxval_256", "P2 3 2 256 0 0 0 0 0 0", "16-bit PGM files are not supported"),
    pgm("pgm_product_wraps", "P5 4294967296 4294967296 255\n", kTruncated),
    pgm("pgm_4e9_squared", "P5 4000000000 4000000000 255\n\x01", kTruncated),
    pgm("pgm_plain_short", "P2 3 2 255\n0 1 2\n3 4", kHeaderEnd),
    pgm("pgm_plain_pixel_trailing", "P2 2 1 255\n1 2x", "invalid PGM pixel"),
    pgm("pgm_plain_pixel_above", "P2 3 1 100\n100 101 x", "PGM pixel exceeds maximum value"),
    pgm("pgm_raw_comment_after_maxval", "P5 3 2 255#c\n012345", "invalid PGM header separator"),
    pgm("pgm_raw_short_by_one", "P5 3 2 255\n01234", kTruncated),
    pgm("pgm_raw_pixel_above", "P5 2 1 100\n\x64\x65", "PGM pixel exceeds maximum value"),
    csv("csv_above_255", "1,256\n", "CSV cost values must be in [0, 255]"),
    csv("csv_letter", "1,2,x\n", "invalid CSV costmap row: 1 2 x"),
    csv("csv_trailing_comment", "1,2 # two\n", "invalid CSV costmap row: 1 2 # two"),
    csv("csv_long_row_is_cut", "1 2\n" + std::string(100000, '7') + "x\n", "invalid CSV costmap row: " + std::string(40, '7') + "..."),
    csv("csv_binary", std::string("\x01\x02,\xff", 4), "invalid CSV costmap row: \\x01\\x02 \\xff"),
    csv("csv_different_widths", "1,2\n1,2,3\n", "CSV costmap rows have different widths"),
    csv("csv_comments_only", "# a\n\n   \n\t# b\n", "CSV costmap is empty: *"),
    FileRefusal{"csv_missing", [](Files& f) { return f.pathOf("none.csv"); }, loadCsv, "runtime_error: cannot open input file: *"},
    FileRefusal{"pgm_missing", [](Files& f) { return f.pathOf("none.pgm"); }, loadPgm, "runtime_error: cannot open input file: *"},
    FileRefusal{"csv_from_dev_zero", [](Files&) { return std::string("/dev/zero"); }, loadCsv, "runtime_error: input file is not a regular file: *"},
    FileRefusal{"pgm_from_fifo", fifo, loadPgm, "runtime_error: input file is not a regular file: *"},
    FileRefusal{"json_to_fifo", fifo, saveJson, "runtime_error: output file is not a regular file: *"},
    FileRefusal{"csv_to_dev_null", [](Files&) { return std::string("/dev/null"); },
                [](const std::string& p) { savePathCsv(tinyResult(), p); }, "runtime_error: output file is not a regular file: *"},
    FileRefusal{"json_to_missing_directory", [](Files& f) { return f.pathOf("no/r.json"); }, saveJson, "runtime_error: cannot open output file: *"},
    FileRefusal{"json_name_with_nul", [](Files& f) { return oldFile(f) + std::string("\0b", 2); }, saveJson, kNul},
    FileRefusal{"svg_name_with_nul", [](Files& f) { return oldFile(f) + std::string("\0", 1); },
                [](const std::string& p) { saveSvg(p, 8, 4); }, kNul},
    FileRefusal{"csv_map_name_with_nul", [](Files& f) { return f.write("m", "0,0\n") + std::string("\0.csv", 5); }, loadCsv, kNul},
    // Once left the old file empty.
    FileRefusal{"svg_options_before_the_file", oldFile, [](const std::string& p) { saveSvg(p, 0, 1); }, "pixels_per_cell must be positive"},
    FileRefusal{"svg_2_pow_63_units", oldFile, [](const std::string& p) { saveSvg(p, std::uint64_t{1} << 63, 2); }, kTooLarge},
    FileRefusal{"svg_2_pow_62_units", oldFile, [](const std::string& p) { saveSvg(p, std::uint64_t{1} << 62, 5); }, kTooLarge}),
    [](const ::testing::TestParamInfo<FileRefusal>& info) { return info.param.name; });
// clang-format on

}  // namespace
}  // namespace veltrax::se2
