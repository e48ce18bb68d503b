#include <cstddef>
#include <optional>
#include <vector>

#include "bindings.hpp"
#include "veltrax/se2/batch.hpp"

namespace veltrax::se2::python {

void bindBatchFunctions(py::module_& m) {
  m.def(
      "plan_many",
      [](const Costmap& costmap, const std::vector<PlanRequest>& requests,
         const PlannerConfig& config, std::size_t workers, const CancellationToken* token,
         const std::optional<py::function>& progress) {
        BatchProgress report;
        if (progress) {
          // The workers call back without the interpreter lock; take it for the call only.
          report = [&progress](std::size_t done, std::size_t total, std::size_t index,
                               const PlannerResult& result) {
            const py::gil_scoped_acquire gil;
            (*progress)(done, total, index, result);
          };
        }
        const py::gil_scoped_release release;
        return planMany(costmap, requests, config, workers, token, report);
      },
      py::arg("costmap"), py::arg("requests"), py::arg("config"), py::arg("workers") = 0,
      py::arg("token") = nullptr, py::arg("progress") = py::none(),
      "Plans every request on a fixed pool of `workers` threads (0: one per CPU) and returns "
      "the\nresults in request order; one planner per worker, requests with the same goal cell and "
      "map\nrevision on the same worker. `token` cancels the whole batch; `progress(done, total, "
      "index,\nresult)` is called once per finished request, one call at a time; an exception it "
      "raises stops\nthe batch and is re-raised.");
}

}  // namespace veltrax::se2::python
