#include "detail/reeds_shepp.hpp"

#include <array>
#include <cmath>
#include <limits>

namespace veltrax::se2::detail {

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kFullTurn = 2.0 * kPi;
// Segment lengths this far below zero still count as driven forwards (and likewise above zero).
constexpr double kZero = 10.0 * std::numeric_limits<double>::epsilon();

// To [-pi, pi], as the words' segment lengths are measured.
double mod2pi(double x) {
  double v = std::fmod(x, kFullTurn);
  if (v < -kPi) {
    v += kFullTurn;
  } else if (v > kPi) {
    v -= kFullTurn;
  }
  return v;
}

// The goal in one of the frames the words are evaluated in (radius units): as given,
// time-flipped (-x, y, -phi), reflected (x, -y, -phi) or both (-x, -y, phi). The words turning
// first left are evaluated in each; the others follow by symmetry. Two offsets of the goal from a
// turning centre serve all words: a = (x - sin phi, y - 1 + cos phi) and
// b = (x + sin phi, y - 1 - cos phi), with their distances, and their angles when a word needs
// them.
struct Frame {
  double x, y, phi, s, c;
  double ax, ay, bx, by;
  double ra, rb;
  double theta_a = 0.0;
  double theta_b = 0.0;
  bool have_theta_a = false;
  bool have_theta_b = false;

  Frame(double x_, double y_, double phi_, double s_, double c_)
      : x(x_), y(y_), phi(phi_), s(s_), c(c_) {
    ax = x - s;
    ay = y - 1. + c;
    bx = x + s;
    by = y - 1. - c;
    ra = std::sqrt(ax * ax + ay * ay);
    rb = std::sqrt(bx * bx + by * by);
  }
  double thetaA() {
    if (!have_theta_a) {
      theta_a = std::atan2(ay, ax);
      have_theta_a = true;
    }
    return theta_a;
  }
  double thetaB() {
    if (!have_theta_b) {
      theta_b = std::atan2(by, bx);
      have_theta_b = true;
    }
    return theta_b;
  }
};

// The four frames of a goal (x, y) at heading phi, whose sine and cosine are s and c.
std::array<Frame, 4> framesOf(double x, double y, double phi, double s, double c) {
  return {Frame(x, y, phi, s, c), Frame(-x, y, -phi, -s, c), Frame(x, -y, -phi, -s, c),
          Frame(-x, -y, phi, s, c)};
}

// Each word below returns whether it exists in the frame, and sets its segment lengths t, u, v.
// `limit` is the length to beat: a word whose known part is no shorter is passed over (false).

// Whether atan2(y, x) is surely below -kZero: y below zero, and not by a hair with x positive.
bool surelyNegativeAngle(double y, double x) { return y < 0.0 && (x <= 0.0 || -y > 1e-6 * x); }

bool LpSpLp(Frame& f, double limit, double& t, double& u, double& v) {
  u = f.ra;
  if (!(limit > u) || surelyNegativeAngle(f.ay, f.ax)) {
    return false;
  }
  t = f.thetaA();
  if (t >= -kZero) {
    v = mod2pi(f.phi - t);
    return v >= -kZero;
  }
  return false;
}

bool LpSpRp(Frame& f, double limit, double& t, double& u, double& v) {
  const double u1 = f.rb * f.rb;
  if (u1 >= 4.) {
    u = std::sqrt(u1 - 4.);
    if (!(limit > u)) {
      return false;
    }
    const double theta = std::atan2(2., u);
    t = mod2pi(f.thetaB() + theta);
    v = mod2pi(t - f.phi);
    return t >= -kZero && v >= -kZero;
  }
  return false;
}

bool LpRmL(Frame& f, double limit, double& t, double& u, double& v) {
  const double u1 = f.ra;
  if (u1 <= 4.) {
    u = -2. * std::asin(.25 * u1);
    if (!(limit > std::fabs(u))) {
      return false;
    }
    t = mod2pi(f.thetaA() + .5 * u + kPi);
    v = mod2pi(f.phi - t + u);
    return t >= -kZero && u <= kZero;
  }
  return false;
}

void tauOmega(double u, double v, double xi, double eta, double phi, double& tau, double& omega) {
  const double delta = mod2pi(u - v);
  const double A = std::sin(u) - std::sin(delta);
  const double B = std::cos(u) - std::cos(delta) - 1.;
  const double t1 = std::atan2(eta * A - xi * B, xi * A + eta * B);
  const double t2 = 2. * (std::cos(delta) - std::cos(v) - std::cos(u)) + 3;
  tau = (t2 < 0) ? mod2pi(t1 + kPi) : mod2pi(t1);
  omega = mod2pi(tau - u + v - phi);
}

bool LpRupLumRm(Frame& f, double limit, double& t, double& u, double& v) {
  const double rho = .25 * (2. + f.rb);
  if (rho <= 1.) {
    u = std::acos(rho);
    if (!(limit > 2. * std::fabs(u))) {
      return false;
    }
    tauOmega(u, -u, f.bx, f.by, f.phi, t, v);
    return t >= -kZero && v <= kZero;
  }
  return false;
}

bool LpRumLumRp(Frame& f, double limit, double& t, double& u, double& v) {
  const double rho = (20. - f.bx * f.bx - f.by * f.by) / 16.;
  if (rho >= 0 && rho <= 1) {
    u = -std::acos(rho);
    if (u >= -.5 * kPi) {
      if (!(limit > 2. * std::fabs(u))) {
        return false;
      }
      tauOmega(u, u, f.bx, f.by, f.phi, t, v);
      return t >= -kZero && v >= -kZero;
    }
  }
  return false;
}

bool LpRmSmLm(Frame& f, double limit, double& t, double& u, double& v) {
  const double rho = f.ra;
  if (rho >= 2.) {
    const double r = std::sqrt(rho * rho - 4.);
    u = 2. - r;
    if (!(limit > std::fabs(u))) {
      return false;
    }
    t = mod2pi(f.thetaA() + std::atan2(r, -2.));
    v = mod2pi(f.phi - .5 * kPi - t);
    return t >= -kZero && u <= kZero && v <= kZero;
  }
  return false;
}

bool LpRmSmRm(Frame& f, double limit, double& t, double& u, double& v) {
  // The distance of (-eta, xi): the same sum of squares as that of b.
  const double rho = f.rb;
  if (rho >= 2.) {
    u = 2. - rho;
    if (!(limit > std::fabs(u)) || surelyNegativeAngle(f.bx, -f.by)) {
      return false;
    }
    t = std::atan2(f.bx, -f.by);
    v = mod2pi(t + .5 * kPi - f.phi);
    return t >= -kZero && u <= kZero && v <= kZero;
  }
  return false;
}

bool LpRmSLmRp(Frame& f, double limit, double& t, double& u, double& v) {
  const double rho = f.rb;
  if (rho >= 2.) {
    u = 4. - std::sqrt(rho * rho - 4.);
    if (u <= kZero) {
      if (!(limit > std::fabs(u))) {
        return false;
      }
      const double xi = f.bx;
      const double eta = f.by;
      t = mod2pi(std::atan2((4. - u) * xi - 2. * eta, -2. * xi + (u - 4.) * eta));
      v = mod2pi(t - f.phi);
      return t >= -kZero && v >= -kZero;
    }
  }
  return false;
}

// The best word so far: `limit` the length to beat within its family, `total` the length of its
// path, summed segment by segment in the path's order.
struct Best {
  double limit = std::numeric_limits<double>::max();
  double total = std::numeric_limits<double>::max();

