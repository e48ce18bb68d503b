#pragma once

#include <vector>

#include "veltrax/se2/kinematics.hpp"

namespace veltrax::se2::testing {

// Straightforward reference versions of KinematicStateSpace's queries, made entirely of OMPL
// calls (heap-allocated states, OMPL's DubinsStateSpace with symmetric mode off, the plain
// interpolate that recomputes the curve for every sample). OMPL's Dubins routines may abort the
// process on nearly aligned poses: call the forward-only variants inside runIsolated.
double referenceDistance(double radius, bool allow_reverse, const Pose2D& from, const Pose2D& to);

std::vector<KinematicSample> referenceInterpolateWithDirections(double radius, bool allow_reverse,
                                                                const Pose2D& from,
                                                                const Pose2D& to, double spacing);

// The three segment lengths (radius units) and the family index (0 LSL, 1 RSR, 2 RSL, 3 LSR,
// 4 RLR, 5 LRL) of OMPL's shortest Dubins curve.
struct ReferenceDubins {
  double lengths[3];
  int family;
};
ReferenceDubins referenceDubins(double radius, const Pose2D& from, const Pose2D& to);

// OMPL's Dubins interpolation at fraction t (yaw as OMPL leaves it).
Pose2D referenceDubinsAt(double radius, const Pose2D& from, const Pose2D& to, double t);

}  // namespace veltrax::se2::testing
