// The PGM loader on arbitrary file contents.
#include <cstdint>

#include "fuzz_loader_common.hpp"
#include "veltrax/se2/io.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace veltrax::se2;
  const std::string& path = fuzz::scratchPath(".pgm");
  fuzz::writeScratch(path, data, size);
  fuzz::checkLoader(loadCostmapPgm, path);
  return 0;
}
