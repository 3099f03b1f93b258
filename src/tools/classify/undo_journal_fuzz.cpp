// libFuzzer target: the undo journal that a killed classification run leaves (the first part of the
// input, cut at a 1E byte), read record by record, and a pair of paths (the second part, cut at its
// first LF) written as a run writes them and read back. No crash, hang or leak; no file is looked
// at; every record lies inside the bytes, no more pairs are settled than there are, and any two
// paths come back as themselves.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <string>
#include <string_view>

#include "foundation/fuzz_input.h"
#include "foundation/native_text.h"
#include "tools/classify/classify_journal.h"
#include "tools/classify/classify_log.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace chengling;
  const auto parts = fuzzParts(data, size, 2);
  const std::string_view bytes = parts[0];
  const JournalRecord record = readJournal(bytes);
  auto inside = [&](std::string_view view) {
    return view.empty() || (std::less_equal<>()(bytes.data(), view.data()) &&
                            std::less_equal<>()(view.data() + view.size(), bytes.data() + bytes.size()));
  };
  if (record.settled > record.pairs.size()) abort();
  if (!record.known && (!record.pairs.empty() || !record.folders.empty())) abort();
  for (const JournalRecord::Pair& pair : record.pairs) {
    if (!inside(pair.sourceLine) || !inside(pair.targetLine)) abort();
    if (pair.sourceLine.find('\n') != std::string_view::npos || pair.targetLine.find('\n') != std::string_view::npos) {
      abort();
    }
    (void)logLinePath(pair.sourceLine);
  }
  for (std::string_view folder : record.folders) {
    if (!inside(folder)) abort();
  }

  // Any two file names, line breaks and bytes that are no UTF-8 included.
  const size_t cut = parts[1].find('\n');
  const std::string source = internalFromNative(parts[1].substr(0, cut));
  const std::string target = internalFromNative(cut == std::string_view::npos ? std::string_view() : parts[1].substr(cut + 1));
  const std::string journal = "# chengling classify journal 1 move\n>12:34 " + logLine(source) + "<" + logLine(target) +
                              "~0\n/" + logLine(target) + "=1\n";
  const JournalRecord back = readJournal(journal);
  if (back.pairs.size() != 1 || back.settled != 1 || back.folders.size() != 1 || !back.pairs[0].copying) abort();
  if (logLinePath(back.pairs[0].sourceLine) != source || logLinePath(back.pairs[0].targetLine) != target) abort();
  if (logLinePath(back.folders[0]) != target) abort();
  if (back.pairs[0].source.device != 12 || back.pairs[0].source.inode != 34) abort();
  return 0;
}
