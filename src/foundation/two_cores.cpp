#include "foundation/two_cores.h"

#include <sched.h>

namespace chengling {

bool hasSecondCore() {
  static const bool second = [] {
    cpu_set_t set;
    CPU_ZERO(&set);
    if (sched_getaffinity(0, sizeof set, &set) == 0) return CPU_COUNT(&set) > 1;
    return std::thread::hardware_concurrency() > 1;
  }();
  return second;
}

}  // namespace chengling
