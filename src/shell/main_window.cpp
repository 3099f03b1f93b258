#include "shell/main_window.h"

#include <QLabel>
#include <QTabBar>

using namespace Qt::Literals::StringLiterals;

namespace chengling {
namespace {
constexpr int kTabTop = 90;
constexpr int kPageTop = kTabTop + 36;
}  // namespace

QStringList MainWindow::tabCaptions() {
  return {u" 跳转地址获取 "_s, u" Csv数据排序 "_s, u" 文件批量归类 "_s, u" 文件批量转码 "_s,
          u" 文件分割合并 "_s};
}

MainWindow::MainWindow(QWidget* parent) : QWidget(parent) {
  setWindowTitle(u"岚舟·澄岭工具箱 v1.0.0.0 - 可以拖入文件列表"_s);
  setGeometry(50, 50, 972, 654);

  tabs_ = new QTabBar(this);
  tabs_->setObjectName(u"选择夹"_s);
  for (const QString& caption : tabCaptions()) tabs_->addTab(caption);
  tabs_->setGeometry(2, kTabTop, 5096, 37);
  for (int i = 0; i < 5; ++i) {
    auto* page = new QLabel(this);
    page->setAlignment(Qt::AlignCenter);
    page->hide();
    pages_[i] = page;
  }
  connect(tabs_, &QTabBar::currentChanged, this, [this](int index) { showPage(index); });
  showPage(0);
}

void MainWindow::showPage(int index) {
  if (index < 0 || index >= 5) return;
  if (current_) current_->hide();
  current_ = pages_[index];
  placePage();
  current_->show();
}

void MainWindow::placePage() {
  if (current_) current_->setGeometry(0, kPageTop, width(), height() - kPageTop);
}

void MainWindow::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  placePage();
}

}  // namespace chengling
