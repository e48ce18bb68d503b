#include "oracles/inflation_oracle.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

namespace veltrax::se2::oracles {

Costmap inflateByDirectScan(const Costmap& source, double inflation_radius, double inscribed_radius,
                            double cost_scaling_factor, detail::CellDistanceFunction distance) {
  std::vector<GridIndex> seeds;
  for (std::uint64_t my = 0; my < source.height(); ++my) {
    for (std::uint64_t mx = 0; mx < source.width(); ++mx) {
      if (source.getCost(mx, my) == 254) {
        seeds.push_back({mx, my});
      }
    }
  }
  std::vector<std::uint8_t> out = source.cells();
  for (std::uint64_t my = 0; my < source.height(); ++my) {
    for (std::uint64_t mx = 0; mx < source.width(); ++mx) {
      const std::uint8_t old_cost = out[my * source.width() + mx];
      if (old_cost > 253) {
        continue;
      }
      double d = std::numeric_limits<double>::infinity();
      for (const GridIndex& seed : seeds) {
        d = std::min(d, distance(static_cast<double>(mx) - static_cast<double>(seed.x),
                                 static_cast<double>(my) - static_cast<double>(seed.y)) *
                            source.resolution());
      }
      if (d > inflation_radius) {
        continue;
      }
      long v = 253;
      if (!(d <= inscribed_radius)) {
        v = std::clamp(
            std::lround(std::exp((d - inscribed_radius) * (-cost_scaling_factor)) * 252.0), 1L,
            252L);
      }
      if (v > old_cost) {
        out[my * source.width() + mx] = static_cast<std::uint8_t>(v);
      }
    }
  }
  return Costmap(source.width(), source.height(), source.resolution(), source.originX(),
                 source.originY(), out);
}

}  // namespace veltrax::se2::oracles
