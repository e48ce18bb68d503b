#pragma once

// Shared pieces of the fuzz targets: turning fuzz bytes into files and bounded values, and a loud
// failure for a broken invariant (libFuzzer saves the input that triggered an abort).

#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include <fuzzer/FuzzedDataProvider.h>

namespace veltrax::se2::fuzz {

[[noreturn]] inline void fail(const char* what, const std::string& detail = std::string()) {
  std::fprintf(stderr, "invariant broken: %s %s\n", what, detail.c_str());
  std::abort();
}

inline void require(bool condition, const char* what, const std::string& detail = std::string()) {
  if (!condition) {
    fail(what, detail);
  }
}

// The loaders read paths, so each process writes its inputs to one file of its own.
inline const std::string& scratchPath(const char* suffix) {
  static const std::string path = [suffix] {
    const char* dir = std::getenv("TMPDIR");
    return std::string(dir != nullptr && *dir != '\0' ? dir : "/tmp") + "/veltrax_fuzz_" +
           std::to_string(::getpid()) + suffix;
  }();
  return path;
}

inline void writeScratch(const std::string& path, const std::uint8_t* data, std::size_t size) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  require(static_cast<bool>(out), "scratch file written", path);
}

// A double in [low, high], or now and then one of the values that break naive code.
inline double boundedOrHostile(FuzzedDataProvider& in, double low, double high) {
  static constexpr double kHostile[] = {0.0, -0.0, -1.0, 1e-300, 1e300, INFINITY, -INFINITY, NAN};
  const std::uint8_t selector = in.ConsumeIntegral<std::uint8_t>();
  if (selector >= 248) {
    return kHostile[selector - 248];
  }
  return in.ConsumeFloatingPointInRange(low, high);
}

}  // namespace veltrax::se2::fuzz
