#pragma once
// The main window: the header band with its pictures, link and gliding banner, the tab strip of the
// tools and the page under it. The tools come from the table of tabs (src/app/tool_tabs.cpp), one
// ToolTab each, in tab order. A tool window is created by its page factory on the first visit to its
// tab, re-parented into the main window and only hidden, never destroyed, when another tab is
// chosen. The selected tab is kept in the settings ("主界面" / "功能夹").

#include <QIcon>
#include <QRect>
#include <QString>
#include <QWidget>

#include <functional>
#include <vector>

#include "foundation/file_collector.h"

class QLabel;
class QTabBar;
class QTimer;

namespace chengling {

class SettingsStore;

// Creates one tool window over the program's settings, without a parent (the main window adopts
// it). A tool window restores its control states when it is created and saves them when it is
// closed or destroyed; the main window closes every created page before it goes away. An empty
// factory gives a plain placeholder page.
using PageFactory = std::function<QWidget*(SettingsStore& settings)>;

// One tool of the tab strip, as the table of tabs declares it.
struct ToolTab {
  QString caption;    // with its leading and trailing blank
  QString tip;        // shown when the pointer rests on the tab; empty for none
  QIcon icon;         // 24×24
  QString stateName;  // the settings section its window keeps its controls under; empty for none
  PageFactory make;
};

// Addresses opened by the home-page picture and link, and by the banner.
struct ShellLinks {
  QString homePage = QStringLiteral("https://chengling.example/");
  QString productPage = QStringLiteral("https://chengling.example/toolbox");
};

class MainWindow : public QWidget {
  Q_OBJECT

 public:
  MainWindow(SettingsStore& settings, std::vector<ToolTab> tabs, ShellLinks links = {}, QWidget* parent = nullptr);
  ~MainWindow() override;

  QTabBar* tabs() const { return tabs_; }
  int pageCount() const { return static_cast<int>(tools_.size()); }
  // The tool window of tab `index`; null until its first visit.
  QWidget* page(int index) const;
  QWidget* currentPage() const { return current_; }
  // Left 0, top = tab strip top + 36, full client width, the rest of the client height.
  QRect pageRect() const;

  // Hands `paths` (absolute, internal text) to the current tab as if they had been dropped on it,
  // with that drop's confirmation: files opened from a launcher or a file manager. A tab that takes
  // no drops ignores them.
  void openPaths(PathList paths);

  QLabel* banner() const { return banner_; }
  // The banner's timer runs: from creation on, but never while the window is hidden or minimised,
  // and not after a right press on the banner stopped it for good.
  bool bannerGliding() const;
  // True while the banner glides left.
  bool bannerLeftward() const { return bannerLeftward_; }
  // One tick of the banner timer: one pixel, turning at its two bounds.
  void bannerStep();

 protected:
  void resizeEvent(QResizeEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;
  void changeEvent(QEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void buildHeader();
  void buildTabs();
  void switchPage();
  void placePage();
  QWidget* createPage(int index);
  // Runs the banner's timer exactly while `shown` and it was not stopped for good.
  void glideBanner(bool shown);

  SettingsStore& settings_;
  std::vector<ToolTab> tools_;
  ShellLinks links_;
  std::vector<QWidget*> pages_;
  QWidget* current_ = nullptr;
  bool switching_ = false;

  QTabBar* tabs_ = nullptr;
  QWidget* headerBand_ = nullptr;
  QLabel* homePicture_ = nullptr;
  QLabel* homeLink_ = nullptr;
  QLabel* banner_ = nullptr;
  QTimer* bannerTimer_ = nullptr;
  bool bannerLeftward_ = false;
  bool bannerStopped_ = false;  // by a right press, until the program ends
};

}  // namespace chengling
