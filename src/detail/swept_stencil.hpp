#pragma once

#include <cstddef>
#include <cstdint>
#include <unordered_map>
#include <vector>

#include "veltrax/se2/footprint.hpp"
#include "veltrax/se2/geometry.hpp"

namespace veltrax::se2::detail {

// The cells a primitive's footprint sweep covers, relative to the cell of the pose the primitive
// starts from, whatever the pose's place within that cell: per row, the columns that every
// placement surely touches (each square lies well inside some sample's outline) and the columns
// that some placement might touch. The swept check then folds the first set blind and gives the
// rest the exact test only where a cell could change the answer, with no geometry per row.
struct SweptStencil {
  struct Row {
    std::int32_t inner_begin;  // [inner_begin, inner_end): surely touched; empty when not less
    std::int32_t inner_end;
    std::int32_t outer_begin;  // [outer_begin, outer_end): possibly touched, a superset
    std::int32_t outer_end;
  };
  // The samples it was built for: x and y relative to the start, the yaw as it is.
  std::vector<Pose2D> relative;
  std::int32_t first_row = 0;
  std::int32_t outer_min = 0;  // the columns of every row's outer run lie in [outer_min, outer_max)
  std::int32_t outer_max = 0;
  std::vector<Row> rows;  // the union over the samples
  // Each sample's own rows, sample after sample, rows.size() each: the bulk of a stencil, kept
  // in 16 bits (a stencil's columns lie within kMostColumns of its start).
  struct SampleRow {
    std::int16_t inner_begin;
    std::int16_t inner_end;
    std::int16_t outer_begin;
    std::int16_t outer_end;
  };
  std::vector<SampleRow> sample_rows;
  // Each sample's outline relative to the start (metres) as a separating-axis test sees it: its
  // box, then for each edge the unit normal and the outline's extent along it, and a tolerance
  // that covers the samples' match and every rounding.
  struct Axis {
    double ux;
    double uy;
    double low;
    double high;
  };
  struct Extent {
    double x_min;
    double x_max;
    double y_min;
    double y_max;
    double tolerance;
  };
  std::vector<Extent> extents;  // per sample
  std::vector<Axis> axes;       // per sample, one per edge
  // The same for the convex hull of all the samples' outlines: a square apart from it by more
  // than the tolerance meets none of them, which one test tells for a square beside the sweep.
  Extent hull_extent{0.0, 0.0, 0.0, 0.0, -1.0};  // a negative tolerance: no hull
  std::vector<Axis> hull_axes;

  // Whether `samples`, starting from `start`, are those it was built for, to within far less than
  // the margins of its sets.
  bool matches(const Pose2D& start, const std::vector<Pose2D>& samples) const;
};

// The stencils of one convex outline at one cell size, for the primitives a search meets: keyed
// by the primitive's slot in the expansion and its start yaw, so that the nodes of a search,
// whose yaws step by whole turns of a primitive, share them. An entry that does not match the
// samples asked for is rebuilt.
//
// A sweep turned half round about its start is the stencil's own sweep turned half round, and so
// is its stencil: rows and columns are negated, which is exact. For an outline symmetric about
// the robot's x axis (a car, a box) the same holds for a sweep mirrored in either grid axis. A
// stencil asked for is therefore taken from one of those three images when one was built, at
// the cost of a copy instead of a build: a search that drives both ways, or turns both ways,
// meets most of its sweeps in pairs.
class SweptStencils {
 public:
  // Keeps the entries when the outline and the cell size are those they were built for. False
  // when the outline is not convex: it then gets no stencils.
  bool prepare(const PolygonFootprint& polygon, double resolution);

  // The stencil of these samples; null when none can be had (too many samples or rows).
  const SweptStencil* get(std::size_t slot, const Pose2D& start,
                          const std::vector<Pose2D>& samples);

  // How many stencils were taken from an image of one built before.
  std::size_t imaged() const noexcept { return imaged_; }

  // Working storage of the checks that use the stencils, kept for the next.
  std::vector<std::uint64_t> scratch;

 private:
  bool build(const Pose2D& start, const std::vector<Pose2D>& samples, SweptStencil& out) const;
  // Fills `out` from a stored stencil whose sweep is an image of these samples' sweep; false
  // when none is.
  bool fromImage(const Pose2D& start, const std::vector<Pose2D>& samples, const SweptStencil* self,
                 SweptStencil& out);

  std::vector<Point2D> points_;
  double resolution_ = 0.0;
  bool usable_ = false;
  bool mirrors_ = false;  // the outline is its own mirror image in the robot's x axis
  std::unordered_map<std::uint64_t, SweptStencil> entries_;
  // The entries by the shape of their sweep: start yaw and last sample, rounded (see shapeKey).
  std::unordered_map<std::uint64_t, std::uint64_t> shapes_;
  std::size_t imaged_ = 0;
};

}  // namespace veltrax::se2::detail
