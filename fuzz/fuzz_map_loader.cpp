// loadMap on arbitrary files of every format. The first byte picks the file name (and so the
// format, or none, leaving the choice to the contents) and the options; for a YAML description
// the bytes up to the first NUL are the description and the rest is the image it may name as
// "image.pgm" or "image.png", written beside it under both names. The seeds in corpus/map_loader
// are small crops of the bundled maps (data/maps, examples/maps; their licences are there) in this
// layout.
#include <sys/stat.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <string>

#include "fuzz_support.hpp"
#include "veltrax/se2/io.hpp"

namespace {

const char* const kNames[] = {"map.yaml", "map.map", "map.pgm", "map.csv",
                              "map",      "map.yml", "MAP.PGM", "map.txt"};

const std::string& scratchDirectory() {
  static const std::string directory = [] {
    std::string path = veltrax::se2::fuzz::scratchPath("_maps");
    ::mkdir(path.c_str(), 0700);
    return path + "/";
  }();
  return directory;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace veltrax::se2;
  if (size == 0) {
    return 0;
  }
  const std::uint8_t selector = data[0];
  const std::uint8_t* body = data + 1;
  const std::size_t body_size = size - 1;
  const std::string path = scratchDirectory() + kNames[selector & 7];
  const std::uint8_t* nul = std::find(body, body + body_size, std::uint8_t{0});
  const bool described = std::strstr(kNames[selector & 7], ".y") != nullptr;
  const std::size_t text_size = described ? static_cast<std::size_t>(nul - body) : body_size;
  fuzz::writeScratch(path, body, text_size);
  if (described) {
    const std::size_t image_start = std::min(text_size + 1, body_size);
    for (const char* image : {"image.pgm", "image.png"}) {
      fuzz::writeScratch(scratchDirectory() + image, body + image_start, body_size - image_start);
    }
  }
  MapLoadOptions options;
  options.occupancy = (selector & 0x08) != 0;
  if ((selector & 0x10) == 0) {
    options.resolution = 0.05;
    options.origin_x = -1.5;
    options.origin_y = 2.25;
  }
  // Either a costmap with exactly width x height cells, or one of the documented exception
  // types with a message; anything else (bad_alloc, out_of_range) escapes and stops the run.
  try {
    const Costmap costmap = loadMap(path, options);
    fuzz::require(costmap.width() >= 1 && costmap.height() >= 1, "costmap has cells");
    fuzz::require(costmap.cells().size() == costmap.width() * costmap.height(),
                  "cell count is width x height");
    fuzz::require(described || (costmap.resolution() == 0.05 && costmap.originX() == -1.5 &&
                                costmap.originY() == 2.25),
                  "geometry is the caller's");
  } catch (const std::runtime_error& error) {
    fuzz::require(error.what()[0] != '\0', "runtime_error has a message");
  } catch (const std::invalid_argument& error) {
    fuzz::require(error.what()[0] != '\0', "invalid_argument has a message");
  }
  return 0;
}
