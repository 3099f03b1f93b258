// Linked into window-test binaries only. ctest lists a test binary's cases by running it without
// the tests' environment, and a QApplication without a display aborts; so the offscreen platform
// becomes the default before main() unless the caller chose one.
#include <QByteArray>
#include <QtGlobal>

namespace {
const bool kOffscreenDefault = [] {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", QByteArray("offscreen"));
  return true;
}();
}  // namespace
