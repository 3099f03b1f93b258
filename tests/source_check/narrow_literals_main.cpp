// qt_literal_check FILE...: names every ordinary literal beyond ASCII in the given Qt sources
// (narrow_literals.h) as "file:line: literal" and exits 1 when there is one; 2 when a file cannot
// be read.
#include <cstdio>
#include <fstream>
#include <sstream>

#include "source_check/narrow_literals.h"

int main(int argc, char** argv) {
  int found = 0;
  for (int k = 1; k < argc; ++k) {
    std::ifstream in(argv[k], std::ios::binary);
    if (!in) {
      std::fprintf(stderr, "%s: cannot be read\n", argv[k]);
      return 2;
    }
    std::ostringstream text;
    text << in.rdbuf();
    for (const auto& literal : chengling::source_check::narrowNonAsciiLiterals(text.str())) {
      std::printf("%s:%d: %s\n", argv[k], literal.line, literal.text.c_str());
      ++found;
    }
  }
  if (found > 0) {
    std::printf("%d ordinary literal(s) beyond ASCII in Qt code: write u\"...\"_s, so that no UTF-8 bytes "
                "meet internal text (GB18030)\n",
                found);
    return 1;
  }
  std::printf("%d Qt sources hold no ordinary literal beyond ASCII\n", argc - 1);
  return 0;
}
