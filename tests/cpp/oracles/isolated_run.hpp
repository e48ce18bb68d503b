#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <vector>

namespace veltrax::se2::testing {

// Runs compute(i, out) for i = 0 .. count-1 in forked child processes and returns each item's
// output, or nullopt for an item during which the child died (for example on an abort() inside
// a dependency). After a death the run resumes in a new child from the next item, so one bad
// item costs only itself. The child's stderr is discarded.
std::vector<std::optional<std::vector<double>>> runIsolated(
    std::size_t count, const std::function<void(std::size_t, std::vector<double>&)>& compute);

}  // namespace veltrax::se2::testing
