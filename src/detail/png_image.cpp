#include "detail/png_image.hpp"

#include <png.h>

#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "detail/errors.hpp"
#include "detail/input_file.hpp"

namespace veltrax::se2::detail {
namespace {

// libpng reports errors by a long jump back to the setjmp of the call that failed. The functions
// holding a setjmp below keep no object with a destructor, so the jump skips nothing.
struct Decoder {
  png_structp png = nullptr;
  png_infop info = nullptr;
  char message[200] = {};
};

void onError(png_structp png, png_const_charp message) {
  auto* decoder = static_cast<Decoder*>(png_get_error_ptr(png));
  std::snprintf(decoder->message, sizeof decoder->message, "%s", message);
  png_longjmp(png, 1);
}

void onWarning(png_structp, png_const_charp) {}

struct Header {
  png_uint_32 width = 0;
  png_uint_32 height = 0;
  int bit_depth = 0;
  int color_type = 0;
};

// False with decoder.message set when the file is no readable PNG.
bool readHeader(Decoder& decoder, std::FILE* file, Header& header) {
  if (setjmp(png_jmpbuf(decoder.png))) {
    return false;
  }
  png_init_io(decoder.png, file);
  png_read_info(decoder.png, decoder.info);
  header.width = png_get_image_width(decoder.png, decoder.info);
  header.height = png_get_image_height(decoder.png, decoder.info);
  header.bit_depth = png_get_bit_depth(decoder.png, decoder.info);
  header.color_type = png_get_color_type(decoder.png, decoder.info);
  return true;
}

// Decodes every pixel as 8-bit RGBA into `rows`; false with decoder.message set on failure.
bool readRgba(Decoder& decoder, png_bytep* rows) {
  if (setjmp(png_jmpbuf(decoder.png))) {
    return false;
  }
  png_structp png = decoder.png;
  png_set_strip_16(png);
  png_set_palette_to_rgb(png);
  png_set_expand_gray_1_2_4_to_8(png);
  if (png_get_valid(png, decoder.info, PNG_INFO_tRNS)) {
    png_set_tRNS_to_alpha(png);
  }
  png_set_gray_to_rgb(png);
  png_set_add_alpha(png, 0xFF, PNG_FILLER_AFTER);
  png_set_interlace_handling(png);
  png_read_update_info(png, decoder.info);
  png_read_image(png, rows);
  return true;
}

class DecoderHandle {
 public:
  DecoderHandle() {
    decoder_.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &decoder_, onError, onWarning);
    if (decoder_.png != nullptr) {
      decoder_.info = png_create_info_struct(decoder_.png);
    }
  }
  ~DecoderHandle() { png_destroy_read_struct(&decoder_.png, &decoder_.info, nullptr); }
  DecoderHandle(const DecoderHandle&) = delete;
  DecoderHandle& operator=(const DecoderHandle&) = delete;
  Decoder& get() { return decoder_; }

 private:
  Decoder decoder_;
};

struct FileHandle {
  std::FILE* file;
  ~FileHandle() {
    if (file != nullptr) {
      std::fclose(file);
    }
  }
};

std::string withThousands(std::uint64_t value) {
  std::string digits = std::to_string(value);
  for (std::size_t i = digits.size(); i > 3; i -= 3) {
    digits.insert(i - 3, ",");
  }
  return digits;
}

}  // namespace

GreyImage readPngGrey(const std::string& path) {
  // The checks and messages of files everywhere else: missing, a device, a pipe.
  openInputFile(path, std::ios::binary).close();
  FileHandle file{std::fopen(path.c_str(), "rb")};
  if (file.file == nullptr) {
    throwFileError("cannot open input file: " + path);
  }
  DecoderHandle handle;
  Decoder& decoder = handle.get();
  if (decoder.info == nullptr) {
    throwMapFormatError("cannot read image (out of memory)");
  }
  Header header;
  if (!readHeader(decoder, file.file, header)) {
    throwMapFormatError(std::string("cannot read image (") + decoder.message + ")");
  }
  const std::uint64_t width = header.width;
  const std::uint64_t height = header.height;
  if (width * height > kMaxImagePixels) {
    throwMapFormatError("image of " + std::to_string(width) + " x " + std::to_string(height) +
                        " pixels exceeds the limit of " + withThousands(kMaxImagePixels) +
                        " pixels");
  }
  if (header.color_type == PNG_COLOR_TYPE_GRAY && header.bit_depth == 16) {
    throwMapFormatError("images with more than 8 bits per channel are not supported (mode I;16)");
  }
  std::vector<png_byte> rgba(static_cast<std::size_t>(width * height * 4));
  std::vector<png_bytep> rows(static_cast<std::size_t>(height));
  for (std::uint64_t y = 0; y < height; ++y) {
    rows[y] = rgba.data() + y * width * 4;
  }
  if (!readRgba(decoder, rows.data())) {
    throwMapFormatError(std::string("cannot read image (") + decoder.message + ")");
  }
  GreyImage image;
  image.width = width;
  image.height = height;
  image.grey.resize(static_cast<std::size_t>(width * height));
  image.transparent.resize(image.grey.size());
  for (std::size_t i = 0; i < image.grey.size(); ++i) {
    const png_byte* pixel = rgba.data() + i * 4;
    image.grey[i] = static_cast<std::uint8_t>((pixel[0] + pixel[1] + pixel[2]) / 3);
    image.transparent[i] = pixel[3] == 0 ? 1 : 0;
  }
  return image;
}

}  // namespace veltrax::se2::detail
