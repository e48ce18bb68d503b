#include "veltrax/se2/io.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <fstream>
#include <limits>
#include <sstream>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "detail/errors.hpp"
#include "detail/input_file.hpp"
#include "detail/output_file.hpp"
#include "detail/record_fields.hpp"
#include "veltrax/se2/occupancy_map.hpp"

namespace veltrax::se2 {
namespace {

constexpr std::uint64_t kMaxU64 = std::numeric_limits<std::uint64_t>::max();

bool isPgmSpace(int c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// Tokens stay short whatever the file holds: leading zeros after the sign count as one zero, and
// only the first kKeptTokenLength characters are kept. Neither changes what a token means: the
// kept prefix still decides "no digits", "beyond 64 bits" (it then holds over 60 significant
// digits) and "characters after the number".
constexpr std::size_t kKeptTokenLength = 64;

std::string readPgmToken(std::streambuf& in) {
  using Traits = std::char_traits<char>;
  for (int c = in.sgetc(); c != Traits::eof(); c = in.sgetc()) {
    if (c == '#') {
      do {
        c = in.sbumpc();
      } while (c != Traits::eof() && c != '\n');
    } else if (isPgmSpace(c)) {
      in.sbumpc();
    } else {
      break;
    }
  }
  std::string token;
  for (int c = in.sgetc(); c != Traits::eof() && c != '#' && !isPgmSpace(c); c = in.snextc()) {
    const bool repeated_zero = c == '0' && (token == "0" || token == "+0" || token == "-0");
    if (!repeated_zero && token.size() < kKeptTokenLength) {
      token.push_back(static_cast<char>(c));
    }
  }
  if (token.empty()) {
    detail::throwMapFormatError("unexpected end of PGM header");
  }
  return token;
}

// A decimal number with an optional sign, a minus wrapping modulo 2^64 as the C library's
// conversion does. Returns the number of characters used, 0 for a token without digits after the
// sign; `overflow` tells of a value beyond 64 bits.
std::size_t parseUnsigned(const std::string& token, std::uint64_t& value, bool& overflow) {
  std::size_t i = 0;
  bool negative = false;
  if (i < token.size() && (token[i] == '+' || token[i] == '-')) {
    negative = token[i] == '-';
    ++i;
  }
  if (i == token.size() || !isDigit(token[i])) {
    return 0;
  }
  std::uint64_t result = 0;
  overflow = false;
  for (; i < token.size() && isDigit(token[i]); ++i) {
    const auto digit = static_cast<std::uint64_t>(token[i] - '0');
    if (result > (kMaxU64 - digit) / 10) {
      overflow = true;
    } else {
      result = result * 10 + digit;
    }
  }
  value = negative ? 0 - result : result;
  return i;
}

// A header number that is no positive size (no digits, beyond 64 bits, zero, signed negative, or
// followed by other characters) is a MapFormatError "invalid PGM <what>".
std::uint64_t parsePgmHeaderNumber(const std::string& token, const char* what) {
  std::uint64_t value = 0;
  bool overflow = false;
  // A minus would wrap round to a small size (-18446744073709551614 is 2): no size is negative.
  if (parseUnsigned(token, value, overflow) != token.size() || overflow || value == 0 ||
      token[0] == '-') {
    detail::throwMapFormatError(std::string("invalid PGM ") + what);
  }
  return value;
}

std::vector<std::uint8_t> readPlainPixels(std::streambuf& in, std::uint64_t count,
                                          std::uint64_t maxval) {
  std::vector<std::uint8_t> pixels;
  // Every value needs at least two bytes of file, so growth follows the data actually present.
  pixels.reserve(static_cast<std::size_t>(std::min<std::uint64_t>(count, 1 << 20)));
  for (std::uint64_t i = 0; i < count; ++i) {
    const std::string token = readPgmToken(in);
    std::uint64_t value = 0;
    bool overflow = false;
    if (parseUnsigned(token, value, overflow) != token.size()) {
      detail::throwMapFormatError("invalid PGM pixel");
    }
    if (overflow || value > maxval) {
      detail::throwMapFormatError("PGM pixel exceeds maximum value");
    }
    pixels.push_back(static_cast<std::uint8_t>(value));
  }
  return pixels;
}

std::vector<std::uint8_t> readRawPixels(std::streambuf& in, std::uint64_t count) {
  const int separator = in.sbumpc();
  if (separator == std::char_traits<char>::eof() || !isPgmSpace(separator)) {
    detail::throwMapFormatError("invalid PGM header separator");
  }
  // The buffer grows with the bytes that arrive, never to a size the header merely claims.
  std::vector<std::uint8_t> pixels;
  std::uint64_t filled = 0;
  while (filled < count) {
    const std::uint64_t step =
        std::min<std::uint64_t>(count - filled, std::max<std::uint64_t>(filled, 1 << 20));
    pixels.resize(static_cast<std::size_t>(filled + step));
    const auto got = in.sgetn(reinterpret_cast<char*>(pixels.data() + filled),
                              static_cast<std::streamsize>(step));
    filled += static_cast<std::uint64_t>(std::max<std::streamsize>(got, 0));
    if (static_cast<std::uint64_t>(got) < step) {
      break;
    }
  }
  if (filled < count) {
    detail::throwMapFormatError("PGM pixel data is truncated");
  }
  return pixels;
}

bool endsWithIgnoringCase(const std::string& name, const char* tail) {
  const std::size_t length = std::char_traits<char>::length(tail);
  if (name.size() < length) {
    return false;
  }
  for (std::size_t i = 0; i < length; ++i) {
    const char c = name[name.size() - length + i];
    const char lower = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    if (lower != tail[i]) {
      return false;
    }
  }
  return true;
}

// The first bytes of a file, or nothing when it cannot be read: a file whose name says nothing of
// its format and that cannot be read is of no known format.
std::string leadingBytes(const std::string& path) {
  constexpr std::size_t kLooked = 256;
  try {
    std::ifstream file = detail::openInputFile(path, std::ios::binary);
    std::string head(kLooked, '\0');
    file.read(head.data(), static_cast<std::streamsize>(kLooked));
    head.resize(static_cast<std::size_t>(file.gcount()));
    return head;
  } catch (const std::exception&) {
    return std::string();
  }
}

// %.17g: enough digits to read every double back exactly.
void appendDouble(std::string& out, double value) {
  char buffer[32];
  const int length = std::snprintf(buffer, sizeof buffer, "%.17g", value);
  out.append(buffer, static_cast<std::size_t>(length));
}

// JSON has no literal for NaN or the infinities.
void appendJsonNumber(std::string& out, double value) {
  if (std::isfinite(value)) {
    appendDouble(out, value);
  } else {
    out += "null";
  }
}

void appendJsonValue(std::string& out, bool value) { out += value ? "true" : "false"; }
void appendJsonValue(std::string& out, double value) { appendJsonNumber(out, value); }
void appendJsonValue(std::string& out, std::uint64_t value) { out += std::to_string(value); }
void appendJsonValue(std::string& out, std::uint32_t value) { out += std::to_string(value); }

int directionAt(const PlannerResult& result, std::size_t index) {
  return index < result.directions.size() ? static_cast<int>(result.directions[index]) : 0;
}

void appendJsonString(std::string& out, const std::string& text) {
  static constexpr char kHex[] = "0123456789abcdef";
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    switch (byte) {
      case '\t': out += "\\t"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      default:
        if (byte < 0x20) {
          out += "\\u00";
          out += kHex[byte >> 4];
          out += kHex[byte & 0xF];
        } else {
          out += c;
        }
    }
  }
}

}  // namespace

Costmap loadCostmapPgm(const std::string& path, double resolution, double origin_x,
                       double origin_y) {
  std::ifstream file = detail::openInputFile(path, std::ios::binary);
  std::streambuf& in = *file.rdbuf();
  const std::string magic = readPgmToken(in);
  if (magic != "P2" && magic != "P5") {
    detail::throwMapFormatError("only P2 and P5 PGM files are supported");
  }
  const std::uint64_t width = parsePgmHeaderNumber(readPgmToken(in), "width");
  const std::uint64_t height = parsePgmHeaderNumber(readPgmToken(in), "height");
  const std::uint64_t maxval = parsePgmHeaderNumber(readPgmToken(in), "maximum value");
  if (maxval > 255) {
    detail::throwMapFormatError("16-bit PGM files are not supported");
  }
  // No file holds 2^63 pixels (nor a pixel count past 64 bits), so such a claim is truncated data
  // whatever follows; below that the buffers grow only with the bytes that arrive.
  if (width > kMaxU64 / height || width * height >= (std::uint64_t{1} << 63)) {
    detail::throwMapFormatError("PGM pixel data is truncated");
  }
  const std::uint64_t count = width * height;
  const std::vector<std::uint8_t> pixels =
      magic == "P2" ? readPlainPixels(in, count, maxval) : readRawPixels(in, count);

  std::array<std::uint8_t, 256> cost_of{};
  for (std::uint64_t grey = 0; grey <= maxval; ++grey) {
    cost_of[grey] = static_cast<std::uint8_t>(
        std::lround(static_cast<double>(grey) * 255.0 / static_cast<double>(maxval)));
  }
  std::vector<std::uint8_t> cells(pixels.size());
  for (std::uint64_t row = 0; row < height; ++row) {
    const std::uint8_t* from = pixels.data() + row * width;
    std::uint8_t* to = cells.data() + (height - 1 - row) * width;
    for (std::uint64_t column = 0; column < width; ++column) {
      if (from[column] > maxval) {
        detail::throwMapFormatError("PGM pixel exceeds maximum value");
      }
      to[column] = cost_of[from[column]];
    }
  }
  return Costmap(width, height, resolution, origin_x, origin_y, std::move(cells));
}

Costmap loadCostmapCsv(const std::string& path, double resolution, double origin_x,
                       double origin_y) {
  std::ifstream file = detail::openInputFile(path, std::ios::openmode{});
  std::uint64_t width = 0;
  std::uint64_t rows = 0;
  std::vector<std::uint8_t> cells;
  std::vector<std::uint8_t> row;
  std::string line;
  std::istringstream values;
  while (std::getline(file, line)) {
    const std::size_t first = line.find_first_not_of(" \t\r");
    if (first == std::string::npos || line[first] == '#') {
      continue;
    }
    // Commas and whitespace both separate values, and a run of them is one separator: an empty
    // field is no value.
    std::replace(line.begin(), line.end(), ',', ' ');
    values.clear();
    values.str(line);
    row.clear();
    while (!(values >> std::ws).eof()) {
      int value = 0;
      if (!(values >> value)) {
        // A number past int's range fails like a non-number (the stream stores the nearest
        // limit); at the end of the line it must not silently vanish from the row.
        const bool overflow =
            value == std::numeric_limits<int>::max() || value == std::numeric_limits<int>::min();
        if (values.eof() && overflow) {
          detail::throwMapFormatError("CSV cost values must be in [0, 255]");
        }
        detail::throwMapFormatError("invalid CSV costmap row: " + detail::excerpt(line));
      }
      if (static_cast<unsigned>(value) > 255u) {
        detail::throwMapFormatError("CSV cost values must be in [0, 255]");
      }
      row.push_back(static_cast<std::uint8_t>(value));
    }
    if (row.empty()) {
      continue;
    }
    if (width != 0 && row.size() != width) {
      detail::throwMapFormatError("CSV costmap rows have different widths");
    }
    cells.insert(cells.end(), row.begin(), row.end());
    ++rows;
    width = row.size();
  }
  if (width == 0 || rows == 0) {
    detail::throwMapFormatError("CSV costmap is empty: " + path);
  }
  return Costmap(width, rows, resolution, origin_x, origin_y, std::move(cells));
}

MapFormat mapFormat(const std::string& path) {
  static constexpr std::pair<const char*, MapFormat> kExtensions[] = {{".yaml", MapFormat::Yaml},
                                                                      {".yml", MapFormat::Yaml},
                                                                      {".map", MapFormat::MovingAi},
                                                                      {".pgm", MapFormat::Pgm},
                                                                      {".csv", MapFormat::Csv}};
  for (const auto& [extension, format] : kExtensions) {
    if (endsWithIgnoringCase(path, extension)) {
      return format;
    }
  }
  const std::string head = leadingBytes(path);
  if (head.size() >= 3 && head[0] == 'P' && (head[1] == '2' || head[1] == '5') &&
      (isPgmSpace(head[2]) || head[2] == '#')) {
    return MapFormat::Pgm;
  }
  std::istringstream first_line(head.substr(0, head.find('\n')));
  std::string word;
  if (first_line >> word && (word == "type" || word == "height" || word == "width")) {
    return MapFormat::MovingAi;
  }
  detail::throwMapFormatError(path +
                              ": unknown map format (expected .yaml, .yml, .map, .pgm or .csv)");
}

Costmap loadMap(const std::string& path, const MapLoadOptions& options) {
  const MapFormat format = mapFormat(path);
  if (format == MapFormat::Yaml) {
    if (options.resolution) {
      detail::throwInvalidArgument(path + ": a YAML map carries its own resolution and origin");
    }
    return loadOccupancyMap(path);
  }
  if (!options.resolution) {
    const char* kind = format == MapFormat::MovingAi ? "map"
                       : format == MapFormat::Pgm    ? "pgm"
                                                     : "csv";
    detail::throwInvalidArgument(path + ": a resolution (cell size in metres) is required for ." +
                                 kind + " maps");
  }
  const double resolution = *options.resolution;
  if (format == MapFormat::MovingAi) {
    return loadMovingAiMap(path, resolution, options.origin_x, options.origin_y);
  }
  if (options.occupancy && format != MapFormat::Pgm) {
    detail::throwInvalidArgument(path + ": only PGM images can be read as occupancy");
  }
  try {
    if (format == MapFormat::Csv) {
      return loadCostmapCsv(path, resolution, options.origin_x, options.origin_y);
    }
    Costmap grey = loadCostmapPgm(path, resolution, options.origin_x, options.origin_y);
    if (!options.occupancy) {
      return grey;
    }
    return Costmap(grey.width(), grey.height(), resolution, options.origin_x, options.origin_y,
                   occupancyImageToCosts(grey.cells(), OccupancyMapInfo{}));
  } catch (...) {
    detail::rethrowNamingFile(path);
  }
}

void savePathCsv(const PlannerResult& result, const std::string& path) {
  detail::replaceFileContents(path, "cannot open output file: ", "failed to write path CSV: ", [&] {
    std::string text = "x,y,yaw,direction\n";
    for (std::size_t i = 0; i < result.path.size(); ++i) {
      const Pose2D& pose = result.path[i];
      appendDouble(text, pose.x);
      text += ',';
      appendDouble(text, pose.y);
      text += ',';
      appendDouble(text, pose.yaw);
      text += ',';
      text += std::to_string(directionAt(result, i));
      text += '\n';
    }
    return text;
  });
}

void saveResultJson(const PlannerResult& result, const std::string& path) {
  detail::replaceFileContents(
      path, "cannot open output file: ", "failed to write result JSON: ", [&] {
        const PlannerDiagnostics& d = result.diagnostics;
        std::string text = "{\n  \"status\": \"";
        text += plannerStatusName(result.status);
        text += "\",\n  \"message\": \"";
        appendJsonString(text, result.message);
        // Only a partial path is marked, so a complete result's file reads as it always did.
        text += result.partial ? "\",\n  \"partial\": true" : "\"";
        text += ",\n  \"revisions\": {\"map\": " + std::to_string(result.map_revision);
        text += ", \"goal\": " + std::to_string(result.goal_revision);
        text += ", \"robot\": " + std::to_string(result.robot_revision);
        // The diagnostics by name, in declaration order.
        text += "},\n  \"diagnostics\": {";
        const char* separator = "";
        detail::RecordFields<PlannerDiagnostics>::forEach([&](auto field) {
          if (!field.in_result_file) {
            return;
          }
          text += separator;
          separator = ", ";
          text += '"';
          text += field.name;
          text += "\": ";
          appendJsonValue(text, d.*field.member);
        });
        text += "},\n  \"path\": [\n";
        for (std::size_t i = 0; i < result.path.size(); ++i) {
          const Pose2D& pose = result.path[i];
          text += "    {\"x\": ";
          appendJsonNumber(text, pose.x);
          text += ", \"y\": ";
          appendJsonNumber(text, pose.y);
          text += ", \"yaw\": ";
          appendJsonNumber(text, pose.yaw);
          text += ", \"direction\": " + std::to_string(directionAt(result, i));
          text += i + 1 < result.path.size() ? "},\n" : "}\n";
        }
        text += "  ]\n}\n";
        return text;
      });
}

}  // namespace veltrax::se2
