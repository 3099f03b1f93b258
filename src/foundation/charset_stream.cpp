#include "foundation/charset_stream.h"

#include "foundation/charset_conversion.h"

#include <algorithm>

namespace chengling {
namespace {

bool sameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char c = a[i];
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    if (c != b[i]) return false;
  }
  return true;
}

bool isContinuation(unsigned char c) { return c >= 0x80 && c < 0xC0; }

}  // namespace

CharsetStream::CharsetStream(std::string_view from, std::string_view to) : from_(from), to_(to) {
  if (sameName(from, "UTF-8") || sameName(from, "UTF8")) {
    rule_ = Rule::Utf8;
  } else if (sameName(from, "UTF-16LE")) {
    rule_ = Rule::Utf16Le;
  } else if (sameName(from, "UTF-16BE")) {
    rule_ = Rule::Utf16Be;
  } else {
    // GB18030 and the BIG5 family: no byte below 0x30 is part of a multi-byte character, and after
    // one no stateful target (BIG5-HKSCS) holds a character back.
    rule_ = Rule::AfterLowByte;
  }
}

size_t CharsetStream::lastCut(std::string_view bytes) const {
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  size_t n = bytes.size();
  switch (rule_) {
    case Rule::Utf8:
      while (n > 1 && isContinuation(p[n - 1])) --n;
      return n > 1 ? n - 1 : 0;
    case Rule::Utf16Le:
    case Rule::Utf16Be: {
      // After a unit that is no leading surrogate.
      const size_t high = rule_ == Rule::Utf16Le ? 1 : 0;
      for (size_t j = n & ~size_t{1}; j >= 2; j -= 2) {
        if ((p[j - 2 + high] & 0xFC) != 0xD8) return j;
      }
      return 0;
    }
    case Rule::AfterLowByte:
      while (n > 0 && p[n - 1] >= 0x30) --n;
      return n;
  }
  return 0;
}

size_t CharsetStream::firstCut(std::string_view bytes) const {
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  const size_t n = bytes.size();
  switch (rule_) {
    case Rule::Utf8:
      for (size_t j = 0; j < n; ++j) {
        if (!isContinuation(p[j])) return j;
      }
      return std::string_view::npos;
    case Rule::Utf16Le:
    case Rule::Utf16Be: {
      // Positions count from the start of the held bytes, where a unit starts.
      const size_t high = rule_ == Rule::Utf16Le ? 1 : 0;
      const size_t h = held_.size();
      auto byteAt = [&](size_t k) { return k < h ? static_cast<unsigned char>(held_[k]) : p[k - h]; };
      for (size_t d = std::max<size_t>(2, (h + 1) & ~size_t{1}); d <= h + n; d += 2) {
        if ((byteAt(d - 2 + high) & 0xFC) != 0xD8) return d - h;
      }
      return std::string_view::npos;
    }
    case Rule::AfterLowByte:
      for (size_t j = 0; j < n; ++j) {
        if (p[j] < 0x30) return j + 1;
      }
      return std::string_view::npos;
  }
  return std::string_view::npos;
}

void CharsetStream::convert(std::string_view bytes, bool atEnd, std::string& out) {
  bool lost = false;
  appendConvertedPiece(out, bytes, from_, to_, atEnd, &lost);
  lossy_ = lossy_ || lost;
}

void CharsetStream::feed(std::string_view piece, std::string& out) {
  if (piece.empty()) return;
  if (!held_.empty()) {
    // The held bytes go with the start of the piece, up to its first cut.
    const size_t cut = firstCut(piece);
    if (cut == std::string_view::npos) {
      held_.append(piece);
      return;
    }
    held_.append(piece.substr(0, cut));
    convert(held_, false, out);
    held_.clear();
    piece.remove_prefix(cut);
  }
  const size_t cut = lastCut(piece);
  if (cut > 0) convert(piece.substr(0, cut), false, out);
  held_.assign(piece.substr(cut));
}

void CharsetStream::finish(std::string& out) {
  convert(held_, true, out);
  held_.clear();
}

}  // namespace chengling
