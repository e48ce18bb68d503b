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
}  // namespace
}  // namespace veltrax::se2
