#pragma once
// Work on many items done by several threads and handed on in the items' order: the archive writers
// encode members in parallel and write them one after the other, so that the archive is the one a
// single thread writes.

#include <algorithm>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

// The processors there are (at least 1): the default job count.
inline unsigned CountProcessors() { return std::max(1u, std::thread::hardware_concurrency()); }

// Calls produce(i) for every item not `deferred`, on `jobs` threads, and consume(i, result) on the
// calling thread for every item in order (for a deferred item with a null result: the consumer does
// that work itself, at its turn). An item starts only while the costs of the items produced or in
// production but not yet consumed stay within `budget`, or when none is, which bounds the memory in
// flight. With one job everything runs on the calling thread, one item after the other. produce must
// not throw. Stops at the first consume that returns false, and returns false then.
template <typename Result>
bool RunOrderedJobs(size_t count, unsigned jobs, uint64_t budget, const std::function<uint64_t(size_t)>& cost,
                    const std::function<bool(size_t)>& deferred,
                    const std::function<std::unique_ptr<Result>(size_t)>& produce,
                    const std::function<bool(size_t, std::unique_ptr<Result>)>& consume) {
  auto runAlone = [&] {
    for (size_t i = 0; i < count; ++i) {
      if (!consume(i, deferred(i) ? nullptr : produce(i))) return false;
    }
    return true;
  };
  if (jobs <= 1) return runAlone();
  std::mutex lock;
  std::condition_variable changed;
  std::vector<std::unique_ptr<Result>> results(count);
  std::vector<char> ready(count, 0);
  size_t next = 0;
  uint64_t inFlight = 0;
  bool stop = false;
  auto work = [&] {
    std::unique_lock<std::mutex> held(lock);
    for (;;) {
      while (next < count && deferred(next)) ++next;
      if (stop || next >= count) return;
      const uint64_t itemCost = cost(next);
      if (inFlight > 0 && itemCost > budget - std::min(budget, inFlight)) {
        changed.wait(held);
        continue;
      }
      const size_t item = next++;
      inFlight += itemCost;
      held.unlock();
      std::unique_ptr<Result> result = produce(item);
      held.lock();
      results[item] = std::move(result);
      ready[item] = 1;
      changed.notify_all();
    }
  };
  std::vector<std::thread> workers;
  try {
    for (unsigned j = 0; j < jobs; ++j) workers.emplace_back(work);
  } catch (const std::system_error&) {
    // No more threads: those that started do the work.
  }
  if (workers.empty()) return runAlone();
  bool good = true;
  for (size_t i = 0; i < count && good; ++i) {
    std::unique_ptr<Result> result;
    if (!deferred(i)) {
      std::unique_lock<std::mutex> held(lock);
      changed.wait(held, [&] { return ready[i] != 0; });
      result = std::move(results[i]);
    }
    good = consume(i, std::move(result));
    if (!deferred(i)) {
      std::lock_guard<std::mutex> held(lock);
      inFlight -= cost(i);
      changed.notify_all();
    }
  }
  {
    std::lock_guard<std::mutex> held(lock);
    stop = true;
    changed.notify_all();
  }
  for (std::thread& worker : workers) worker.join();
  return good;
}
