#pragma once
// Handing things to the desktop: folders to the file manager, documents and web addresses to their
// default programs (the desktop's "open" action through QDesktopServices). Each returns false when
// the desktop could not open it; nothing is shown then.

#include <QString>

#include <string_view>

namespace chengling {

// Shows a folder (internal path) in a file-manager window. A file path opens its folder.
bool OpenInFileManager(std::string_view path);
// Opens a document (internal path) with its associated program.
bool openDocument(std::string_view path);
// Opens an http or https address in the browser; anything else is refused.
bool openAddress(const QString& address);

}  // namespace chengling
