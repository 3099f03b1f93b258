// chengling: the desktop program. Creates the services, binds the settings, shows the main window
// and releases everything in the reverse order once the window has gone.
#include <QApplication>

#include <array>
#include <csignal>

#include "foundation/program_directory.h"
#include "platform/qt_text.h"
#include "shell/drop_target.h"
#include "shell/main_window.h"
#include "shell/screenshot.h"
#include "shell/settings_store.h"
#include "shell/store_messages.h"
#include "tools/csv_table/csv_table_window.h"
#include "tools/split_merge/split_merge_window.h"

int main(int argc, char** argv) {
  // A peer that closes its connection must not end the program: downloads run without signals.
  std::signal(SIGPIPE, SIG_IGN);
  QApplication app(argc, argv);

  chengling::SettingsStore settings;
  chengling::attachStoreMessages(settings);
  settings.Bind(chengling::programDirectory() + "/" + chengling::SettingsStore::valueFileName());

  // The tools, in tab order: each makes its window on the first visit to its tab. A tool without a
  // window shows a placeholder page.
  using chengling::PageFactory;
  const std::array<PageFactory, chengling::MainWindow::kPageCount> pages{
      PageFactory{},                                                   // 跳转地址获取
      [] { return new chengling::CsvTableTool; },                      // Csv数据排序
      PageFactory{},                                                   // 文件批量归类
      PageFactory{},                                                   // 文件批量转码
      [&settings] { return new chengling::SplitMergeTool(settings); },  // 文件分割合并
  };

  int code = 0;
  {
    chengling::MainWindow window(settings, pages);
    window.show();
    const QString screenshot = qEnvironmentVariable("CHENGLING_SCREENSHOT");
    if (!screenshot.isEmpty()) {
      // A file to show in the picture, handed to the page as a drop would hand it.
      const QString file = qEnvironmentVariable("CHENGLING_SCREENSHOT_DROP");
      if (!file.isEmpty()) chengling::DropTarget::deliverTo(window.currentPage(), {chengling::pathFromQString(file)});
      chengling::scheduleScreenshot(&window, screenshot);
    }
    code = app.exec();
    // The window and its tool pages go here; each page saves its control states as it goes.
  }
  settings.release();
  return code;
}
