#pragma once
// The numbers that 按数值排序 and 按拼接数值排序 read from a cell, at their full value: any number of
// digits, decimals, an exponent, never wrapped. Each also packs into 96 bits whose order is the
// numbers' order; a number too long for them is marked, and ties between marked keys are settled
// by the full values.

#include <cstdint>
#include <string>
#include <string_view>

namespace chengling {

// 10^0 .. 10^18, every power of ten a 64-bit word holds.
inline constexpr uint64_t kPowersOfTen[19] = {
    1,           10,           100,           1000,           10000,           100000,           1000000,
    10000000,    100000000,    1000000000,    10000000000,    100000000000,    1000000000000,    10000000000000,
    100000000000000, 1000000000000000, 10000000000000000, 100000000000000000, 1000000000000000000};

// (negative ? -1 : 1) × 0.digits × 10^exponent. `digits` holds neither leading nor trailing zeros;
// zero has none and is not negative.
struct DecimalValue {
  bool negative = false;
  std::string digits;
  int64_t exponent = 0;
  bool operator==(const DecimalValue&) const = default;
};

// Less than, equal to or greater than 0 as `a` is below, equal to or above `b`.
int compareDecimal(const DecimalValue& a, const DecimalValue& b);

// 按数值排序. The text with full-width forms read as ASCII is a number when all of it is one: blanks
// (space, tab) around it, an optional sign, digits with an optional decimal point and fraction (or
// a point and digits), an optional exponent ("e" or "E", an optional sign, digits). Such a text has
// that value. Any other text has the value of its leading integer as textToInteger reads it (blanks,
// a sign, the digits up to the first non-digit), with all its digits; 0 when there are none.
DecimalValue numberValue(std::string_view text);

// 按拼接数值排序: the ASCII digits of the text (single-byte characters only) joined into one
// whole number; 0 when there are none.
DecimalValue joinedDigitsValue(std::string_view text);

// A number packed for sorting: keys compare as (high, low) do. `exact` is false when the number
// has more digits than the key holds or an exponent beyond its range; two keys with equal words of
// which one is not exact must be compared by their full values.
struct NumberKey {
  uint64_t high = 0;
  uint32_t low = 0;
  bool exact = true;
  // The value as mantissa ÷ 10^fraction when the mantissa takes at most 18 digits: whole numbers
  // below 10^18, prices, short decimals. `fraction` is 0 for a whole number.
  bool scaled = false;
  int64_t mantissa = 0;
  int fraction = 0;
};

NumberKey numberKey(std::string_view text);        // of numberValue(text)
NumberKey joinedDigitsKey(std::string_view text);  // of joinedDigitsValue(text)

// The same value as mantissa ÷ 10^fraction (possibly with more fraction digits than NumberKey, which
// drops trailing zeros), quicker for the plain numbers most cells hold; false where NumberKey has
// no such form.
bool scaledNumber(std::string_view text, int64_t& mantissa, int& fraction);
bool scaledJoinedDigits(std::string_view text, int64_t& mantissa);

}  // namespace chengling
