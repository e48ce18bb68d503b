#include "veltrax/se2/occupancy_map.hpp"

#include <sys/stat.h>
#include <yaml-cpp/depthguard.h>
#include <yaml-cpp/yaml.h>

#include <algorithm>
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <optional>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <exception>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "detail/errors.hpp"
#include "detail/input_file.hpp"
#include "detail/output_file.hpp"
#include "detail/png_image.hpp"
#include "veltrax/se2/errors.hpp"
#include "veltrax/se2/io.hpp"

namespace veltrax::se2 {
namespace {

// A map description is a handful of lines; anything larger is not one, and is not read whole.
constexpr std::streamsize kMaxDescriptionBytes = 1 << 20;

// What is wrong with a map file's contents: a MapFormatError "<path>: <what>".
[[noreturn]] void fail(const std::string& path, const std::string& what) {
  detail::throwMapFormatError(path + ": " + what);
}

// A value quoted in a message, cut short: a scalar can be very long.
std::string shown(const YAML::Node& node) {
  std::string text;
  if (!node.IsScalar()) {
    text = node.IsSequence() ? "a list" : (node.IsMap() ? "a mapping" : "nothing");
    return text;
  }
  // Numbers, booleans and null stand bare, text in quotes, as the YAML file means them.
  double number = 0.0;
  bool flag = false;
  const std::string& scalar = node.Scalar();
  const bool numeric = scalar.find_first_of("0123456789") != std::string::npos &&
                       scalar.find_first_not_of("0123456789+-.eE_") == std::string::npos;
  const bool bare = node.Tag() == "?" && (numeric || YAML::convert<double>::decode(node, number) ||
                                          YAML::convert<bool>::decode(node, flag) || node.IsNull());
  text = bare ? node.Scalar() : "'" + node.Scalar() + "'";
  return detail::excerpt(text, 57);
}

// A plain (unquoted) scalar that reads as a finite number; bools and quoted text are not numbers.
bool finiteNumber(const YAML::Node& node, double& value) {
  if (!node.IsScalar() || node.Tag() != "?" || !YAML::convert<double>::decode(node, value)) {
    return false;
  }
  return std::isfinite(value);
}

double number(const YAML::Node& map, const char* key, const std::string& yaml_path,
              const double* fallback) {
  const YAML::Node node = map[key];
  if (!node) {
    if (fallback == nullptr) {
      fail(yaml_path, std::string("missing key '") + key + "'");
    }
    return *fallback;
  }
  double value = 0.0;
  if (!finiteNumber(node, value)) {
    fail(yaml_path, std::string("'") + key + "' must be a finite number, got " + shown(node));
  }
  return value;
}

std::string formatNumber(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.17g", value);
  double shorter = 0.0;
  for (int digits = 1; digits < 17; ++digits) {
    std::snprintf(text, sizeof text, "%.*g", digits, value);
    if (std::sscanf(text, "%lf", &shorter) == 1 && shorter == value) {
      break;
    }
  }
  return text;
}

// Well-formed UTF-8 only: no overlong forms, no surrogates (U+D800..U+DFFF), nothing above
// U+10FFFF. Each lead byte bounds its first continuation byte, as in the Unicode standard's table
// of well-formed byte sequences.
bool validUtf8(const std::string& text) {
  std::size_t i = 0;
  while (i < text.size()) {
    const auto lead = static_cast<unsigned char>(text[i]);
    if (lead < 0x80) {
      ++i;
      continue;
    }
    std::size_t length = 0;
    unsigned low = 0x80;  // range of the first continuation byte
    unsigned high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
      length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      length = 3;
      low = lead == 0xE0 ? 0xA0 : 0x80;   // E0 80..9F would be overlong
      high = lead == 0xED ? 0x9F : 0xBF;  // ED A0..BF would be a surrogate
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      length = 4;
      low = lead == 0xF0 ? 0x90 : 0x80;   // F0 80..8F would be overlong
      high = lead == 0xF4 ? 0x8F : 0xBF;  // F4 90.. would lie above U+10FFFF
    } else {
      return false;  // a continuation byte, C0/C1 (overlong) or F5..FF
    }
    if (i + length > text.size()) {
      return false;
    }
    const auto first = static_cast<unsigned char>(text[i + 1]);
    if (first < low || first > high) {
      return false;
    }
    for (std::size_t k = 2; k < length; ++k) {
      if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) {
        return false;
      }
    }
    i += length;
  }
  return true;
}

