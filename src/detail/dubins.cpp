#include "detail/dubins.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

namespace veltrax::se2::detail {

namespace {

constexpr double kDubinsEps = 1e-6;
constexpr double kDubinsZero = -1e-7;

// Angles within half an eps below a full turn, or a hair below zero, count as zero: without the
// snap a curve that should start straight would begin with an almost full circle.
double mod2pi(double x) {
  if (x < 0.0 && x > kDubinsZero) {
    return 0.0;
  }
  double wrapped = x - kTwoPi * std::floor(x / kTwoPi);
  if (kTwoPi - wrapped < 0.5 * kDubinsEps) {
    wrapped = 0.0;
  }
  return wrapped;
}

constexpr DubinsTurn L = DubinsTurn::LEFT;
constexpr DubinsTurn S = DubinsTurn::STRAIGHT;
constexpr DubinsTurn R = DubinsTurn::RIGHT;

// An absent family: infinitely long, so it never wins the comparison.
DubinsCurve noCurve() {
  DubinsCurve curve;
  curve.lengths = {0.0, std::numeric_limits<double>::max(), 0.0};
  return curve;
}

DubinsCurve makeCurve(DubinsTurn a, DubinsTurn b, DubinsTurn c, double t, double p, double q) {
  DubinsCurve curve;
  curve.turns = {a, b, c};
  curve.lengths = {t, p, q};
  return curve;
}

// The six families in the frame where the start is at the origin and the goal on the +x axis at
// distance d (radius units); alpha and beta are the start and goal headings in that frame.
struct Frame {
  double d, alpha, beta, ca, sa, cb, sb;
};

DubinsCurve curveLSL(const Frame& f) {
  const double tmp = 2. + f.d * f.d - 2. * (f.ca * f.cb + f.sa * f.sb - f.d * (f.sa - f.sb));
  if (tmp >= kDubinsZero) {
    const double theta = std::atan2(f.cb - f.ca, f.d + f.sa - f.sb);
    const double t = mod2pi(-f.alpha + theta);
    const double p = std::sqrt(std::max(tmp, 0.));
    const double q = mod2pi(f.beta - theta);
    return makeCurve(L, S, L, t, p, q);
  }
  return noCurve();
}

DubinsCurve curveRSR(const Frame& f) {
  const double tmp = 2. + f.d * f.d - 2. * (f.ca * f.cb + f.sa * f.sb - f.d * (f.sb - f.sa));
  if (tmp >= kDubinsZero) {
    const double theta = std::atan2(f.ca - f.cb, f.d - f.sa + f.sb);
    const double t = mod2pi(f.alpha - theta);
    const double p = std::sqrt(std::max(tmp, 0.));
    const double q = mod2pi(-f.beta + theta);
    return makeCurve(R, S, R, t, p, q);
  }
  return noCurve();
}

DubinsCurve curveRSL(const Frame& f) {
  const double tmp = f.d * f.d - 2. + 2. * (f.ca * f.cb + f.sa * f.sb - f.d * (f.sa + f.sb));
  if (tmp >= kDubinsZero) {
    const double p = std::sqrt(std::max(tmp, 0.));
    const double theta = std::atan2(f.ca + f.cb, f.d - f.sa - f.sb) - std::atan2(2., p);
    const double t = mod2pi(f.alpha - theta);
    const double q = mod2pi(f.beta - theta);
    return makeCurve(R, S, L, t, p, q);
  }
  return noCurve();
}

DubinsCurve curveLSR(const Frame& f) {
  const double tmp = -2. + f.d * f.d + 2. * (f.ca * f.cb + f.sa * f.sb + f.d * (f.sa + f.sb));
  if (tmp >= kDubinsZero) {
    const double p = std::sqrt(std::max(tmp, 0.));
    const double theta = std::atan2(-f.ca - f.cb, f.d + f.sa + f.sb) - std::atan2(-2., p);
    const double t = mod2pi(-f.alpha + theta);
    const double q = mod2pi(-f.beta + theta);
    return makeCurve(L, S, R, t, p, q);
  }
  return noCurve();
}

DubinsCurve curveRLR(const Frame& f) {
  const double tmp =
      .125 * (6. - f.d * f.d + 2. * (f.ca * f.cb + f.sa * f.sb + f.d * (f.sa - f.sb)));
  if (std::fabs(tmp) < 1.) {
    const double p = kTwoPi - std::acos(tmp);
    const double theta = std::atan2(f.ca - f.cb, f.d - f.sa + f.sb);
    const double t = mod2pi(f.alpha - theta + .5 * p);
    const double q = mod2pi(f.alpha - f.beta - t + p);
    return makeCurve(R, L, R, t, p, q);
  }
  return noCurve();
}

DubinsCurve curveLRL(const Frame& f) {
  const double tmp =
      .125 * (6. - f.d * f.d + 2. * (f.ca * f.cb + f.sa * f.sb - f.d * (f.sa - f.sb)));
  if (std::fabs(tmp) < 1.) {
    const double p = kTwoPi - std::acos(tmp);
    const double theta = std::atan2(-f.ca + f.cb, f.d + f.sa - f.sb);
    const double t = mod2pi(-f.alpha + theta + .5 * p);
    const double q = mod2pi(f.beta - f.alpha - t + p);
    return makeCurve(L, R, L, t, p, q);
  }
  return noCurve();
}

}  // namespace

DubinsCurve shortestDubinsCurve(const Pose2D& from, const Pose2D& to, double turning_radius) {
  const double dx = to.x - from.x;
  const double dy = to.y - from.y;
  const double d = std::sqrt(dx * dx + dy * dy) / turning_radius;
  const double heading = std::atan2(dy, dx);
  const double alpha = mod2pi(from.yaw - heading);
  const double beta = mod2pi(to.yaw - heading);

  if (d < kDubinsEps && std::fabs(alpha - beta) < kDubinsEps) {
    return makeCurve(L, S, L, 0., d, 0.);
  }

  const Frame frame{
      d, alpha, beta, std::cos(alpha), std::sin(alpha), std::cos(beta), std::sin(beta)};
  // Strictly shorter wins, so on ties the earlier family in this order is kept.
  DubinsCurve best = curveLSL(frame);
  double best_length = best.length();
  for (DubinsCurve (*family)(const Frame&) : {curveRSR, curveRSL, curveLSR, curveRLR, curveLRL}) {
    const DubinsCurve candidate = family(frame);
    const double length = candidate.length();
    if (length < best_length) {
      best_length = length;
      best = candidate;
    }
  }
  return best;
}

Pose2D dubinsPoseAt(const Pose2D& from, const DubinsCurve& curve, double t, double turning_radius) {
  // Walk the unit-radius curve from the origin, then scale and translate.
  double x = 0.0;
  double y = 0.0;
  double yaw = from.yaw;
  double remaining = t * curve.length();
  for (std::size_t i = 0; i < 3 && remaining > 0; ++i) {
    const double v = std::min(remaining, curve.lengths[i]);
    const double phi = yaw;
    remaining -= v;
    switch (curve.turns[i]) {
      case DubinsTurn::LEFT:
        x = x + std::sin(phi + v) - std::sin(phi);
        y = y - std::cos(phi + v) + std::cos(phi);
        yaw = phi + v;
        break;
      case DubinsTurn::RIGHT:
        x = x - std::sin(phi - v) + std::sin(phi);
        y = y + std::cos(phi - v) - std::cos(phi);
        yaw = phi - v;
        break;
      case DubinsTurn::STRAIGHT:
        x = x + v * std::cos(phi);
        y = y + v * std::sin(phi);
        break;
    }
  }
  // OMPL's SO(2) bounds: one fmod, then at most one shift into [-pi, pi).
  double wrapped = std::fmod(yaw, kTwoPi);
  if (wrapped < -kPi) {
    wrapped += kTwoPi;
  } else if (wrapped >= kPi) {
    wrapped -= kTwoPi;
  }
  return Pose2D{x * turning_radius + from.x, y * turning_radius + from.y, wrapped};
}

}  // namespace veltrax::se2::detail
