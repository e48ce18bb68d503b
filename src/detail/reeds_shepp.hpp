#pragma once

#include "veltrax/se2/geometry.hpp"

// The length of the shortest Reeds-Shepp curve, without building it. The formulas and every
// rounding step follow OMPL 1.5's ReedsSheppStateSpace, so that the length equals its distance()
// bit for bit (the tests compare them); what differs is the work. OMPL evaluates all 44 word
// candidates, each taking the sine and cosine of the goal's heading anew and its own polar
// coordinates. Here the heading's sine and cosine are taken once, the polar coordinates are shared
// by the words built on the same turning centre, and a word is passed over as soon as the part of
// its length known before its arctangents is no shorter than the best so far (it could not have
// won the comparison), or its first segment surely has the wrong sign.
namespace veltrax::se2::detail {

// `radius` finite and > 0, poses finite (the caller makes sure of both).
double reedsSheppLength(const Pose2D& from, const Pose2D& to, double radius);

}  // namespace veltrax::se2::detail
