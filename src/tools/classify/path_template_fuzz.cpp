// libFuzzer target: a path template (with its tokens) expanded for a file path and an entry folder,
// with the batch names of a named list. No crash, hang or leak, no "." or ".." level that the
// template did not type, and no file is read: the size and the time are supplied. Parts of the input are cut at 1E bytes: template, file, entry folder, names.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "foundation/fuzz_input.h"
#include "foundation/internal_text.h"
#include "tools/classify/path_template.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace chengling;
  const auto parts = fuzzParts(data, size, 4);
  const PathTemplate pathTemplate(parts[0]);
  if (pathTemplate.text().size() != parts[0].size()) abort();

  BatchContext batch;
  batch.mode = static_cast<BatchNameMode>(size % 3);
  batch.names = splitText(parts[3], "\r\n");
  batch.number = static_cast<int32_t>(size % 40) + 1;
  // Sizes and times from the input's length reach every unit and calendar field now and then.
  const int64_t bytes = static_cast<int64_t>(size) * size * size * 977 - 5;
  const int64_t modified = static_cast<int64_t>(size) * 86400 * 97 - 3600;
  const std::string target = pathTemplate.expandWith(parts[1], parts[2], batch, bytes, modified);
  if (batch.number < 1) abort();
  // No value climbs: a template that types no dot gives no "." or ".." level, whatever the names.
  if (parts[0].find('.') == std::string_view::npos) {
    for (const std::string& level : splitText(target + "/", "/")) {
      if (level == "." || level == "..") abort();
    }
  }

  // Every unknown word is a bracketed piece of the template, and none is a token.
  for (const std::string& word : unknownBracketWords(parts[0])) {
    if (word.size() < 3 || word.front() != '[' || word.back() != ']') abort();
    if (parts[0].find(word) == std::string_view::npos || PathTemplate(word).text() != word) abort();
  }

  (void)replaceOnBoundaries(parts[1], parts[2], parts[3]);
  (void)SizeText(bytes);
  if (batchLetters(static_cast<int64_t>(size)).size() > 8) abort();
  return 0;
}
