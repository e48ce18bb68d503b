#pragma once

#include <stdexcept>
#include <string>

#include "fuzz_support.hpp"
#include "veltrax/se2/costmap.hpp"

namespace veltrax::se2::fuzz {

// A loader either returns a costmap with exactly width x height cells or throws one of the
// exception types it documents; anything else (bad_alloc included) escapes and stops the run.
template <typename Loader>
void checkLoader(Loader load, const std::string& path) {
  try {
    const Costmap costmap = load(path, 0.05, -1.5, 2.25);
    require(costmap.width() >= 1 && costmap.height() >= 1, "costmap has cells");
    require(costmap.cells().size() == costmap.width() * costmap.height(),
            "cell count is width x height");
    require(costmap.resolution() == 0.05 && costmap.originX() == -1.5 && costmap.originY() == 2.25,
            "geometry is the caller's");
  } catch (const std::runtime_error& error) {
    require(error.what()[0] != '\0', "runtime_error has a message");
  } catch (const std::invalid_argument& error) {
    require(error.what()[0] != '\0', "invalid_argument has a message");
  } catch (const std::length_error& error) {
    require(error.what()[0] != '\0', "length_error has a message");
  }
}

}  // namespace veltrax::se2::fuzz
