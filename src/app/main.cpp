// chengling: the desktop program. Creates the services, binds the settings, shows the main window
// and releases everything in the reverse order once the window has gone.
#include <QApplication>
#include <QIcon>
#include <QTimer>

#include <csignal>

#include "app/tool_tabs.h"
#include "foundation/file_collector.h"
#include "foundation/file_system.h"
#include "foundation/native_text.h"
#include "foundation/path_helpers.h"
#include "foundation/program_directory.h"
#include "platform/translations.h"
#include "shell/artwork.h"
#include "shell/main_window.h"
#include "shell/screenshot.h"
#include "shell/settings_store.h"
#include "shell/store_messages.h"

namespace {

// Files and folders named on the command line (a launcher's %F, a file manager's "open with"), as
// absolute paths in internal text. QApplication has already taken its own options out of argv.
chengling::PathList commandLinePaths(int argc, char** argv) {
  chengling::PathList paths;
  const std::string here = chengling::currentFolder();
  for (int i = 1; i < argc; ++i) {
    paths.push_back(chengling::absolutePath(chengling::internalFromNative(argv[i]), here));
  }
  return paths;
}

}  // namespace

int main(int argc, char** argv) {
  // A peer that closes its connection must not end the program: downloads run without signals.
  std::signal(SIGPIPE, SIG_IGN);
  QApplication app(argc, argv);
  chengling::installChineseTranslations();
  // The desktop finds the program's entry and icon by this name (the window's application id).
  QGuiApplication::setDesktopFileName(QStringLiteral(CHENGLING_APP_ID));
  QApplication::setWindowIcon(QIcon(chengling::homePicture()));

  chengling::SettingsStore settings;
  chengling::attachStoreMessages(settings);
  settings.Bind(chengling::programDirectory() + "/" + chengling::SettingsStore::valueFileName());

  int code = 0;
  {
    // Each tool makes its window on the first visit to its tab.
    chengling::MainWindow window(settings, chengling::toolTabs());
    window.show();
    if (chengling::PathList opened = commandLinePaths(argc, argv); !opened.empty()) {
      // Once the event loop runs, so that the drop's confirmation opens over a shown window.
      QTimer::singleShot(0, &window, [&window, opened] { window.openPaths(opened); });
    }
    const QString screenshot = qEnvironmentVariable("CHENGLING_SCREENSHOT");
    if (!screenshot.isEmpty()) {
      // A start-up benchmark asks for the picture at once: the time to a painted window.
      bool given = false;
      const int delay = qEnvironmentVariableIntValue("CHENGLING_SCREENSHOT_DELAY", &given);
      chengling::scheduleScreenshot(&window, screenshot, given ? delay : 1500,
                                    qEnvironmentVariable("CHENGLING_SCREENSHOT_CLICK"));
    }
    code = app.exec();
    // The window and its tool pages go here; each page saves its control states as it goes.
  }
  settings.release();
  return code;
}
