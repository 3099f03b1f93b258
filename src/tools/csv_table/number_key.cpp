#include "tools/csv_table/number_key.h"

#include <algorithm>

#include "foundation/internal_text.h"
#include "foundation/utf8_internal.h"
#include "tools/csv_table/table_sort.h"

namespace chengling {

namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool isBlank(char c) { return c == ' ' || c == '\t'; }

// An exponent beyond this is read as this: no cell holds enough digits for the difference to show
// below it, and positions plus exponent stay far inside 64 bits.
constexpr int64_t kExponentCap = 100000000000000000;  // 10^17

// Exponents the key holds exactly; the field is the exponent + 2047, 0 and 4095 standing for every
// exponent below and above.
constexpr int64_t kLowestExponent = -2046;
constexpr int64_t kHighestExponent = 2047;
constexpr int kFirstDigits = 15;  // in the high word, below the exponent field
constexpr int kNextDigits = 9;    // in the low word

// The digits of a number in order, taken one at a time: what the key and the full value need.
class Digits {
 public:
  explicit Digits(std::string* all = nullptr) : all_(all) {}

  void add(char c) {
    if (seen_ == 0 && c == '0') {
      ++leadingZeros_;
      return;
    }
    ++seen_;
    if (c != '0') significant_ = seen_;
    const unsigned d = static_cast<unsigned>(c - '0');
    if (seen_ <= kFirstDigits) {
      first_ = first_ * 10 + d;
    } else if (seen_ <= kFirstDigits + kNextDigits) {
      next_ = next_ * 10 + d;
    }
    if (all_ != nullptr) all_->push_back(c);
  }

  size_t leadingZeros() const { return leadingZeros_; }
  size_t seen() const { return seen_; }  // after the leading zeros, trailing zeros included
  bool zero() const { return significant_ == 0; }

  // 0.digits × 10^exponent, packed.
  NumberKey key(bool negative, int64_t exponent) const {
    NumberKey k;
    if (zero()) {
      k.high = uint64_t{1} << 62;
      k.scaled = true;
      return k;
    }
    uint64_t field = static_cast<uint64_t>(exponent + 2047);
    uint64_t first = first_ * kPowersOfTen[kFirstDigits - std::min<size_t>(seen_, kFirstDigits)];
    uint32_t next = seen_ <= kFirstDigits
                        ? 0
                        : static_cast<uint32_t>(next_ * kPowersOfTen[kFirstDigits + kNextDigits -
                                                                 std::min<size_t>(seen_, kFirstDigits + kNextDigits)]);
    k.exact = significant_ <= static_cast<size_t>(kFirstDigits + kNextDigits);
    if (exponent < kLowestExponent || exponent > kHighestExponent) {
      // Every such number takes the same place below or above all others: their words tie.
      field = exponent < kLowestExponent ? 0 : 4095;
      first = 0;
      next = 0;
      k.exact = false;
    }
    const uint64_t magnitude = field << 50 | first;
    constexpr uint64_t kMagnitudeBits = (uint64_t{1} << 62) - 1;
    if (negative) {
      k.high = ~magnitude & kMagnitudeBits;
      k.low = ~next;
    } else {
      k.high = uint64_t{2} << 62 | magnitude;
      k.low = next;
    }
    // The significant digits as an integer, then as many zeros as the point stands after them, or
    // as many fraction digits as stand after the point.
    const auto significant = static_cast<int64_t>(significant_);
    if (significant <= 18 && exponent <= 18 && significant - exponent <= 18) {
      const auto s = static_cast<size_t>(significant);
      uint64_t digits = s <= kFirstDigits ? first / kPowersOfTen[kFirstDigits - s]
                                          : first * kPowersOfTen[s - kFirstDigits] + next / kPowersOfTen[kFirstDigits + kNextDigits - s];
      if (exponent > significant) digits *= kPowersOfTen[exponent - significant];
      k.scaled = true;
      k.mantissa = negative ? -static_cast<int64_t>(digits) : static_cast<int64_t>(digits);
      k.fraction = static_cast<int>(std::max<int64_t>(0, significant - exponent));
    }
    return k;
  }

  // The digits without trailing zeros, into the string given at construction.
  void trim() const {
    if (all_ != nullptr) all_->resize(significant_);
  }