// A map file opened for reading, with the messages map files get; `size` receives its length.
std::ifstream openMapFile(const std::string& path, std::uint64_t* size = nullptr) {
  detail::requireUsablePath(path);
  struct stat status;
  // A file that is not there or not a file: FileError.
  if (::stat(path.c_str(), &status) != 0) {
    detail::throwFileError("cannot read map file " + path + ": " + std::strerror(errno));
  }
  if (!S_ISREG(status.st_mode)) {
    detail::throwFileError(path + ": not a regular file");
  }
  if (size != nullptr) {
    *size = static_cast<std::uint64_t>(status.st_size);
  }
  return detail::openInputFile(path, std::ios::binary);
}

std::string readDescription(const std::string& yaml_path) {
  std::ifstream file = openMapFile(yaml_path);
  std::string text(static_cast<std::size_t>(kMaxDescriptionBytes) + 1, '\0');
  file.read(text.data(), kMaxDescriptionBytes + 1);
  text.resize(static_cast<std::size_t>(file.gcount()));
  if (static_cast<std::streamsize>(text.size()) > kMaxDescriptionBytes) {
    fail(yaml_path, "larger than 1 MiB, not a map description");
  }
  if (!validUtf8(text)) {
    fail(yaml_path, "not UTF-8 text");
  }
  return text;
}

// The map description: a YAML mapping, else a MapFormatError saying why the text is none.
YAML::Node parseDescription(const std::string& yaml_path) {
  const std::string text = readDescription(yaml_path);
  YAML::Node description;
  try {
    description = YAML::Load(text);
  } catch (const YAML::DeepRecursion&) {
    fail(yaml_path, "nested too deeply");
  } catch (const YAML::Exception& error) {
    fail(yaml_path, std::string("not valid YAML (") + error.what() + ")");
  }
  if (!description.IsMap()) {
    fail(yaml_path, "expected a mapping of map fields");
  }
  return description;
}

// The image (its name as written), the resolution and the origin, checked in that order.
void readPlacement(const YAML::Node& description, const std::string& yaml_path,
                   OccupancyMapInfo& info) {
  const YAML::Node image = description["image"];
  if (!image || !image.IsScalar() || image.Scalar().empty()) {
    fail(yaml_path, "missing key 'image'");
  }
  if (image.Scalar().find('\0') != std::string::npos) {
    fail(yaml_path, "'image' contains a NUL character");
  }
  info.image = image.Scalar();
  info.resolution = number(description, "resolution", yaml_path, nullptr);
  if (info.resolution <= 0.0) {
    fail(yaml_path, "'resolution' must be positive, got " + formatNumber(info.resolution));
  }

  const YAML::Node origin = description["origin"];
  double corner[3] = {0.0, 0.0, 0.0};
  bool origin_ok = origin && origin.IsSequence() && (origin.size() == 2 || origin.size() == 3);
  for (std::size_t i = 0; origin_ok && i < origin.size(); ++i) {
    origin_ok = finiteNumber(origin[i], corner[i]);
  }
  if (!origin_ok) {
    fail(yaml_path, "'origin' must be a list [x, y, yaw] of finite numbers");
  }
  if (corner[2] != 0.0) {
    fail(yaml_path, "origin yaw " + shown(origin[2]) +
                        " is not supported; costmaps are axis-aligned, rotate the image instead");
  }
  info.origin_x = corner[0];
  info.origin_y = corner[1];
}

