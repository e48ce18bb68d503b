#pragma once

// A minimal reader of 8-bit P5 images, header comments included, for tests and benchmarks that
// use the shared maps without depending on the library's file loaders. Rows come top first, as
// stored.

#include <cstdint>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace veltrax::se2::testing {

struct PgmImage {
  std::uint64_t width = 0;
  std::uint64_t height = 0;
  std::vector<std::uint8_t> pixels;  // row-major, first row = top of the image
};

inline PgmImage readPgm(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  auto token = [&in]() {
    std::string t;
    while (in >> t) {
      if (t[0] != '#') {
        return t;
      }
      std::string rest;
      std::getline(in, rest);
    }
    return std::string();
  };
  const std::string magic = token();
  if (magic != "P5") {
    throw std::runtime_error("not a P5 image: " + path);
  }
  PgmImage image;
  image.width = std::stoull(token());
  image.height = std::stoull(token());
  if (std::stoull(token()) > 255) {
    throw std::runtime_error("not an 8-bit image: " + path);
  }
  in.get();
  image.pixels.resize(image.width * image.height);
  in.read(reinterpret_cast<char*>(image.pixels.data()),
          static_cast<std::streamsize>(image.pixels.size()));
  if (!in) {
    throw std::runtime_error("truncated image: " + path);
  }
  return image;
}

}  // namespace veltrax::se2::testing
