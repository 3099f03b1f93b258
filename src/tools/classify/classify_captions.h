#pragma once
// The captions a classification run shows as it goes.
//
// Shared by the engine and the window: Chinese texts are declared here and defined in the .cpp.

#include <cstdint>
#include <string>
#include <string_view>

namespace chengling {

// "    (" + count + ":" + index + ") " + source, shortened by shortenCaption.
std::string captionText(int64_t count, int64_t index, std::string_view source);
// A text of 70 bytes or more becomes its longest whole-character prefix within 34 bytes + "..." +
// its longest whole-character suffix within 34 bytes; shorter texts stay as they are.
std::string shortenCaption(std::string_view text);

// The phase texts of a run: "正在初始化中..", and "正在读取目录：" before each folder it reads.
extern const char* const kClassifyStartingCaption;
extern const char* const kReadingFolderCaption;

}  // namespace chengling
