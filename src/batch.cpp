#include "veltrax/se2/batch.hpp"

#include <algorithm>
#include <cstdint>
#include <deque>
#include <exception>
#include <map>
#include <mutex>
#include <optional>
#include <thread>
#include <tuple>
#include <utility>

namespace veltrax::se2 {
namespace {

// Requests sharing a heuristic field (goal cell and map revision) form a group. A worker stays on
// its group while the group has pending requests; then it starts the next untouched group or,
// when none is left, helps with the one with most requests pending.
class Schedule {
 public:
  using Key = std::tuple<bool, std::uint64_t, std::uint64_t, std::uint64_t>;

  Schedule(const Costmap& costmap, const std::vector<PlanRequest>& requests) {
    for (std::size_t i = 0; i < requests.size(); ++i) {
      GridIndex cell{0, 0};
      const bool inside = costmap.worldToMap(requests[i].goal.x, requests[i].goal.y, cell);
      const Key key{inside, inside ? cell.x : 0, inside ? cell.y : 0, requests[i].map_revision};
      auto [group, added] = groups_.try_emplace(key);
      if (added) {
        untouched_.push_back(key);
      }
      group->second.pending.push_back(i);
    }
  }

  // The next request for a worker that last worked on `current`; nothing when all are taken.
  std::optional<std::size_t> take(std::optional<Key>& current) {
    if (current) {
      Group& group = groups_[*current];
      if (!group.pending.empty()) {
        return pop(group);
      }
      --group.workers;
    }
    if (!untouched_.empty()) {
      current = untouched_.front();
      untouched_.pop_front();
    } else {
      const auto busiest = std::max_element(groups_.begin(), groups_.end(), [](auto& a, auto& b) {
        return a.second.pending.size() < b.second.pending.size();
      });
      if (busiest == groups_.end() || busiest->second.pending.empty()) {
        current.reset();
        return std::nullopt;
      }
      current = busiest->first;
    }
    Group& group = groups_[*current];
    ++group.workers;
    return pop(group);
  }

 private:
  struct Group {
    std::deque<std::size_t> pending;
    std::size_t workers = 0;
  };

  static std::size_t pop(Group& group) {
    const std::size_t index = group.pending.front();
    group.pending.pop_front();
    return index;
  }

  // Ordered, so that the busiest-group choice does not depend on hashing.
  std::map<Key, Group> groups_;
  std::deque<Key> untouched_;
};

}  // namespace

std::vector<PlannerResult> planMany(const Costmap& costmap,
                                    const std::vector<PlanRequest>& requests,
                                    const PlannerConfig& config, std::size_t workers,
                                    const CancellationToken* token, const BatchProgress& progress) {
  const std::size_t total = requests.size();
  std::vector<PlannerResult> results(total);
  if (total == 0) {
    return results;
  }
  if (workers == 0) {
    workers = std::max<std::size_t>(1, std::thread::hardware_concurrency());
  }
  workers = std::min(workers, total);

  Schedule schedule(costmap, requests);
  std::mutex mutex;  // guards schedule, done, failure
  std::size_t done = 0;
  std::exception_ptr failure;

  const auto work = [&] {
    try {
      HybridAStar planner(costmap);
      std::optional<Schedule::Key> current;
      while (true) {
        std::optional<std::size_t> index;
        {
          const std::lock_guard<std::mutex> lock(mutex);
          if (failure) {
            return;
          }
          index = schedule.take(current);
        }
        if (!index) {
          return;
        }
        results[*index] = planner.plan(requests[*index], config, token);
        if (progress) {
          const std::lock_guard<std::mutex> lock(mutex);
          if (failure) {
            return;
          }
          // A throwing callback is recorded under the same lock, so no other worker calls it
          // again in between.
          try {
            progress(++done, total, *index, results[*index]);
          } catch (...) {
            failure = std::current_exception();
            return;
          }
        }
      }
    } catch (...) {
      const std::lock_guard<std::mutex> lock(mutex);
      if (!failure) {
        failure = std::current_exception();
      }
    }
  };

  std::vector<std::thread> threads;
  threads.reserve(workers - 1);
  try {
    for (std::size_t i = 1; i < workers; ++i) {
      threads.emplace_back(work);
    }
  } catch (...) {
    // No thread to spare: the ones started and this one finish the batch.
  }
  work();
  for (std::thread& thread : threads) {
    thread.join();
  }
  if (failure) {
    std::rethrow_exception(failure);
  }
  return results;
}

}  // namespace veltrax::se2
