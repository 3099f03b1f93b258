#pragma once
// Work shared between this thread and one more, for the steps of a large run that split cleanly in
// two. Most machines of our users have a second core; where there is none (or no thread is to be
// had) the same work runs on this thread alone, with the same result.

#include <algorithm>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <iterator>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

namespace chengling {

// Whether this process may run on more than one core (its CPU affinity, not just the machine).
bool hasSecondCore();

// Runs `first` on a new thread and `second` on this one, and returns once both are done. Without a
// second core, or when no thread can be started, both run here, `first` first.
template <typename First, typename Second>
void runOnTwoCores(First&& first, Second&& second) {
  std::thread helper;
  if (hasSecondCore()) {
    try {
      helper = std::thread(std::ref(first));
    } catch (const std::system_error&) {
    }
  }
  if (!helper.joinable()) {
    first();
    second();
    return;
  }
  struct Join {
    std::thread& thread;
    ~Join() { thread.join(); }
  } join{helper};
  second();
}

// One more thread kept for the many short jobs of a long run (a piece of a streamed conversion
// takes well under a millisecond, about what starting a thread for it would cost). It starts with
// its first job and ends with the object.
class HelperThread {
 public:
  HelperThread() = default;
  ~HelperThread();
  HelperThread(const HelperThread&) = delete;
  HelperThread& operator=(const HelperThread&) = delete;

  // Runs `job` on the helper after the job before it; false, with nothing started, without a second
  // core or when no thread can be had: the caller then runs the job itself.
  bool start(std::function<void()> job);
  // Returns once the job started last is done.
  void wait();

 private:
  void run();

  std::mutex mutex_;
  std::condition_variable changed_;
  std::function<void()> job_;
  bool busy_ = false;
  bool quit_ = false;
  bool tried_ = false;
  std::thread thread_;
};

// std::sort of [begin, end) by `less`, a strict order under which no two elements are equivalent
// (so there is only one sorted result). A large range is split around a pivot near its median and
// the two sides are sorted on two cores, each by `sortPart(from, to)` (std::sort by `less`, or one
// that watches for a stop).
template <typename Iterator, typename Less, typename SortPart>
void sortOnTwoCores(Iterator begin, Iterator end, Less less, SortPart sortPart) {
  constexpr std::ptrdiff_t kWorthSplitting = 1 << 16;
  const std::ptrdiff_t n = end - begin;
  if (n < kWorthSplitting || !hasSecondCore()) {
    sortPart(begin, end);
    return;
  }
  // The median of a spread-out sample: the sides then come out nearly equal.
  using Value = typename std::iterator_traits<Iterator>::value_type;
  constexpr std::ptrdiff_t kSample = 255;
  std::vector<Value> sample;
  sample.reserve(kSample);
  for (std::ptrdiff_t i = 0; i < kSample; ++i) sample.push_back(begin[n * (2 * i + 1) / (2 * kSample)]);
  std::nth_element(sample.begin(), sample.begin() + kSample / 2, sample.end(), less);
  const Value pivot = sample[kSample / 2];
  const Iterator middle = std::partition(begin, end, [&](const Value& v) { return less(v, pivot); });
  runOnTwoCores([&] { sortPart(begin, middle); }, [&] { sortPart(middle, end); });
}

template <typename Iterator, typename Less>
void sortOnTwoCores(Iterator begin, Iterator end, Less less) {
  sortOnTwoCores(begin, end, less, [&less](Iterator from, Iterator to) { std::sort(from, to, less); });
}

}  // namespace chengling
