#include "shell/main_window.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QFrame>
#include <QLabel>
#include <QMouseEvent>
#include <QTabBar>
#include <QTimer>
#include <QVBoxLayout>

#include "platform/desktop.h"
#include "platform/qt_text.h"
#include "shell/artwork.h"
#include "shell/drop_target.h"
#include "shell/settings_store.h"

using namespace Qt::Literals::StringLiterals;

namespace chengling {
namespace {

constexpr int kTabTop = 90;
// The page overlaps the last pixel row of the tab strip.
constexpr int kPageOffset = 36;
constexpr int kBannerTickMs = 20;
constexpr int kBannerMargin = 20;

const std::string& sectionName() {
  static const std::string name = fromQString(u"主界面"_s);
  return name;
}
const std::string& tabKey() {
  static const std::string key = fromQString(u"功能夹"_s);
  return key;
}

QWidget* placeholderPage(const QString& caption) {
  auto* page = new QWidget;
  page->setObjectName(u"placeholder"_s);
  auto* layout = new QVBoxLayout(page);
  auto* label = new QLabel(caption.trimmed(), page);
  label->setAlignment(Qt::AlignCenter);
  label->setEnabled(false);
  layout->addWidget(label);
  return page;
}

}  // namespace

MainWindow::MainWindow(SettingsStore& settings, std::vector<ToolTab> tabs, ShellLinks links, QWidget* parent)
    : QWidget(parent),
      settings_(settings),
      tools_(std::move(tabs)),
      links_(std::move(links)),
      pages_(tools_.size(), nullptr) {
  setWindowTitle(u"岚舟·澄岭工具箱 v1.0.0.0 - 可以拖入文件列表"_s);
  setGeometry(50, 50, 972, 654);
  buildHeader();
  buildTabs();

  // Set-up: the stored tab (an index outside the strip changes nothing), its page, the icons.
  settings_.SelectSection(sectionName());
  const double stored = settings_.ReadNumber(tabKey(), 0);
  if (stored >= 0 && stored < pageCount()) tabs_->setCurrentIndex(static_cast<int>(stored));
  connect(tabs_, &QTabBar::currentChanged, this, [this] { switchPage(); });
  switchPage();
  tabs_->setIconSize(QSize(24, 24));
  for (int i = 0; i < pageCount(); ++i) tabs_->setTabIcon(i, tools_[static_cast<size_t>(i)].icon);

  bannerTimer_ = new QTimer(this);
  bannerTimer_->setObjectName(u"时钟官网"_s);
  bannerTimer_->setInterval(kBannerTickMs);
  connect(bannerTimer_, &QTimer::timeout, this, [this] { bannerStep(); });
  bannerTimer_->start();
}

MainWindow::~MainWindow() = default;

void MainWindow::openPaths(PathList paths) { DropTarget::deliverTo(currentPage(), std::move(paths)); }

void MainWindow::buildHeader() {
  headerBand_ = new QFrame(this);
  headerBand_->setObjectName(u"图片框"_s);
  headerBand_->setGeometry(0, 0, 10320, 90);
  headerBand_->setAutoFillBackground(true);
  QPalette band = headerBand_->palette();
  band.setColor(QPalette::Window, QColor(0xf4, 0xf8, 0xfc));
  headerBand_->setPalette(band);

  auto* rule = new QFrame(this);
  rule->setObjectName(u"标签10"_s);
  rule->setFrameShape(QFrame::HLine);
  rule->setFrameShadow(QFrame::Sunken);
  rule->setGeometry(-1, 88, 10000, 2);

  homePicture_ = new QLabel(headerBand_);
  homePicture_->setObjectName(u"图片软件主页"_s);
  homePicture_->setGeometry(93, 0, 64, 64);
  homePicture_->setPixmap(homePicture());
  homePicture_->setCursor(Qt::PointingHandCursor);
  homePicture_->installEventFilter(this);

  homeLink_ = new QLabel(headerBand_);
  homeLink_->setObjectName(u"链接软件主页"_s);
  homeLink_->setGeometry(93, 64, 64, 24);
  homeLink_->setAlignment(Qt::AlignCenter);
  homeLink_->setTextFormat(Qt::RichText);
  homeLink_->setText(u"<a href=\"%1\">软件主页</a>"_s.arg(links_.homePage.toHtmlEscaped()));
  homeLink_->setToolTip(links_.homePage);
  connect(homeLink_, &QLabel::linkActivated, this, [](const QString& address) { openAddress(address); });

  banner_ = new QLabel(headerBand_);
  banner_->setObjectName(u"图片岚舟软件"_s);
  banner_->setGeometry(360, 12, 195, 64);
  banner_->setPixmap(bannerPicture());
  banner_->setCursor(Qt::PointingHandCursor);
  banner_->installEventFilter(this);
}

void MainWindow::buildTabs() {
  tabs_ = new QTabBar(this);
  tabs_->setObjectName(u"选择夹"_s);
  tabs_->setGeometry(2, kTabTop, 5096, 37);
  tabs_->setExpanding(false);
  tabs_->setDrawBase(false);
  QFont font = tabs_->font();  // the system's CJK font stands in for 宋体
  font.setPixelSize(15);
  font.setBold(false);
  tabs_->setFont(font);
  for (const ToolTab& tool : tools_) {
    const int index = tabs_->addTab(tool.caption);
    if (!tool.tip.isEmpty()) tabs_->setTabToolTip(index, tool.tip);
  }
}

QWidget* MainWindow::page(int index) const {
  return index >= 0 && index < pageCount() ? pages_[static_cast<size_t>(index)] : nullptr;
}

QRect MainWindow::pageRect() const {
  const int top = tabs_->y() + kPageOffset;
  return QRect(0, top, width(), height() - top);
}

QWidget* MainWindow::createPage(int index) {
  const ToolTab& tool = tools_[static_cast<size_t>(index)];
  QWidget* page = tool.make ? tool.make(settings_) : nullptr;
  if (!page) page = placeholderPage(tool.caption);
  return page;
}

void MainWindow::switchPage() {
  // Re-entry (a tab change while a page is being made) is handled by the loop below.
  if (switching_) return;
  switching_ = true;
  int index = tabs_->currentIndex();
  while (index >= 0 && index < pageCount()) {
    QWidget*& slot = pages_[static_cast<size_t>(index)];
    if (slot && slot == current_) break;
    // Pending painting and timers run; input waits, so no second switch starts half-way.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    if (!slot) slot = createPage(index);
    QWidget* target = slot;
    target->setParent(this);
    target->setGeometry(pageRect());
    target->show();
    if (current_ && current_ != target) current_->hide();
    current_ = target;
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    index = tabs_->currentIndex();
  }
  switching_ = false;
}

void MainWindow::placePage() {
  if (current_) current_->setGeometry(pageRect());
}

void MainWindow::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  placePage();
}

