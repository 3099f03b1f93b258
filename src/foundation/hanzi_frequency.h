#pragma once
// How common an ideograph is in Chinese text, simplified or traditional, generated from Unicode's
// Unihan data by scripts/gen_hanzi_frequency.py (the generated hanzi_frequency.cpp is committed).

namespace chengling {

// About log2 of the character's count in two million characters of text, 1 to 17; 0 for a
// character outside U+4E00-U+9FFF or one that no source counts (a rare one).
int hanziWeight(char32_t codePoint);

}  // namespace chengling
