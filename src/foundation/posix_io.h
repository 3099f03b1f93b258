#pragma once
// The system calls that both halves of the file-system adapter (file_streams.cpp, file_system.cpp)
// make the same way. Internal to the adapter: nothing outside src/foundation includes this.

#include <sys/types.h>

#include <string>
#include <string_view>

namespace chengling::posix {

// Sets `error` (when given) to the Chinese reason of an errno value, or to a text of its own.
void setError(std::string* error, int code);
void setError(std::string* error, std::string_view text);

// open(2), retried while a signal interrupts it.
int retryOpen(const char* path, int flags, mode_t mode = 0);

// Renames without ever replacing `to`; false with errno set (EEXIST when `to` exists).
bool renameNoReplace(const char* from, const char* to);

}  // namespace chengling::posix
