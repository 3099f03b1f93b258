#pragma once
// The main window: header band, the tab strip of the five tools and the page under it.

#include <QWidget>

class QTabBar;

namespace chengling {

class MainWindow : public QWidget {
  Q_OBJECT

 public:
  explicit MainWindow(QWidget* parent = nullptr);

  // Captions of the tab strip, in tab order (with their leading and trailing blank).
  static QStringList tabCaptions();

  QTabBar* tabs() const { return tabs_; }

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  void showPage(int index);
  void placePage();

  QTabBar* tabs_ = nullptr;
  QWidget* pages_[5] = {};
  QWidget* current_ = nullptr;
};

}  // namespace chengling