// How grey levels read as occupancy: negate, the thresholds and the mode, checked in that order.
void readOccupancyRules(const YAML::Node& description, const std::string& yaml_path,
                        OccupancyMapInfo& info) {
  if (const YAML::Node negate = description["negate"]) {
    double flag = -1.0;
    bool truth = false;
    if (negate.IsScalar() && negate.Tag() == "?" && YAML::convert<bool>::decode(negate, truth)) {
      flag = truth ? 1.0 : 0.0;
    } else if (!finiteNumber(negate, flag)) {
      flag = -1.0;
    }
    if (flag != 0.0 && flag != 1.0) {
      fail(yaml_path, "'negate' must be 0 or 1, got " + shown(negate));
    }
    info.negate = flag == 1.0;
  }
  const double default_occupied = 0.65;
  const double default_free = 0.196;
  info.occupied_thresh = number(description, "occupied_thresh", yaml_path, &default_occupied);
  info.free_thresh = number(description, "free_thresh", yaml_path, &default_free);
  if (!(0.0 <= info.free_thresh && info.free_thresh <= info.occupied_thresh &&
        info.occupied_thresh <= 1.0)) {
    fail(yaml_path, "thresholds must satisfy 0 <= free_thresh <= occupied_thresh <= 1");
  }
  if (const YAML::Node mode = description["mode"]) {
    const std::string name = mode.IsScalar() ? mode.Scalar() : std::string();
    if (name == "scale") {
      info.mode = OccupancyMode::Scale;
    } else if (name == "raw") {
      info.mode = OccupancyMode::Raw;
    } else if (name != "trinary") {
      fail(yaml_path, "'mode' must be one of trinary, scale, raw, got " + shown(mode));
    }
  }
}

void checkThresholds(double occupied, double free) {
  if (!(0.0 <= free && free <= occupied && occupied <= 1.0)) {
    detail::throwInvalidArgument(
        "thresholds must satisfy 0 <= free_thresh <= occupied_thresh <= 1");
  }
}

// Occupancy in [0, 1] to a cost under the thresholds.
std::uint8_t costOf(double occupancy, double occupied, double free, bool scaled) {
  if (occupancy > occupied) {
    return kLethalCost;
  }
  if (occupancy < free) {
    return kFreeCost;
  }
  if (!scaled) {
    return kUnknownCost;
  }
  const double span = occupied - free;
  if (!(span > 0.0)) {
    return kUnknownCost;
  }
  const double graded = std::nearbyint((occupancy - free) / span * double{kMaxGradedCost});
  return static_cast<std::uint8_t>(std::fmin(std::fmax(graded, 0.0), double{kMaxGradedCost}));
}

const char* const kMovingAiHeaders =
    "expected 'type', 'height', 'width' and 'map' lines, or 'height', 'width', 'free' and "
    "'obstacle' lines, before the rows";
// Larger grids are no MovingAI benchmark map, and a header claiming one is a corrupt file.
constexpr std::uint64_t kMaxMovingAiSide = 100000;

// One line of a text map without its line end (LF or CR LF); false at the end of the file.
bool readAsciiLine(std::ifstream& file, const std::string& path, std::string& line) {
  if (!std::getline(file, line)) {
    return false;
  }
  if (!line.empty() && line.back() == '\r') {
    line.pop_back();
  }
  for (const char c : line) {
    if (static_cast<unsigned char>(c) > 127) {
      fail(path, "not ASCII text");
    }
  }
  return true;
}

struct MovingAiHeader {
  std::uint64_t width = 0;
  std::uint64_t height = 0;
  // The characters a grid names itself; both empty for the classic grids.
  std::string free_terrain;
  std::string obstacle_terrain;
  // The first row, when the header of a grid that names its characters ended with it.
  bool first_row_read = false;
  std::string first_row;
};

