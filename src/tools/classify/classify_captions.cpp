#include "tools/classify/classify_captions.h"

#include "foundation/internal_text.h"

namespace chengling {

const char* const kClassifyStartingCaption = "正在初始化中..";
const char* const kReadingFolderCaption = "正在读取目录：";

namespace {

constexpr size_t kCaptionLimit = 70;
constexpr size_t kCaptionHalf = 34;

}  // namespace

std::string shortenCaption(std::string_view text) {
  if (text.size() < kCaptionLimit) return std::string(text);
  size_t prefixEnd = 0;
  size_t suffixStart = text.size();
  for (size_t pos = 0; pos < text.size();) {
    const size_t next = pos + charLengthAt(text, pos);
    if (next <= kCaptionHalf) prefixEnd = next;
    if (text.size() - pos <= kCaptionHalf && suffixStart == text.size()) suffixStart = pos;
    pos = next;
  }
  return std::string(text.substr(0, prefixEnd)) + "..." + std::string(text.substr(suffixStart));
}

std::string captionText(int64_t count, int64_t index, std::string_view source) {
  return shortenCaption("    (" + numberToText(count) + ":" + numberToText(index) + ") " +
                        std::string(source));
}

}  // namespace chengling