void MainWindow::closeEvent(QCloseEvent* event) {
  settings_.SelectSection(sectionName());
  settings_.WriteNumber(tabKey(), tabs_->currentIndex());
  // Every tool window hears that the program is closing while it still exists.
  for (QWidget* page : pages_) {
    if (page) page->close();
  }
  event->accept();
}

void MainWindow::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  glideBanner(!isMinimized());
}

// Also the window system's own hide, when the window is minimised or its desktop is switched away.
void MainWindow::hideEvent(QHideEvent* event) {
  QWidget::hideEvent(event);
  glideBanner(false);
}

void MainWindow::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  if (event->type() == QEvent::WindowStateChange) glideBanner(isVisible() && !isMinimized());
}

// Nobody sees a hidden or minimised banner: its timer would only cost a waking core fifty times a
// second.
void MainWindow::glideBanner(bool shown) {
  if (shown && !bannerStopped_) {
    if (!bannerTimer_->isActive()) bannerTimer_->start();
  } else {
    bannerTimer_->stop();
  }
}

bool MainWindow::bannerGliding() const { return bannerTimer_->isActive(); }

void MainWindow::bannerStep() {
  QRect place = banner_->geometry();
  if (!bannerLeftward_) {
    place.moveLeft(place.left() + 1);
    if (place.left() + place.width() > width() - kBannerMargin) bannerLeftward_ = true;
  } else {
    place.moveLeft(place.left() - 1);
    if (place.left() < homePicture_->x() + homePicture_->width() + kBannerMargin) bannerLeftward_ = false;
  }
  banner_->setGeometry(place);
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
  if (watched == banner_) {
    if (event->type() == QEvent::MouseButtonPress && static_cast<QMouseEvent*>(event)->button() == Qt::RightButton) {
      bannerStopped_ = true;
      bannerTimer_->stop();
      return true;
    }
    if (event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton && banner_->rect().contains(
            static_cast<QMouseEvent*>(event)->position().toPoint())) {
      openAddress(links_.productPage);
      return true;
    }
  } else if (watched == homePicture_ && event->type() == QEvent::MouseButtonRelease &&
             static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
    openAddress(links_.homePage);
    return true;
  }
  return QWidget::eventFilter(watched, event);
}

}  // namespace chengling
