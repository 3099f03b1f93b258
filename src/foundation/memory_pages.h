#pragma once
// Hints to the kernel about large buffers.

#include <cstddef>

namespace chengling {

// Makes the pages of a large stretch of fresh memory present a few megabytes per call: far cheaper
// than taking one page fault after another while the stretch is filled. Huge pages are asked for first, where the
// system gives them on request: reads scattered over a large text (a sorted table's export) then
// rarely miss the address cache. Below 1 MiB it does nothing. Only a hint; it may fail harmlessly.
void prefaultPages(char* start, size_t size);

}  // namespace chengling
