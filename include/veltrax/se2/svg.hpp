#pragma once

#include <cstdint>
#include <string>

#include "veltrax/se2/costmap.hpp"
#include "veltrax/se2/errors.hpp"
#include "veltrax/se2/export.hpp"
#include "veltrax/se2/records.hpp"

namespace veltrax::se2 {

struct VELTRAX_SE2_EXPORT SvgRenderOptions {
  std::uint64_t pixels_per_cell = 8;  // drawing units per cell; must be positive
  bool draw_grid = false;             // drawn only when pixels_per_cell > 3
  bool draw_footprints = true;
  std::uint64_t footprint_stride = 10;  // every n-th path pose; 0 draws the first pose only
  std::string path_color = "#1565c0";   // segments of a result without directions
  std::string forward_color = "#1565c0";
  std::string reverse_color = "#ef6c00";
  std::string rotation_color = "#8e24aa";
};

// The costmap (grey cells), an optional grid, the footprint along the path, the path coloured by
// direction and the start and goal markers, as one SVG document with world y pointing up.
// Colours are escaped for XML; poses whose drawing coordinates or yaw are not finite are left
// out (footprint, path segments, start or goal marker), as is a footprint outline that is not
// finite on the drawing, so the document stays valid. Throws std::invalid_argument "pixels_per_cell
// must be positive", or "pixels_per_cell is too large for the costmap" when the drawing size
// exceeds 64 bits.
VELTRAX_SE2_EXPORT std::string renderPlanSvg(const Costmap& costmap, const PlanRequest& request,
                                             const PlannerResult& result,
                                             const SvgRenderOptions& options);

// renderPlanSvg written to a file, which is replaced only once the whole document is written.
// Throws FileError "cannot open SVG output file: <path>" or "failed to write SVG output
// file: <path>", "output file is not a regular file: <path>" or "cannot create a temporary file
// beside the output file: <path>", std::invalid_argument "file path must not contain a NUL
// character", and renderPlanSvg's errors (checked before the file is touched).
VELTRAX_SE2_EXPORT void savePlanSvg(const Costmap& costmap, const PlanRequest& request,
                                    const PlannerResult& result, const std::string& path,
                                    const SvgRenderOptions& options);

}  // namespace veltrax::se2
