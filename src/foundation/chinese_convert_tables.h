#pragma once
// The simplified / traditional conversion tables, generated at build time from the dictionaries of
// the installed OpenCC package (chinese_convert_gen.cpp). One Table per direction:
//
// - pages[cp >> 8] * 256 + (cp & 0xFF) is the slot of a code point (< 0x110000); page 0 has no entries.
// - singles[slot]: what the character becomes on its own, 0 when it stays.
// - roots[slot]: the trie node reached by the character as the first of a longer key, 0 for none.
// - childStart[node] .. childStart[node + 1]: the node's children in childCodes (ascending) and
//   childNodes.
// - nodeValues[node]: offset in values of the value of the key ending at the node, 0 for none;
//   values[offset] is its length in characters, its characters follow.

#include <cstddef>
#include <cstdint>

namespace chengling::chinese_tables {

struct Table {
  const uint16_t* pages;
  const char32_t* singles;
  const uint32_t* roots;
  const uint32_t* childStart;
  const char32_t* childCodes;
  const uint32_t* childNodes;
  const uint32_t* nodeValues;
  const char32_t* values;
  size_t longestKey;  // in characters
};

extern const Table SimplifiedToTraditional;
extern const Table TraditionalToSimplified;

}  // namespace chengling::chinese_tables
