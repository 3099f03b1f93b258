#include "foundation/two_cores.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <functional>
#include <random>
#include <thread>
#include <vector>

namespace chengling {
namespace {

TEST(TwoCores, BothHalvesRunAndTheSecondOnThisThread) {
  std::atomic<int> ran{0};
  std::thread::id second;
  runOnTwoCores([&] { ran += 1; }, [&] {
    ran += 2;
    second = std::this_thread::get_id();
  });
  EXPECT_EQ(ran.load(), 3);
  EXPECT_EQ(second, std::this_thread::get_id());
}

TEST(TwoCores, SortGivesStdSortsOrderForEveryShapeOfInput) {
  std::mt19937_64 random(11);
  struct Case {
    const char* name;
    std::function<uint64_t(size_t)> value;  // distinct for distinct indices
  };
  const Case cases[] = {
      {"random", [&](size_t i) { return random() << 20 | i; }},
      {"ascending", [](size_t i) { return uint64_t{i}; }},
      {"descending", [](size_t i) { return ~uint64_t{i}; }},
      {"one key, told apart by the index", [](size_t i) { return uint64_t{7} << 32 | i; }},
      {"two keys", [&](size_t i) { return (random() & 1) << 40 | i; }},
  };
  for (const Case& c : cases) {
    for (size_t n : {size_t{0}, size_t{1}, size_t{1000}, size_t{300000}}) {
      SCOPED_TRACE(std::string(c.name) + ", " + std::to_string(n));
      std::vector<uint64_t> values(n);
      for (size_t i = 0; i < n; ++i) values[i] = c.value(i);
      std::vector<uint64_t> expected = values;
      std::sort(expected.begin(), expected.end(), std::greater<>());
      sortOnTwoCores(values.begin(), values.end(), std::greater<>());
      ASSERT_EQ(values, expected);
    }
  }
}

TEST(TwoCores, AKeptHelperRunsEachJobAfterTheOneBeforeOnOneThread) {
  std::vector<int> order;
  std::vector<std::thread::id> threads;
  int ranHere = 0;
  {
    HelperThread helper;
    for (int i = 0; i < 2000; ++i) {
      auto job = [&order, &threads, i] {
        order.push_back(i);
        threads.push_back(std::this_thread::get_id());
      };
      if (!helper.start(job)) {
        job();
        ++ranHere;
      }
      // Every few jobs the caller waits and sees all that ran so far.
      if (i % 7 == 0) {
        helper.wait();
        ASSERT_EQ(order.size(), static_cast<size_t>(i) + 1);
      }
    }
    helper.wait();
  }
  ASSERT_EQ(order.size(), 2000u);
  for (int i = 0; i < 2000; ++i) ASSERT_EQ(order[static_cast<size_t>(i)], i);
  if (hasSecondCore()) {
    EXPECT_EQ(ranHere, 0);
    EXPECT_NE(threads.front(), std::this_thread::get_id());
    EXPECT_EQ(std::count(threads.begin(), threads.end(), threads.front()), 2000);
  } else {
    EXPECT_EQ(ranHere, 2000);
  }
}

}  // namespace
}  // namespace chengling
