
#include <cmath>
#include <cstdint>
#include <limits>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "file_fixture.hpp"
#include "veltrax/se2/io.hpp"

namespace veltrax::se2 {
namespace {

using testing::TemporaryDirectoryTest;

enum class Thrown { kRuntime, kInvalidArgument, kOutOfRange, kLengthError };

struct BadFile {
  const char* name;
  std::string bytes;
  Thrown thrown;
  std::string message;
};

template <typename Call>
void expectThrows(Thrown thrown, const std::string& message, const Call& call) {
  try {
    call();
    ADD_FAILURE() << "no exception; expected " << message;
  } catch (const std::invalid_argument& e) {
    EXPECT_EQ(thrown, Thrown::kInvalidArgument) << e.what();
    EXPECT_EQ(e.what(), message);
  } catch (const std::out_of_range& e) {
    EXPECT_EQ(thrown, Thrown::kOutOfRange) << e.what();
    EXPECT_EQ(e.what(), message);
  } catch (const std::length_error& e) {
    EXPECT_EQ(thrown, Thrown::kLengthError) << e.what();
    EXPECT_EQ(e.what(), message);
  } catch (const std::runtime_error& e) {
    EXPECT_EQ(thrown, Thrown::kRuntime) << e.what();
    EXPECT_EQ(e.what(), message);
  }
}

std::vector<std::uint8_t> row(const Costmap& map, std::uint64_t y) {
  std::vector<std::uint8_t> values;
  for (std::uint64_t x = 0; x < map.width(); ++x) {
    values.push_back(map.getCost(x, y));
  }
  return values;
}

using Bytes = std::vector<std::uint8_t>;

// ---------------------------------------------------------------------------------------------
// PGM

class PgmLoad : public TemporaryDirectoryTest {};

TEST_F(PgmLoad, PlainImageIsFlippedIntoRows) {
  const std::string path = write("a.pgm", "P2\n# made by hand\n3 2\n255\n0 1 2\n3 4 5\n");
  const Costmap map = loadCostmapPgm(path, 0.25, -1.0, 2.0);
  EXPECT_EQ(map.width(), 3u);
  EXPECT_EQ(map.height(), 2u);
  EXPECT_EQ(map.resolution(), 0.25);
  EXPECT_EQ(map.originX(), -1.0);
  EXPECT_EQ(map.originY(), 2.0);
  EXPECT_EQ(row(map, 1), (Bytes{0, 1, 2}));
  EXPECT_EQ(row(map, 0), (Bytes{3, 4, 5}));
}

TEST_F(PgmLoad, GreyLevelsScaleToCostsRoundingHalvesUp) {
  const std::string path = write("a.pgm", "P2 5 1 100 0 1 50 99 100");
  EXPECT_EQ(loadCostmapPgm(path, 1.0, 0.0, 0.0).cells(), (Bytes{0, 3, 128, 252, 255}));
}

class PgmRejects : public TemporaryDirectoryTest, public ::testing::WithParamInterface<BadFile> {};

TEST_P(PgmRejects, WithTheFirstProblemInFileOrder) {
  const BadFile& p = GetParam();
  const std::string path = write("bad.pgm", p.bytes);
  expectThrows(p.thrown, p.message, [&] { loadCostmapPgm(path, 0.5, 0.0, 0.0); });
}

// Every loader error is a std::runtime_error.
BadFile bad(const char* name, std::string bytes, std::string message) {
  return BadFile{name, std::move(bytes), Thrown::kRuntime, std::move(message)};
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Pgm, PgmRejects,
    ::testing::Values(
        bad("Empty", "", "unexpected end of PGM header"),
        bad("P3", "P3 1 1 255 0", "only P2 and P5 PGM files are supported"),
        bad("LowerCase", "p5 1 1 255\n", "only P2 and P5 PGM files are supported"),
        bad("NoMaxval", "P5 3 2 # c", "unexpected end of PGM header"),
        bad("WidthZero", "P2 0 2 255", "invalid PGM width"),
        bad("WidthTrailing", "P2 4x 2 255", "invalid PGM width"),
        bad("HeightZero", "P2 3 -0 255", "invalid PGM height"),
        bad("MaxvalZero", "P2 3 2 0", "invalid PGM maximum value"),
        bad("Maxval256", "P2 3 2 256 0 0 0 0 0 0", "16-bit PGM files are not supported"),
        bad("Maxval65535", "P5 3 2 65535\n", "16-bit PGM files are not supported"),
        bad("ProductWraps", "P5 4294967296 4294967296 255\n", "PGM pixel data is truncated"),
        bad("ProductTooLarge", "P2 4294967296 2147483648 255\n", "PGM pixel data is truncated"),
        bad("NegativeWidth", "P2 -1 1 255\n", "invalid PGM width"),
        bad("PlainShort", "P2 3 2 255\n0 1 2\n3 4", "unexpected end of PGM header"),
        bad("PlainPixelTrailing", "P2 2 1 255\n1 2x", "invalid PGM pixel"),
        bad("PlainPixelAbove", "P2 3 1 100\n100 101 x", "PGM pixel exceeds maximum value"),
        bad("RawCommentAfterMaxval", "P5 3 2 255#c\n012345", "invalid PGM header separator"),
        bad("RawShortByOne", "P5 3 2 255\n01234", "PGM pixel data is truncated"),
        bad("RawHugeClaim", "P5 100000 100000 255\n\x01\x02\x03", "PGM pixel data is truncated"),
        bad("RawPixelAbove", "P5 2 1 100\n\x64\x65", "PGM pixel exceeds maximum value"),
        bad("BinaryJunk", std::string("\x7f\x45\x4c\x46\x02\x01\x01\x00", 8), "only P2 and P5 PGM files are supported")),
    [](const auto& info) { return std::string(info.param.name); });
// clang-format on

// ---------------------------------------------------------------------------------------------
// CSV

class CsvLoad : public TemporaryDirectoryTest {};

TEST_F(CsvLoad, FirstDataLineIsRowZero) {
  const std::string path = write("a.csv", "# costs\n1,2,3\n\n4,5,6\n");
  const Costmap map = loadCostmapCsv(path, 0.1, 3.0, -4.0);
  EXPECT_EQ(map.width(), 3u);
  EXPECT_EQ(map.height(), 2u);
  EXPECT_EQ(map.originX(), 3.0);
  EXPECT_EQ(map.originY(), -4.0);
  EXPECT_EQ(row(map, 0), (Bytes{1, 2, 3}));
  EXPECT_EQ(row(map, 1), (Bytes{4, 5, 6}));
}

class CsvRowSpelling : public TemporaryDirectoryTest,
                       public ::testing::WithParamInterface<std::string> {};

TEST_P(CsvRowSpelling, GivesOneTwoThree) {
  const Costmap map = loadCostmapCsv(write("a.csv", GetParam()), 1.0, 0.0, 0.0);
  EXPECT_EQ(map.cells(), (Bytes{1, 2, 3}));
}

INSTANTIATE_TEST_SUITE_P(Csv, CsvRowSpelling,
                         ::testing::Values("1 2 3\n", " 1 ,\t2, 3 ,\n", ",,,\n1,2,3\n,\n",
                                           "  # note\n+1,2,003", "\r\n1,2,3\r\n\r\n"));

class CsvRejects : public TemporaryDirectoryTest, public ::testing::WithParamInterface<BadFile> {};

TEST_P(CsvRejects, WithTheFirstProblemInFileOrder) {
  const BadFile& p = GetParam();
  const std::string path = write("bad.csv", p.bytes);
  const std::string message = p.message == "CSV costmap is empty: " ? p.message + path : p.message;
  expectThrows(p.thrown, message, [&] { loadCostmapCsv(path, 0.5, 0.0, 0.0); });
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Csv, CsvRejects,
    ::testing::Values(
        bad("Above255", "1,256\n", "CSV cost values must be in [0, 255]"),
        bad("Negative", "1,-1\n", "CSV cost values must be in [0, 255]"),
        bad("Letter", "1,2,x\n", "invalid CSV costmap row: 1 2 x"),
        bad("TrailingComment", "1,2 # two\n", "invalid CSV costmap row: 1 2 # two"),
        bad("DifferentWidths", "1,2\n1,2,3\n", "CSV costmap rows have different widths"),
        bad("CommentsOnly", "# a\n\n   \n\t# b\n", "CSV costmap is empty: "),
        bad("BinaryJunk", std::string("\x01\x02,\xff", 4), "invalid CSV costmap row: \\x01\\x02 \\xff")),
    [](const auto& info) { return std::string(info.param.name); });
// clang-format on

TEST_F(CsvLoad, MissingFilesAreReportedWithTheirPath) {
  const std::string path = pathOf("missing.csv");
  expectThrows(Thrown::kRuntime, "cannot open input file: " + path,
               [&] { loadCostmapCsv(path, 1.0, 0.0, 0.0); });
  expectThrows(Thrown::kRuntime, "cannot open input file: " + path,
               [&] { loadCostmapPgm(path, 1.0, 0.0, 0.0); });
}

// ---------------------------------------------------------------------------------------------
// Writers

PlannerResult samplePlan() {
  PlannerResult result;
  result.status = PlannerStatus::SUCCESS;
  result.message = "ok";
  result.path = {{0.5, 1.0, -2.0}, {0.1, 1e20, -0.0}, {2.5, 3.0, 0.25}};
  result.directions = {Direction::REVERSE, Direction::FORWARD};
  result.map_revision = 18446744073709551615u;
  result.goal_revision = 7;
  result.robot_revision = 0;
  PlannerDiagnostics& d = result.diagnostics;
  d.obstacle_heuristic_cache_hit = true;
  d.total_time_ms = 1.5;
  d.search_time_ms = 0.1;
  d.obstacle_heuristic_time_ms = 2.0;
  d.kinematic_heuristic_time_ms = 1e-7;
  d.collision_check_time_ms = 3.0;
  d.analytic_expansion_time_ms = 0.0;
  d.smoothing_time_ms = 12.25;
  d.expanded_nodes = 1000;
  d.generated_nodes = 18446744073709551615u;
  d.collision_checks = 3;
  d.path_length = 4.75;
  d.reverse_count = 4294967295u;
  d.direction_switch_count = 1;
  d.in_place_rotation_count = 2;
  return result;
}

class Writers : public TemporaryDirectoryTest {};

TEST_F(Writers, PathCsvOfAPlan) {
  const std::string csv = pathOf("path.csv");
  savePathCsv(samplePlan(), csv);
  EXPECT_EQ(read(csv),
            "x,y,yaw,direction\n"
            "0.5,1,-2,-1\n"
            "0.10000000000000001,1e+20,-0,1\n"
            "2.5,3,0.25,0\n");
}

TEST_F(Writers, ResultJsonOfAPlan) {
  const std::string json = pathOf("result.json");
  saveResultJson(samplePlan(), json);
  EXPECT_EQ(read(json),
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
}

struct Escape {
  std::string message;
  std::string written;
};

class JsonMessage : public TemporaryDirectoryTest, public ::testing::WithParamInterface<Escape> {};

TEST_P(JsonMessage, IsEscapedByteByByte) {
  PlannerResult result;
  result.message = GetParam().message;
  const std::string json = pathOf("r.json");
  saveResultJson(result, json);
  const std::string expected = "\"message\": \"" + GetParam().written + "\",\n";
  EXPECT_NE(read(json).find(expected), std::string::npos) << read(json);
}

INSTANTIATE_TEST_SUITE_P(
    Writers, JsonMessage,
    ::testing::Values(Escape{"say \"hi\"", "say \\\"hi\\\""}, Escape{"a\\b", "a\\\\b"},
                      Escape{std::string("\x00\x01\x1f", 3), "\\u0000\\u0001\\u001f"},
                      Escape{"q\"\\\t\x01\xc3\xa9", "q\\\"\\\\\\t\\u0001\xc3\xa9"}));

}  // namespace
}  // namespace veltrax::se2