// The header up to the first grid row, checked against what the rest of the file can hold.
MovingAiHeader readMovingAiHeader(std::ifstream& file, const std::string& path,
                                  std::uint64_t file_size) {
  MovingAiHeader header;
  bool have_width = false;
  bool have_height = false;
  std::string& line = header.first_row;
  // Grids found in the wild may name their characters instead: "height H", "width W", "free C",
  // "obstacle C" (each repeatable), no type and no map line; the first row ends that header.
  std::string& free_terrain = header.free_terrain;
  std::string& obstacle_terrain = header.obstacle_terrain;
  std::streamoff rows_start = -1;  // where the line last read starts
  for (;;) {
    const bool declared = !free_terrain.empty() && !obstacle_terrain.empty();
    rows_start = file.tellg();
    if (!readAsciiLine(file, path, line)) {
      if (declared) {
        break;  // the checks below say what is missing
      }
      fail(path, "not a MovingAI grid (no 'map' line)");
    }
    if (declared && have_width && have_height && !line.empty() &&
        line.find_first_not_of(free_terrain + obstacle_terrain) == std::string::npos) {
      header.first_row_read = true;
      break;
    }
    std::istringstream words(line);
    std::string key;
    std::string value;
    std::string extra;
    if (!(words >> key)) {
      continue;
    }
    if (key == "map" && !(words >> extra)) {
      break;
    }
    const bool terrain = key == "free" || key == "obstacle";
    if (!(words >> value) || (words >> extra) || (terrain && value.size() != 1) ||
        (key != "type" && key != "height" && key != "width" && !terrain)) {
      fail(path, "not a MovingAI grid (header line '" + detail::excerpt(line) + "'); " +
                     kMovingAiHeaders);
    }
    if (terrain) {
      if ((key == "free" ? obstacle_terrain : free_terrain).find(value[0]) != std::string::npos) {
        fail(path, "the header names '" + detail::excerpt(value) + "' both free and obstacle");
      }
      (key == "free" ? free_terrain : obstacle_terrain) += value[0];
    } else if (key != "type") {
      const bool digits =
          value.find_first_not_of("0123456789") == std::string::npos && value.size() <= 9;
      (key == "width" ? have_width : have_height) = digits;
      (key == "width" ? header.width : header.height) = digits ? std::stoull(value) : 0;
    }
  }
  const std::uint64_t width = header.width;
  const std::uint64_t height = header.height;
  if (!have_width || !have_height) {
    fail(path, "the header needs integer 'height' and 'width'");
  }
  if (width == 0 || height == 0 || width > kMaxMovingAiSide || height > kMaxMovingAiSide) {
    fail(path, "grid of " + std::to_string(width) + " x " + std::to_string(height) +
                   " cells is out of range");
  }
  if (free_terrain.empty() != obstacle_terrain.empty()) {
    fail(path, std::string("the header names no '") + (free_terrain.empty() ? "free" : "obstacle") +
                   "' character; " + kMovingAiHeaders);
  }
  // Each row takes its width in bytes: a claim the rest of the file cannot hold is refused before
  // anything is allocated, and the grid then grows only with rows that arrive.
  // The first row may have been read already, while looking for the header's end.
  const std::streamoff header_end =
      header.first_row_read ? rows_start : static_cast<std::streamoff>(file.tellg());
  const std::uint64_t left =
      header_end < 0 ? 0 : file_size - std::min<std::uint64_t>(file_size, header_end);
  if (width * height > left) {
    fail(path, "grid of " + std::to_string(width) + " x " + std::to_string(height) +
                   " cells does not fit in the " + std::to_string(left) +
                   " bytes after the header");
  }
  return header;
}

// The cost of one grid character: the header's own characters when it names them, else the
// MovingAI terrain ('.', 'G', 'S' free; '@', 'O', 'T', 'W' lethal).
std::uint8_t terrainCost(const MovingAiHeader& header, const std::string& path, char c,
                         std::uint64_t row) {
  if (!header.free_terrain.empty()) {
    if (header.free_terrain.find(c) != std::string::npos) {
      return kFreeCost;
    }
    if (header.obstacle_terrain.find(c) != std::string::npos) {
      return kLethalCost;
    }
    std::string expected;
    for (const char known : header.free_terrain + header.obstacle_terrain) {
      expected += (expected.empty() ? "" : " ") + detail::excerpt(std::string(1, known));
    }
    fail(path, "unknown terrain '" + detail::excerpt(std::string(1, c)) + "' in row " +
                   std::to_string(row + 1) + " (expected one of " + expected + ")");
  }
  switch (c) {
    case '.':
    case 'G':
    case 'S': return kFreeCost;
    case '@':
    case 'O':
    case 'T':
    case 'W': return kLethalCost;
    default:
      fail(path, "unknown terrain '" + detail::excerpt(std::string(1, c)) + "' in row " +
                     std::to_string(row + 1) + " (expected one of . G S @ O T W)");
  }
}

