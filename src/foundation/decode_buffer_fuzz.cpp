// libFuzzer target: any bytes, with any forced encoding, decode without a crash, a hang or a leak,
// and the text they give encodes again. Detection without a mark, a declaration or UTF-8 takes what
// GuessUnmarkedEncoding says, from a bounded prefix.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "foundation/encoding_detection.h"
#include "foundation/text_codec.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  // The first byte picks the forced encoding; the rest is the buffer.
  const auto forced = static_cast<chengling::TextEncoding>(data[0] % 7);
  const std::string_view bytes(reinterpret_cast<const char*>(data + 1), size - 1);
  const std::string text = chengling::DecodeBuffer(bytes, forced);
  if (text.find('\0') != std::string::npos) __builtin_trap();

  chengling::TextEncoding used = chengling::TextEncoding::Detect;
  const std::string again = chengling::DecodeText({}, forced, bytes, {}, used);
  if (again != text || static_cast<int>(used) < 1 || static_cast<int>(used) > 6) __builtin_trap();

  size_t start = 0;
  if (forced == chengling::TextEncoding::Detect && !bytes.starts_with("\x1F\x8B") &&
      chengling::declaredEncoding(bytes, start) == chengling::TextEncoding::Detect && !chengling::LooksLikeUtf8(bytes)) {
    const chengling::TextEncoding guessed = chengling::guessedEncoding(bytes);
    // What follows the prefix never changes the guess.
    const std::string_view prefix = bytes.substr(0, chengling::kGuessPrefix + chengling::kGuessWindow);
    if (chengling::guessedEncoding(prefix, bytes.size()) != guessed) __builtin_trap();
    // A guess that converted nothing falls back to the raw bytes.
    if (used != guessed && used != chengling::TextEncoding::Ansi) __builtin_trap();
  }

  std::string encoded;
  chengling::EncodeText({}, text, used, encoded);
  return 0;
}
