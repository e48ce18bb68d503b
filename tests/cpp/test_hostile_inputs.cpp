// Files of the kind a fuzzer or a careless exporter produces: huge claims in tiny files, numbers
// past every integer width, endless lines. Each must end in the loader's documented error, quickly
// and without allocating what the header merely claims; none may load as a different map.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdint>
#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "file_fixture.hpp"
#include "veltrax/se2/collision.hpp"
#include "veltrax/se2/io.hpp"
#include "veltrax/se2/planner.hpp"

namespace veltrax::se2 {
namespace {

using testing::TemporaryDirectoryTest;

enum class Kind { Runtime, InvalidArgument, OutOfRange, LengthError };

struct HostileFile {
  std::string name;
  std::string bytes;
  Kind kind;
  std::string message;  // a trailing '*' stands for the file's path
};

std::ostream& operator<<(std::ostream& out, const HostileFile& f) { return out << f.name; }

class HostileFileTest : public TemporaryDirectoryTest,
                        public ::testing::WithParamInterface<HostileFile> {
 protected:
  // Loads the file with the loader its name asks for and checks type and message of the error.
  void expectRejected() {
    const HostileFile& f = GetParam();
    const std::string path = write(f.name, f.bytes);
    std::string expected = f.message;
    if (!expected.empty() && expected.back() == '*') {
      expected.pop_back();
      expected += path;
    }
    const bool pgm = f.name.size() > 4 && f.name.compare(f.name.size() - 4, 4, ".pgm") == 0;
    try {
      if (pgm) {
        loadCostmapPgm(path, 0.05, 0.0, 0.0);
      } else {
        loadCostmapCsv(path, 0.05, 0.0, 0.0);
      }
      FAIL() << "loaded without an error";
    } catch (const std::length_error& e) {
      EXPECT_EQ(f.kind, Kind::LengthError) << e.what();
      EXPECT_EQ(e.what(), expected);
    } catch (const std::out_of_range& e) {
      EXPECT_EQ(f.kind, Kind::OutOfRange) << e.what();
      EXPECT_EQ(e.what(), expected);
    } catch (const std::invalid_argument& e) {
      EXPECT_EQ(f.kind, Kind::InvalidArgument) << e.what();
      EXPECT_EQ(e.what(), expected);
    } catch (const std::runtime_error& e) {
      EXPECT_EQ(f.kind, Kind::Runtime) << e.what();
      EXPECT_EQ(e.what(), expected);
    }
  }
};

TEST_P(HostileFileTest, EndsInTheDocumentedError) { expectRejected(); }

INSTANTIATE_TEST_SUITE_P(
    Files, HostileFileTest,
    ::testing::Values(
        // 2^32 x 2^32 would wrap to 0 cells; no file holds 2^63 pixels.
        HostileFile{"wrap64.pgm", std::string("P5\n4294967296 4294967296\n255\n\0", 31),
                    Kind::Runtime, "PGM pixel data is truncated"},
        HostileFile{"exact63.pgm", std::string("P5\n2147483648 4294967296\n255\n\0", 31),
                    Kind::Runtime, "PGM pixel data is truncated"},
        // A minus would wrap: -1 is 2^64 - 1.
        HostileFile{"negative_width.pgm", std::string("P5\n-1 1\n255\n\0", 14), Kind::Runtime,
                    "invalid PGM width"},
        HostileFile{"claims_50M_rows.pgm", "P5\n1 50000000\n255\n" + std::string(1000, '\1'),
                    Kind::Runtime, "PGM pixel data is truncated"},
        HostileFile{"claims_10^12_plain.pgm", "P2\n1000000 1000000\n255\n1 2 3 4 5\n",
                    Kind::Runtime, "unexpected end of PGM header"},
        HostileFile{"pixel_beyond_64_bits.pgm", "P2\n1 1\n255\n" + std::string(100, '9') + "\n",
                    Kind::OutOfRange, "stoull"},
        HostileFile{"nul_in_magic.pgm", std::string("P2\0\n1 1\n255\n1\n", 14), Kind::Runtime,
                    "only P2 and P5 PGM files are supported"},
        HostileFile{"only_comments.csv", "# a\n#b\n\n", Kind::Runtime, "CSV costmap is empty: *"},
        HostileFile{"ragged_after_100k_rows.csv",
                    [] {
                      std::string text;
                      for (int i = 0; i < 100000; ++i) {
                        text += "1,2,3\n";
                      }
                      return text + "1,2\n";
                    }(),
                    Kind::Runtime, "CSV costmap rows have different widths"},
        // A number past int's range at the end of a line used to vanish from its row, so the
        // file loaded as a smaller map.
        HostileFile{"overflow_ends_row.csv", "1,2,99999999999999999999999\n4,5\n", Kind::Runtime,
                    "CSV cost values must be in [0, 255]"},
        HostileFile{"overflow_only_value.csv", "99999999999999999999999\n", Kind::Runtime,
                    "CSV cost values must be in [0, 255]"},
        HostileFile{"negative_overflow_ends_row.csv", "7 -99999999999999999999\n", Kind::Runtime,
                    "CSV cost values must be in [0, 255]"},
        // A lone sign at the end is no number either.
        HostileFile{"sign_ends_row.csv", "1,2,+\n", Kind::Runtime,
                    "invalid CSV costmap row: 1 2 +"},
        HostileFile{"overflow_mid_row.csv", "5 99999999999999999999 7\n", Kind::Runtime,
                    "invalid CSV costmap row: 5 99999999999999999999 7"}),
    [](const ::testing::TestParamInfo<HostileFile>& info) {
      std::string name;
      for (const char c : info.param.name) {
        name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
      }
      return name;
    });

// Rows that end in separators, spaces or a carriage return still load exactly.
class CsvRowEndTest : public TemporaryDirectoryTest,
                      public ::testing::WithParamInterface<std::string> {};

TEST_P(CsvRowEndTest, LoadsTheValues) {
  const Costmap map = loadCostmapCsv(write("m.csv", GetParam()), 1.0, 0.0, 0.0);
  ASSERT_EQ(map.width(), 3u);
  ASSERT_EQ(map.height(), 2u);
  EXPECT_EQ(map.cells(), (std::vector<std::uint8_t>{0, 255, 7, 1, 2, 3}));
}

INSTANTIATE_TEST_SUITE_P(Endings, CsvRowEndTest,
                         ::testing::Values("0,255,7\n1,2,3\n", "0,255,7,\n1,2,3,\n",
                                           "0 255 7   \n1 2 3\t\n", "0,255,7\r\n1,2,3\r\n",
                                           "0,255,+7\n1,2,3", "0,255,007\n1,2,3\n"));

// An output spacing can pass validation (finite, positive) and still ask for more poses than the
// resampler emits; the plan reports that as a bad request instead of throwing out of plan().
struct SpacingCase {
  double spacing;
  PlannerStatus status;
  std::string message;
};

class HostileSpacingTest : public ::testing::TestWithParam<SpacingCase> {};

TEST_P(HostileSpacingTest, IsAnOutcomeNotAnException) {
  const HybridAStar planner(Costmap(60, 60, 0.1, 0.0, 0.0, std::vector<std::uint8_t>(60 * 60, 0)));
  PlanRequest request;
  request.start = {1.0, 1.0, 0.0};
  request.goal = {4.0, 2.0, 0.0};
  PlannerConfig config;
  config.path_output_spacing = GetParam().spacing;
  config.max_planning_time_seconds = 600.0;
  const PlannerResult result = planner.plan(request, config);
  EXPECT_EQ(result.status, GetParam().status);
  EXPECT_EQ(result.message, GetParam().message);
  if (result.status != PlannerStatus::SUCCESS) {
    EXPECT_TRUE(result.path.empty());
    EXPECT_TRUE(result.directions.empty());
    EXPECT_EQ(result.diagnostics.path_length, 0.0);
    EXPECT_GT(result.diagnostics.expanded_nodes, 0u);  // refused after the search, not before
  } else {
    EXPECT_FALSE(result.path.empty());
  }
}

INSTANTIATE_TEST_SUITE_P(
    Spacings, HostileSpacingTest,
    ::testing::Values(SpacingCase{1e-300, PlannerStatus::INVALID_REQUEST,
                                  "path spacing is too small for the path length"},
                      // About 3.3 m of path at 0.1 um: over ten million poses.
                      SpacingCase{1e-7, PlannerStatus::INVALID_REQUEST,
                                  "path spacing is too small for the path length"},
                      SpacingCase{1e-5, PlannerStatus::SUCCESS, "path found"}));

// A sweep step far too small for the path would mean billions of checks: refused up front, while
// a collision found before the oversized segment is still reported.
Costmap tenByTen() {
  std::vector<std::uint8_t> cells(100, 0);
  cells[2 * 10 + 2] = kLethalCost;
  return Costmap(10, 10, 1.0, 0.0, 0.0, std::move(cells));
}

// Back and forth between x = 1.5 and x = 5.5, `poses` poses in all.
std::vector<Pose2D> zigzag(int poses) {
  std::vector<Pose2D> path;
  for (int i = 0; i < poses; ++i) {
    path.push_back({i % 2 == 0 ? 1.5 : 5.5, 5.5, 0.0});
  }
  return path;
}

struct SweepCase {
  std::string name;
  std::vector<Pose2D> path;
  double step;
  bool throws;
  CollisionResult result;
};

std::ostream& operator<<(std::ostream& out, const SweepCase& c) { return out << c.name; }

class HostileSweepTest : public ::testing::TestWithParam<SweepCase> {};

TEST_P(HostileSweepTest, RefusesOnlyWhatItCannotAfford) {
  const Costmap map = tenByTen();
  const CollisionChecker checker(map, false);
  const SweepCase& c = GetParam();
  if (c.throws) {
    try {
      checker.validatePath(c.path, CircleFootprint{0.3}, c.step);
      FAIL() << "swept";
    } catch (const std::invalid_argument& e) {
      EXPECT_STREQ(e.what(), "interpolation_step is too small for the path length");
    }
  } else {
    EXPECT_EQ(checker.validatePath(c.path, CircleFootprint{0.3}, c.step), c.result);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Steps, HostileSweepTest,
    ::testing::Values(
        // 7 m at 1 nm: seven billion samples.
        SweepCase{"long_segment", {{1.5, 5.5, 0.0}, {8.5, 5.5, 0.0}}, 1e-9, true, {}},
        // 4 m at 2^-18 m: 2^20 samples a segment. Nine segments (and the last pose) fit in the
        // ten million samples a sweep may take, ten do not.
        SweepCase{"nine_segments_fit", zigzag(10), 0x1p-18, false, {false, false, 0}},
        SweepCase{"ten_segments_do_not", zigzag(11), 0x1p-18, true, {}},
        // The first pose is on the lethal cell and its own segment is one sample long: the
        // collision is reported before the sweep reaches the oversized segment.
        SweepCase{"collision_first",
                  {{2.5, 2.5, 0.0}, {2.5, 2.5 + 1e-12, 0.0}, {8.5, 8.5, 0.0}},
                  1e-9,
                  false,
                  {true, false, 254}}),
    [](const ::testing::TestParamInfo<SweepCase>& info) { return info.param.name; });

}  // namespace
}  // namespace veltrax::se2