 private:
  std::string* all_;
  size_t leadingZeros_ = 0;
  size_t seen_ = 0;
  size_t significant_ = 0;
  uint64_t first_ = 0;
  uint32_t next_ = 0;
};

// The number a text names, as written: sign, the digits before and after the point, the exponent.
struct NumberText {
  bool negative = false;
  std::string_view integer;
  std::string_view fraction;
  int64_t exponent = 0;
};

// `text` is ASCII where it matters (full-width forms already read as ASCII).
NumberText readNumberText(std::string_view text) {
  const size_t n = text.size();
  size_t p = 0;
  while (p < n && isBlank(text[p])) ++p;
  NumberText leading;  // the leading integer, as textToInteger reads it
  if (p < n && (text[p] == '+' || text[p] == '-')) leading.negative = text[p++] == '-';
  const size_t integerStart = p;
  while (p < n && isDigit(text[p])) ++p;
  leading.integer = text.substr(integerStart, p - integerStart);
  NumberText whole = leading;
  if (p < n && text[p] == '.') {
    const size_t fractionStart = ++p;
    while (p < n && isDigit(text[p])) ++p;
    whole.fraction = text.substr(fractionStart, p - fractionStart);
  }
  if (whole.integer.empty() && whole.fraction.empty()) return leading;
  if (p < n && (text[p] == 'e' || text[p] == 'E')) {
    size_t e = p + 1;
    bool negative = false;
    if (e < n && (text[e] == '+' || text[e] == '-')) negative = text[e++] == '-';
    const size_t digitsStart = e;
    int64_t exponent = 0;
    for (; e < n && isDigit(text[e]); ++e) exponent = std::min(exponent * 10 + (text[e] - '0'), kExponentCap);
    if (e > digitsStart) {  // an "e" without digits is not part of the number
      whole.exponent = negative ? -exponent : exponent;
      p = e;
    }
  }
  while (p < n && isBlank(text[p])) ++p;
  return p == n ? whole : leading;
}

// Reads the number of `text` into `digits`; returns its sign and exponent.
template <typename Done>
auto withNumber(std::string_view original, std::string* all, Done&& done) {
  std::string converted;
  std::string_view text = original;
  if (hasHighByte(original)) {
    converted = asciiFromFullWidth(original);
    text = converted;
  }
  const NumberText number = readNumberText(text);
  Digits digits(all);
  for (char c : number.integer) digits.add(c);
  for (char c : number.fraction) digits.add(c);
  digits.trim();
  // Leading zeros of the integer part move the first digit right; those of the fraction, left.
  const int64_t exponent =
      static_cast<int64_t>(number.integer.size()) - static_cast<int64_t>(digits.leadingZeros()) + number.exponent;
  return done(digits, number.negative && !digits.zero(), exponent);
}

template <typename Done>
auto withJoinedDigits(std::string_view text, std::string* all, Done&& done) {
  Digits digits(all);
  for (size_t pos = 0; pos < text.size();) {
    const size_t length = charLengthAt(text, pos);
    if (length == 1 && isDigit(text[pos])) digits.add(text[pos]);
    pos += length;
  }
  digits.trim();
  return done(digits, false, static_cast<int64_t>(digits.seen()));
}

}  // namespace

int compareDecimal(const DecimalValue& a, const DecimalValue& b) {
  auto sign = [](const DecimalValue& v) { return v.digits.empty() ? 0 : v.negative ? -1 : 1; };
  if (sign(a) != sign(b)) return sign(a) < sign(b) ? -1 : 1;
  if (sign(a) == 0) return 0;
  int magnitude = 0;
  if (a.exponent != b.exponent) {
    magnitude = a.exponent < b.exponent ? -1 : 1;
  } else {
    const int c = a.digits.compare(b.digits);
    magnitude = c < 0 ? -1 : c > 0 ? 1 : 0;
  }
  return a.negative ? -magnitude : magnitude;
}

DecimalValue numberValue(std::string_view text) {
  DecimalValue value;
  withNumber(text, &value.digits, [&](const Digits& digits, bool negative, int64_t exponent) {
    value.negative = negative;
    value.exponent = digits.zero() ? 0 : exponent;
    return 0;
  });
  return value;
}

DecimalValue joinedDigitsValue(std::string_view text) {
  DecimalValue value;
  withJoinedDigits(text, &value.digits, [&](const Digits& digits, bool, int64_t exponent) {
    value.exponent = digits.zero() ? 0 : exponent;
    return 0;
  });
  return value;
}

NumberKey numberKey(std::string_view text) {
  return withNumber(text, nullptr,
                    [](const Digits& digits, bool negative, int64_t exponent) { return digits.key(negative, exponent); });
}

NumberKey joinedDigitsKey(std::string_view text) {
  return withJoinedDigits(text, nullptr,
                          [](const Digits& digits, bool, int64_t exponent) { return digits.key(false, exponent); });
}

bool scaledNumber(std::string_view text, int64_t& mantissa, int& fraction) {
  // Blanks, a sign, at most 18 ASCII digits with a point among them, blanks: nothing else.
  const size_t n = text.size();
  size_t p = 0;
  while (p < n && isBlank(text[p])) ++p;
  const bool negative = p < n && text[p] == '-';
  if (p < n && (text[p] == '-' || text[p] == '+')) ++p;
  uint64_t digits = 0;
  int count = 0;
  int afterPoint = -1;
  for (; p < n; ++p) {
    const char c = text[p];
    if (isDigit(c)) {
      digits = digits * 10 + static_cast<unsigned>(c - '0');
      ++count;
      if (afterPoint >= 0) ++afterPoint;
    } else if (c == '.' && afterPoint < 0) {
      afterPoint = 0;
    } else {
      break;
    }
  }
  size_t end = p;
  while (end < n && isBlank(text[end])) ++end;
  if (count > 0 && count <= 18 && end == n) {
    mantissa = negative ? -static_cast<int64_t>(digits) : static_cast<int64_t>(digits);
    fraction = afterPoint < 0 ? 0 : afterPoint;
    return true;
  }
  const NumberKey key = numberKey(text);
  mantissa = key.mantissa;
  fraction = key.fraction;
  return key.scaled;
}

bool scaledJoinedDigits(std::string_view text, int64_t& mantissa) {
  uint64_t digits = 0;
  int count = 0;
  for (size_t pos = 0; pos < text.size();) {
    const size_t length = charLengthAt(text, pos);
    if (length == 1 && isDigit(text[pos])) {
      digits = digits * 10 + static_cast<unsigned>(text[pos] - '0');
      if (digits != 0 && ++count > 18) return false;  // leading zeros do not count
    }
    pos += length;
  }
  mantissa = static_cast<int64_t>(digits);
  return true;
}

}  // namespace chengling
