#pragma once

#include <algorithm>
#include <cmath>

#include "veltrax/se2/geometry.hpp"

// Exact geometric predicates shared by the footprint checks and the polygon collision test.
namespace veltrax::se2::detail {

// How near two pieces of an outline may come and still count as touching.
inline constexpr double kTouchTolerance = 1e-12;

// z component of (ux, uy, 0) x (vx, vy, 0): positive when v turns counter-clockwise from u.
inline double cross(double ux, double uy, double vx, double vy) { return ux * vy - uy * vx; }

// p in the closed box spanned by a and b, widened by `margin` on every side.
inline bool inClosedBox(const Point2D& p, const Point2D& a, const Point2D& b, double margin) {
  return std::min(a.x, b.x) - margin <= p.x && p.x <= std::max(a.x, b.x) + margin &&
         std::min(a.y, b.y) - margin <= p.y && p.y <= std::max(a.y, b.y) + margin;
}

// The point (qx, qy), which lies in the y-range of the segment a-b, on that segment within the
// tolerance: in its x-range and on its line.
inline bool onSegment(const Point2D& a, const Point2D& b, double qx, double qy) {
  return std::min(a.x, b.x) <= qx && qx <= std::max(a.x, b.x) &&
         std::fabs((a.x - b.x) * (qy - b.y) - (qx - b.x) * (a.y - b.y)) < kTouchTolerance;
}

// Polygon edge a->b against cell edge p->q, given o1 and o2, the orientations of p and q
// relative to a->b: a proper crossing, or an end of one lying on the other within the
// tolerance. The orientations of a and b relative to p->q matter only for a proper crossing
// or when a or b is near p->q, so they are computed only then.
inline bool edgeMeetsCellEdge(const Point2D& a, const Point2D& b, const Point2D& p,
                              const Point2D& q, double o1, double o2) {
  constexpr double eps = kTouchTolerance;
  const bool separates_pq = (o1 > eps && o2 < -eps) || (o1 < -eps && o2 > eps);
  const bool a_near = inClosedBox(a, p, q, eps);
  const bool b_near = inClosedBox(b, p, q, eps);
  if (separates_pq || a_near || b_near) {
    const double o3 = cross(q.x - p.x, q.y - p.y, a.x - p.x, a.y - p.y);
    const double o4 = cross(q.x - p.x, q.y - p.y, b.x - p.x, b.y - p.y);
    const bool separates_ab = (o3 > eps && o4 < -eps) || (o3 < -eps && o4 > eps);
    if ((separates_pq && separates_ab) || (a_near && std::fabs(o3) <= eps) ||
        (b_near && std::fabs(o4) <= eps)) {
      return true;
    }
  }
  return (std::fabs(o1) <= eps && inClosedBox(p, a, b, eps)) ||
         (std::fabs(o2) <= eps && inClosedBox(q, a, b, eps));
}

}  // namespace veltrax::se2::detail
