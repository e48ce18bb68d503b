#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace veltrax::se2::detail {

// A PNG image as 8-bit grey levels, rows in file order (the first is the top of the picture).
struct GreyImage {
  std::uint64_t width = 0;
  std::uint64_t height = 0;
  std::vector<std::uint8_t> grey;         // (r + g + b) / 3 rounded down; the level of grey images
  std::vector<std::uint8_t> transparent;  // 1 for a fully transparent pixel (alpha or tRNS)
};

// Images with more pixels are refused from their header: a small compressed file can claim a
// huge picture.
constexpr std::uint64_t kMaxImagePixels = 40000000;

// Reads a PNG of any colour type and bit depth but 16-bit grey (whose levels would be cut to 8
// bits, an obstacle read as free): palettes expanded, low bit depths scaled to 0..255, 16-bit
// colour channels cut to their high byte, no gamma correction. Throws FileError "cannot open input
// file: <path>" and the like, MapFormatError "image of W x H pixels exceeds the limit of
// 40,000,000 pixels", "images with more than 8 bits per channel are not supported (mode I;16)"
// or "cannot read image (<what the decoder says>)".
GreyImage readPngGrey(const std::string& path);

}  // namespace veltrax::se2::detail
