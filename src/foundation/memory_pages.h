#pragma once
// Hints to the kernel about large buffers.

#include <cstddef>

namespace chengling {

// Makes the pages of a large stretch of fresh memory present in one call: far cheaper than taking
// one page fault after another while the stretch is filled. Below 1 MiB it does nothing. Only a
// hint; it may fail harmlessly.
void prefaultPages(char* start, size_t size);

}  // namespace chengling
