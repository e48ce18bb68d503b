#pragma once

// Exact geometric predicates shared by the footprint checks and the polygon collision test.
namespace veltrax::se2::detail {

// z component of (ux, uy, 0) x (vx, vy, 0): positive when v turns counter-clockwise from u.
inline double cross(double ux, double uy, double vx, double vy) { return ux * vy - uy * vx; }

}  // namespace veltrax::se2::detail