// The rows after the header as costmap cells: the first row of the file is the top of the map.
std::vector<std::uint8_t> readMovingAiRows(std::ifstream& file, const std::string& path,
                                           MovingAiHeader& header) {
  const std::uint64_t width = header.width;
  const std::uint64_t height = header.height;
  const std::string shape =
      "expected " + std::to_string(height) + " rows of " + std::to_string(width) + " characters";
  std::vector<std::uint8_t> file_rows;  // in file order
  std::uint64_t rows = 0;
  std::string& line = header.first_row;
  while (std::exchange(header.first_row_read, false) || readAsciiLine(file, path, line)) {
    if (line.empty() && rows == height) {
      continue;
    }
    if (rows == height || line.size() != width) {
      fail(path, shape);
    }
    for (std::uint64_t x = 0; x < width; ++x) {
      file_rows.push_back(terrainCost(header, path, line[x], rows));
    }
    ++rows;
  }
  if (rows != height) {
    fail(path, shape);
  }
  // Row r of the file is row height - 1 - r of the costmap.
  std::vector<std::uint8_t> cells(file_rows.size());
  for (std::uint64_t r = 0; r < height; ++r) {
    std::copy_n(file_rows.begin() + static_cast<std::ptrdiff_t>(r * width), width,
                cells.begin() + static_cast<std::ptrdiff_t>((height - 1 - r) * width));
  }
  return cells;
}

// A description's PNG image as costs: the first image row is the top of the map, and a fully
// transparent pixel, which says nothing of the world, is unknown. Errors name the image.
Costmap loadPngOccupancy(const OccupancyMapInfo& info) {
  try {
    const detail::GreyImage image = detail::readPngGrey(info.image);
    const std::uint64_t width = image.width;
    const std::uint64_t height = image.height;
    std::vector<std::uint8_t> grey(image.grey.size());
    for (std::uint64_t r = 0; r < height; ++r) {
      std::copy_n(image.grey.begin() + static_cast<std::ptrdiff_t>(r * width), width,
                  grey.begin() + static_cast<std::ptrdiff_t>((height - 1 - r) * width));
    }
    std::vector<std::uint8_t> costs = occupancyImageToCosts(grey, info);
    for (std::uint64_t r = 0; r < height; ++r) {
      for (std::uint64_t x = 0; x < width; ++x) {
        if (image.transparent[r * width + x] != 0) {
          costs[(height - 1 - r) * width + x] = kUnknownCost;
        }
      }
    }
    return Costmap(width, height, info.resolution, info.origin_x, info.origin_y, std::move(costs));
  } catch (...) {
    detail::rethrowNamingFile(info.image);
  }
}

}  // namespace

OccupancyMapInfo readOccupancyMapInfo(const std::string& yaml_path) {
  const YAML::Node description = parseDescription(yaml_path);
  OccupancyMapInfo info;
  readPlacement(description, yaml_path, info);
  readOccupancyRules(description, yaml_path, info);
  if (info.image[0] != '/') {
    const std::size_t slash = yaml_path.rfind('/');
    if (slash != std::string::npos) {
      info.image = yaml_path.substr(0, slash + 1) + info.image;
    }
  }
  return info;
}

std::vector<std::uint8_t> occupancyImageToCosts(const std::vector<std::uint8_t>& grey,
                                                const OccupancyMapInfo& info) {
  checkThresholds(info.occupied_thresh, info.free_thresh);
  const double occupied = info.occupied_thresh;
  const double free = info.free_thresh;
  std::vector<std::uint8_t> costs(grey.size());
  if (info.mode == OccupancyMode::Raw) {
    for (std::size_t i = 0; i < grey.size(); ++i) {
      const std::uint8_t value = grey[i];
      if (value == 255) {
        costs[i] = kUnknownCost;
      } else if (value <= 100) {
        costs[i] = costOf(value / 100.0, occupied, free, false);
      } else {
        detail::throwMapFormatError("raw occupancy value " + std::to_string(value) +
                                    " is neither 0..100 nor 255 (unknown)");
      }
    }
    return costs;
  }
  // A table: 256 grey levels, each converted once.
  std::uint8_t cost_of[256];
  for (int g = 0; g < 256; ++g) {
    const double occupancy = info.negate ? g / 255.0 : (255.0 - g) / 255.0;
    cost_of[g] = costOf(occupancy, occupied, free, info.mode == OccupancyMode::Scale);
  }
  for (std::size_t i = 0; i < grey.size(); ++i) {
    costs[i] = cost_of[grey[i]];
  }
  return costs;
}

