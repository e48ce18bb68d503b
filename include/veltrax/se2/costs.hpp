#pragma once

#include <cstdint>

namespace veltrax::se2 {

// What a cell's cost byte means, everywhere in the library: 0 is free, 1..252 are graded costs
// that planning penalises in proportion (252 counts as one full cost_penalty), 253 marks a cell
// whose centre is within the robot's inscribed radius of an obstacle, 254 is an obstacle and 255
// unknown space.
inline constexpr std::uint8_t kFreeCost = 0;
inline constexpr std::uint8_t kMaxGradedCost = 252;
inline constexpr std::uint8_t kInscribedCost = 253;
inline constexpr std::uint8_t kLethalCost = 254;
inline constexpr std::uint8_t kUnknownCost = 255;

// 254 always blocks; 255 blocks unless unknown space is allowed; 0..253 never block.
constexpr bool costBlocks(std::uint8_t cost, bool allow_unknown) noexcept {
  return cost == kLethalCost || (cost == kUnknownCost && !allow_unknown);
}

}  // namespace veltrax::se2
