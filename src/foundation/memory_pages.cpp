#include "foundation/memory_pages.h"

#include <sys/mman.h>

#include <cstdint>

namespace chengling {

void prefaultPages(char* start, size_t size) {
  constexpr size_t kPage = 4096;
  if (size < (size_t{1} << 20)) return;
  const auto first = (reinterpret_cast<uintptr_t>(start) + kPage - 1) & ~uintptr_t{kPage - 1};
  const auto end = (reinterpret_cast<uintptr_t>(start) + size) & ~uintptr_t{kPage - 1};
  if (end <= first) return;
  madvise(reinterpret_cast<void*>(first), end - first, MADV_HUGEPAGE);
  // In pieces: the process's address map is held while a piece is filled, and another thread that
  // maps memory meanwhile (a window painting) waits for one piece, not for the whole stretch.
  constexpr uintptr_t kPiece = uintptr_t{4} << 20;
  for (uintptr_t at = first; at < end; at += kPiece) {
    const uintptr_t length = end - at < kPiece ? end - at : kPiece;
    madvise(reinterpret_cast<void*>(at), length, MADV_POPULATE_WRITE);
  }
}

}  // namespace chengling
