#pragma once
// Phrases of a piece's text, from which content-based piece names are made.

#include <cstdint>
#include <random>
#include <string>
#include <string_view>

namespace chengling {

// The text without markup tags: every "<" ... ">" stretch that holds no other "<" or ">".
std::string removeMarkup(std::string_view text);

// A phrase of `text` (internal text): markup removed, cut into candidates at punctuation, quotes,
// brackets, spaces, line breaks and ". ". One candidate with at least `n` characters after trimming
// spaces and ideographic spaces, chosen at random and returned trimmed; when none is that long, any
// candidate chosen at random, untrimmed; empty when there is no candidate.
// One pass, constant memory besides the markup-free copy.
std::string ContentPhrase(std::string_view text, int64_t n, std::mt19937_64& random);

}  // namespace chengling