  // A family compares its words without the quarter turns (`fixed`) that all of them drive.
  void newFamily(double fixed) { limit = total - fixed; }

  // `word` in each frame; `compared` and `path` give a word's two lengths from its t, u, v.
  template <class Word, class Compared, class Path>
  void tryWord(std::array<Frame, 4>& frames, Word word, Compared compared, Path path) {
    for (Frame& f : frames) {
      double t = 0.0;
      double u = 0.0;
      double v = 0.0;
      if (word(f, limit, t, u, v) && limit > compared(t, u, v)) {
        limit = compared(t, u, v);
        total = path(t, u, v);
      }
    }
  }
};

double shortest(double x, double y, double phi) {
  const double s = std::sin(phi);
  const double c = std::cos(phi);
  std::array<Frame, 4> forward = framesOf(x, y, phi, s, c);
  // The goal seen from the start driven backwards.
  const double xb = x * c + y * s;
  const double yb = x * s - y * c;
  std::array<Frame, 4> backward = framesOf(xb, yb, phi, s, c);
  const auto sum = [](double t, double u, double v) {
    return std::fabs(t) + std::fabs(u) + std::fabs(v);
  };
  const auto reversed = [](double t, double u, double v) {
    return std::fabs(v) + std::fabs(u) + std::fabs(t);
  };
  Best best;
  // CSC
  best.tryWord(forward, LpSpLp, sum, sum);
  best.tryWord(forward, LpSpRp, sum, sum);
  // CCC, driven forwards and backwards.
  best.newFamily(0.0);
  best.tryWord(forward, LpRmL, sum, sum);
  best.tryWord(backward, LpRmL, sum, reversed);
  // CCCC: the paths (t, u, -u, v) and (t, u, u, v).
  const auto cccc = [](double t, double u, double v) {
    return std::fabs(t) + 2. * std::fabs(u) + std::fabs(v);
  };
  const auto cccc_path = [](double t, double u, double v) {
    return std::fabs(t) + std::fabs(u) + std::fabs(u) + std::fabs(v);
  };
  best.newFamily(0.0);
  best.tryWord(forward, LpRupLumRm, cccc, cccc_path);
  best.tryWord(forward, LpRumLumRp, cccc, cccc_path);
  // CCSC: the paths (t, -pi/2, u, v) forwards and (v, u, -pi/2, t) backwards.
  const auto ccsc_forward = [](double t, double u, double v) {
    return std::fabs(t) + .5 * kPi + std::fabs(u) + std::fabs(v);
  };
  const auto ccsc_backward = [](double t, double u, double v) {
    return std::fabs(v) + std::fabs(u) + .5 * kPi + std::fabs(t);
  };
  best.newFamily(.5 * kPi);
  best.tryWord(forward, LpRmSmLm, sum, ccsc_forward);
  best.tryWord(forward, LpRmSmRm, sum, ccsc_forward);
  best.tryWord(backward, LpRmSmLm, sum, ccsc_backward);
  best.tryWord(backward, LpRmSmRm, sum, ccsc_backward);
  // CCSCC: the path (t, -pi/2, u, -pi/2, v).
  best.newFamily(kPi);
  best.tryWord(forward, LpRmSLmRp, sum, [](double t, double u, double v) {
    return std::fabs(t) + .5 * kPi + std::fabs(u) + .5 * kPi + std::fabs(v);
  });
  return best.total;
}

}  // namespace

double reedsSheppLength(const Pose2D& from, const Pose2D& to, double radius) {
  const double dx = to.x - from.x;
  const double dy = to.y - from.y;
  const double c = std::cos(from.yaw);
  const double s = std::sin(from.yaw);
  const double x = c * dx + s * dy;
  const double y = -s * dx + c * dy;
  const double phi = to.yaw - from.yaw;
  return radius * shortest(x / radius, y / radius, phi);
}

}  // namespace veltrax::se2::detail
