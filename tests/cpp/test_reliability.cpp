// Reproducers of faults found by trying the library as a hostile or careless caller would: each row
// is the input that once crashed, hung, lost a file or was silently misread, with the answer it
// must give now.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <csignal>
#include <cstdint>
#include <functional>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "file_fixture.hpp"
#include "test_support.hpp"
#include "veltrax/se2/collision.hpp"
#include "veltrax/se2/io.hpp"
#include "veltrax/se2/planner.hpp"
#include "veltrax/se2/smoother.hpp"
#include "veltrax/se2/svg.hpp"

namespace veltrax::se2 {
namespace {

using testing::TemporaryDirectoryTest;
using testing_support::kInf;
using testing_support::kNaN;

constexpr const char* kFarCorners =
    "costmap corners are too far from the origin for its resolution";

// --- Costmaps far from the origin -------------------------------------------------------------

struct FarMap {
  const char* name;
  std::uint64_t width;
  double resolution;
  double origin;  // both axes
  bool accepted;
};

class FarCostmapTest : public ::testing::TestWithParam<FarMap> {};

TEST_P(FarCostmapTest, RefusedWhereCornersCannotResolveAMillionthOfACell) {
  const FarMap m = GetParam();
  std::vector<std::uint8_t> cells(m.width * m.width, 0);
  try {
    const Costmap map(m.width, m.width, m.resolution, m.origin, m.origin, std::move(cells));
    EXPECT_TRUE(m.accepted);
  } catch (const std::invalid_argument& e) {
    EXPECT_FALSE(m.accepted);
    EXPECT_STREQ(e.what(), kFarCorners);
  }
}

// Doubles in [2^27, 2^28) are 2^-25 (3.0e-8) apart, from 2^28 on 2^-24 (6.0e-8): a millionth of
// a 5 cm cell (5e-8) lies between the two.
INSTANTIATE_TEST_SUITE_P(
    Rows, FarCostmapTest,
    ::testing::Values(FarMap{"segfault_origin_2_pow_60", 430, 0.3, 0x1p60, false},
                      FarMap{"no_path_origin_1e15", 64, 0.05, 1e15, false},
                      FarMap{"internal_error_origin_1e17", 64, 0.05, 1e17, false},
                      FarMap{"far_corner_2_pow_28", 1, 0.05, -0x1p28, false},
                      FarMap{"far_corner_just_inside", 1, 0.05, -(0x1p28 - 1.0), true},
                      FarMap{"corner_overflows", 4, 1e308, 0.0, false},
                      FarMap{"tiny_cells_near_zero", 3, 1e-300, 0.0, true}),
    [](const auto& info) { return std::string(info.param.name); });

// --- Requests that plan refuses -----------------------------------------------------------------

PolygonFootprint regularPolygon(std::size_t n, double radius) {
  PolygonFootprint polygon;
  for (std::size_t k = 0; k < n; ++k) {
    const double a = kTwoPi * static_cast<double>(k) / static_cast<double>(n);
    polygon.points.push_back(Point2D{radius * std::cos(a), radius * std::sin(a)});
  }
  return polygon;
}

struct BadRequest {
  const char* name;
  std::function<void(PlanRequest&)> change;
  PlannerStatus status;
  const char* message;
};

std::ostream& operator<<(std::ostream& out, const BadRequest& r) { return out << r.name; }

class PlanEntryTest : public ::testing::TestWithParam<BadRequest> {};

TEST_P(PlanEntryTest, AnswersWithStatusAndMessage) {
  // 100 x 100 free cells of 5 cm, 10^8 m out: the far edge of what a costmap accepts (5e-8 m).
  const Costmap map(100, 100, 0.05, 1e8, 1e8, std::vector<std::uint8_t>(10000, 0));
  const HybridAStar planner(map);
  PlanRequest request;
  request.start = Pose2D{1e8 + 1.5, 1e8 + 2.5, 0.0};
  request.goal = Pose2D{1e8 + 3.5, 1e8 + 2.5, 0.0};
  request.footprint = CircleFootprint{0.3};
  GetParam().change(request);
  const PlannerResult result = planner.plan(request, PlannerConfig{});
  EXPECT_EQ(result.status, GetParam().status) << result.message;
  EXPECT_EQ(result.message, GetParam().message);
}

constexpr PlannerStatus kOk = PlannerStatus::SUCCESS;
constexpr PlannerStatus kInvalid = PlannerStatus::INVALID_REQUEST;
const char* const kYawRange = "start and goal yaw must be within 1e6 radians of zero";

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Rows, PlanEntryTest,
    ::testing::Values(
        BadRequest{"far_map_plans_on_free_space", [](PlanRequest&) {}, kOk, "path found"},
        BadRequest{"start_yaw_1e15", [](PlanRequest& r) { r.start.yaw = 1e15; }, kInvalid, kYawRange},
        BadRequest{"goal_yaw_below_minus_1e6", [](PlanRequest& r) { r.goal.yaw = -1.0000001e6; }, kInvalid, kYawRange},
        BadRequest{"yaw_1e6_is_fine", [](PlanRequest& r) { r.start.yaw = r.goal.yaw = 1e6; }, kOk, "path found"},
        BadRequest{"polygon_of_a_million_points", [](PlanRequest& r) { r.footprint = regularPolygon(1000000, 0.3); },
                   kInvalid, "polygon footprint must have at most 1024 points"},
        BadRequest{"polygon_of_1024_points_is_fine", [](PlanRequest& r) { r.footprint = regularPolygon(1024, 0.3); },
                   kOk, "path found"},
        BadRequest{"multi_polygon_of_1025_points", [](PlanRequest& r) {
                     r.footprint = MultiPolygonFootprint{{regularPolygon(1000, 0.3), regularPolygon(25, 0.2)}}; },
                   kInvalid, "multi-polygon footprint must have at most 1024 points in all"}),
    [](const auto& info) { return std::string(info.param.name); });
// clang-format on

// --- Smoothing with a configuration that never converges --------------------------------------

struct BadSmoothing {
  const char* name;
  double tolerance;
  std::size_t path_size;
};

class SmootherConfigTest : public ::testing::TestWithParam<BadSmoothing> {};

TEST_P(SmootherConfigTest, RefusedBeforeAnyIteration) {
  const Costmap map(40, 40, 0.1, 0.0, 0.0, std::vector<std::uint8_t>(1600, 0));
  const CollisionChecker checker(map, false);
  PlannerConfig config;
  config.smoother_tolerance = GetParam().tolerance;
  config.smoother_max_iterations = 4294967295u;
  std::vector<Pose2D> path;
  for (std::size_t i = 0; i < GetParam().path_size; ++i) {
    path.push_back(Pose2D{1.0 + 0.1 * static_cast<double>(i), 1.0 + 0.05 * double(i % 2), 0.0});
  }
  try {
    PathSmoother::smooth(path, checker, CircleFootprint{0.1}, config);
    FAIL() << "smoothed without an error";
  } catch (const std::invalid_argument& e) {
    EXPECT_STREQ(e.what(), "smoother_tolerance must be finite and positive");
  }
}

INSTANTIATE_TEST_SUITE_P(Rows, SmootherConfigTest,
                         ::testing::Values(BadSmoothing{"zero", 0.0, 20},
                                           BadSmoothing{"nan", kNaN, 20},
                                           BadSmoothing{"negative", -1.0, 20},
                                           BadSmoothing{"negative_two_poses", -1.0, 2}),
                         [](const auto& info) { return std::string(info.param.name); });

// --- Loaders and writers: regular files only, nothing lost, no path cut at a NUL ---------------

enum class Thrown { kRuntime, kInvalidArgument, kOutOfRange };

struct FileCase {
  const char* name;
  // Returns the path to use; may create files in the directory.
  std::function<std::string(TemporaryDirectoryTest&)> prepare;
  std::function<void(const std::string&)> call;
  Thrown thrown;
  std::string message;  // a trailing '*' stands for the path
};

std::ostream& operator<<(std::ostream& out, const FileCase& c) { return out << c.name; }

const std::string kOldContents = "old contents\n";

PlannerResult tinyResult() {
  PlannerResult result;
  result.path = {Pose2D{0.1, 0.2, 0.0}, Pose2D{0.3, 0.2, 0.0}};
  return result;
}

// 4 x 4 free cells: a small document; 100 x 100 grey cells: about 700 KB.
void saveSvg(const std::string& path, std::uint64_t pixels_per_cell, std::uint64_t size = 4) {
  const Costmap map(size, size, 0.1, 0.0, 0.0,
                    std::vector<std::uint8_t>(size * size, size > 4 ? 100 : 0));
  SvgRenderOptions options;
  options.pixels_per_cell = pixels_per_cell;
  savePlanSvg(map, PlanRequest{}, tinyResult(), path, options);
}

class FileCaseTest : public TemporaryDirectoryTest, public ::testing::WithParamInterface<FileCase> {
 public:
  using TemporaryDirectoryTest::pathOf;
  using TemporaryDirectoryTest::write;
};

TEST_P(FileCaseTest, FailsCleanlyAndKeepsTheOldFile) {
  const FileCase& c = GetParam();
  const std::string path = c.prepare(*this);
  const std::string old_file = pathOf("old");
  std::string expected = c.message;
  if (!expected.empty() && expected.back() == '*') {
    expected.pop_back();
    expected += path;
  }
  try {
    c.call(path);
    FAIL() << "no error";
  } catch (const std::invalid_argument& e) {
    EXPECT_EQ(c.thrown, Thrown::kInvalidArgument) << e.what();
    EXPECT_EQ(e.what(), expected);
  } catch (const std::out_of_range& e) {
    EXPECT_EQ(c.thrown, Thrown::kOutOfRange) << e.what();
    EXPECT_EQ(e.what(), expected);
  } catch (const std::runtime_error& e) {
    EXPECT_EQ(c.thrown, Thrown::kRuntime) << e.what();
    EXPECT_EQ(e.what(), expected);
  }
  // Whatever was there before is as it was, and no temporary file is left behind.
  std::set<std::string> names = entries();
  if (names.count("old") != 0) {
    EXPECT_EQ(read(old_file), kOldContents);
  }
  for (const std::string& name : names) {
    EXPECT_EQ(name.find(".tmp-"), std::string::npos) << name;
  }
}

std::string makeFifo(TemporaryDirectoryTest& t) {
  const std::string path = static_cast<FileCaseTest&>(t).pathOf("fifo");
  EXPECT_EQ(::mkfifo(path.c_str(), 0600), 0);
  return path;
}

std::string oldFile(TemporaryDirectoryTest& t) {
  return static_cast<FileCaseTest&>(t).write("old", kOldContents);
}

std::string devNull(TemporaryDirectoryTest&) { return "/dev/null"; }
std::string devZero(TemporaryDirectoryTest&) { return "/dev/zero"; }
const char* const kNotRegularOut = "output file is not a regular file: *";
const char* const kNotRegularIn = "input file is not a regular file: *";
const char* const kNul = "file path must not contain a NUL character";
constexpr Thrown kRuntime = Thrown::kRuntime;
constexpr Thrown kArgument = Thrown::kInvalidArgument;

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Rows, FileCaseTest,
    ::testing::Values(
        FileCase{"svg_bad_options_before_the_file", oldFile, [](const std::string& p) { saveSvg(p, 0); }, kArgument,
                 "pixels_per_cell must be positive"},
        FileCase{"json_to_fifo", makeFifo, [](const std::string& p) { saveResultJson(tinyResult(), p); }, kRuntime,
                 kNotRegularOut},
        FileCase{"csv_to_dev_null", devNull, [](const std::string& p) { savePathCsv(tinyResult(), p); }, kRuntime,
                 kNotRegularOut},
        FileCase{"pgm_from_dev_zero", devZero, [](const std::string& p) { loadCostmapPgm(p, 1.0, 0.0, 0.0); }, kRuntime,
                 kNotRegularIn},
        FileCase{"csv_from_dev_zero", devZero, [](const std::string& p) { loadCostmapCsv(p, 1.0, 0.0, 0.0); }, kRuntime,
                 kNotRegularIn},
        FileCase{"pgm_from_fifo", makeFifo, [](const std::string& p) { loadCostmapPgm(p, 1.0, 0.0, 0.0); }, kRuntime,
                 kNotRegularIn},
        FileCase{"json_name_with_nul", [](TemporaryDirectoryTest& t) { return oldFile(t) + std::string("\0b", 2); },
                 [](const std::string& p) { saveResultJson(tinyResult(), p); }, kArgument, kNul},
        FileCase{"svg_name_with_nul", [](TemporaryDirectoryTest& t) { return oldFile(t) + std::string("\0", 1); },
                 [](const std::string& p) { saveSvg(p, 8); }, kArgument, kNul},
        FileCase{"csv_map_name_with_nul", [](TemporaryDirectoryTest& t) {
                   static_cast<FileCaseTest&>(t).write("m", "0,0\n");
                   return static_cast<FileCaseTest&>(t).pathOf("m") + std::string("\0.csv", 5); },
                 [](const std::string& p) { loadCostmapCsv(p, 1.0, 0.0, 0.0); }, kArgument, kNul}),
    [](const auto& info) { return std::string(info.param.name); });
// clang-format on

}  // namespace
}  // namespace veltrax::se2
