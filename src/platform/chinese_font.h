#pragma once
// The font family the desktop uses for simplified Chinese, as fontconfig chooses it. Tables and
// other text drawn by the program itself use it, since no font of a given name can be counted on.

#include <QString>

namespace chengling {

// The family of fontconfig's best match for simplified Chinese; empty when fontconfig finds no
// font that covers the language (Qt then falls back on its default font). Looked up once.
QString chineseFontFamily();

}  // namespace chengling