std::vector<std::uint8_t> occupancyPercentToCosts(const std::vector<std::int8_t>& occupancy,
                                                  double occupied_thresh, double free_thresh,
                                                  bool scaled) {
  checkThresholds(occupied_thresh, free_thresh);
  std::vector<std::uint8_t> costs(occupancy.size());
  for (std::size_t i = 0; i < occupancy.size(); ++i) {
    const int value = occupancy[i];
    if (value == -1) {
      costs[i] = kUnknownCost;
    } else if (value >= 0 && value <= 100) {
      costs[i] = costOf(value / 100.0, occupied_thresh, free_thresh, scaled);
    } else {
      detail::throwInvalidArgument("occupancy value " + std::to_string(value) +
                                   " is outside -1..100");
    }
  }
  return costs;
}

Costmap loadOccupancyMap(const std::string& yaml_path) {
  const OccupancyMapInfo info = readOccupancyMapInfo(yaml_path);
  std::string extension = info.image.substr(info.image.size() < 4 ? 0 : info.image.size() - 4);
  for (char& c : extension) {
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  if (extension == ".png") {
    return loadPngOccupancy(info);
  }
  if (extension != ".pgm" && extension != ".pnm") {
    detail::throwMapFormatError(info.image + ": only PGM and PNG images are read here");
  }
  // The image's errors name the image, each keeping its type.
  std::optional<Costmap> grey;
  try {
    grey.emplace(loadCostmapPgm(info.image, info.resolution, info.origin_x, info.origin_y));
  } catch (const std::invalid_argument& error) {
    detail::throwInvalidArgument(info.image + ": " + error.what());
  } catch (const FileError& error) {
    detail::throwFileError(info.image + ": " + error.what());
  } catch (const MapFormatError& error) {
    detail::throwMapFormatError(info.image + ": " + error.what());
  } catch (const std::exception& error) {
    detail::throwRuntimeError(info.image + ": " + error.what());
  }
  std::vector<std::uint8_t> costs;
  try {
    costs = occupancyImageToCosts(grey->cells(), info);
  } catch (const MapFormatError& error) {
    detail::throwMapFormatError(info.image + ": " + error.what());
  }
  return Costmap(grey->width(), grey->height(), info.resolution, info.origin_x, info.origin_y,
                 std::move(costs));
}

Costmap loadMovingAiMap(const std::string& path, double resolution, double origin_x,
                        double origin_y) {
  std::uint64_t file_size = 0;
  std::ifstream file = openMapFile(path, &file_size);
  MovingAiHeader header = readMovingAiHeader(file, path, file_size);
  std::vector<std::uint8_t> cells = readMovingAiRows(file, path, header);
  try {
    return Costmap(header.width, header.height, resolution, origin_x, origin_y, std::move(cells));
  } catch (const std::invalid_argument& error) {
    detail::throwInvalidArgument(path + ": " + error.what());
  }
}

InflationParameters defaultInflation(const Footprint& footprint, double resolution) {
  if (!(std::isfinite(resolution) && resolution > 0.0)) {
    detail::throwInvalidArgument("resolution must be finite and positive");
  }
  const std::vector<std::string> problems = validateFootprint(footprint);
  if (!problems.empty()) {
    detail::throwInvalidArgument(problems.front());
  }
  double circumscribed = 0.0;
  if (const auto* circle = std::get_if<CircleFootprint>(&footprint)) {
    circumscribed = circle->radius;
  } else {
    const auto widen = [&circumscribed](const PolygonFootprint& polygon) {
      for (const Point2D& point : polygon.points) {
        circumscribed = std::max(circumscribed, std::hypot(point.x, point.y));
      }
    };
    if (const auto* polygon = std::get_if<PolygonFootprint>(&footprint)) {
      widen(*polygon);
    } else {
      for (const PolygonFootprint& component :
           std::get<MultiPolygonFootprint>(footprint).polygons) {
        widen(component);
      }
    }
  }
  // Costs of inflated cells fall to about this at the inflation radius.
  constexpr double kEdgeCost = 10.0;
  InflationParameters inflation;
  inflation.inflation_radius = std::max(circumscribed, 2.0 * resolution);
  inflation.cost_scaling_factor =
      std::log(static_cast<double>(kMaxGradedCost) / kEdgeCost) / inflation.inflation_radius;
  return inflation;
}

Costmap inflateForFootprint(const Costmap& costmap, const Footprint& footprint) {
  const InflationParameters inflation = defaultInflation(footprint, costmap.resolution());
  return inflateCostmap(costmap, inflation.inflation_radius, inflation.inscribed_radius,
                        inflation.cost_scaling_factor);
}

}  // namespace veltrax::se2
