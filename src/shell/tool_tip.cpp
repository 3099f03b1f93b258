#include "shell/tool_tip.h"

#include <QEvent>
#include <QGuiApplication>
#include <QHelpEvent>
#include <QLabel>
#include <QScreen>
#include <QWidget>

using namespace Qt::Literals::StringLiterals;

namespace chengling {
namespace {
constexpr int kMaxTipWidth = 1024;
constexpr int kPointerGap = 20;
}  // namespace

ToolTip::ToolTip(QObject* parent) : QObject(parent) {}

ToolTip::~ToolTip() {
  for (auto it = tools_.cbegin(); it != tools_.cend(); ++it) it.key()->removeEventFilter(this);
  delete window_.data();
}

QWidget* ToolTip::Create(bool limitWidth, bool balloon) {
  if (window_) return window_;
  auto* label = new QLabel;
  label->setObjectName(u"toolTipWindow"_s);
  label->setWindowFlags(Qt::ToolTip | Qt::WindowStaysOnTopHint | Qt::FramelessWindowHint);
  label->setAttribute(Qt::WA_ShowWithoutActivating);
  label->setWordWrap(limitWidth);
  label->setTextFormat(Qt::PlainText);
  label->setMargin(4);
  if (limitWidth) label->setMaximumWidth(kMaxTipWidth);
  label->setStyleSheet(balloon ? u"QLabel { background: #ffffe1; border: 1px solid #767676; border-radius: 6px; }"_s
                               : u"QLabel { background: #ffffe1; border: 1px solid #767676; }"_s);
  window_ = label;
  return window_;
}

QWidget* ToolTip::window() const { return window_; }

void ToolTip::AddTool(QWidget* host, const QString& text, bool centred) {
  if (!window_ || !host) return;
  if (!tools_.contains(host)) {
    host->installEventFilter(this);
    connect(host, &QObject::destroyed, this, [this, host] { tools_.remove(host); });
  }
  tools_[host] = Tool{text, centred};
}

void ToolTip::RemoveTool(QWidget* host) {
  if (!tools_.remove(host)) return;
  host->removeEventFilter(this);
  disconnect(host, &QObject::destroyed, this, nullptr);
  hide();
}

QString ToolTip::shownText() const { return window_ && window_->isVisible() ? window_->text() : QString(); }

bool ToolTip::eventFilter(QObject* watched, QEvent* event) {
  auto* host = static_cast<QWidget*>(watched);
  const auto found = tools_.constFind(host);
  if (found == tools_.cend()) return false;
  switch (event->type()) {
    case QEvent::ToolTip:
      showFor(host, found.value(), static_cast<QHelpEvent*>(event)->globalPos());
      return true;
    case QEvent::Leave:
    case QEvent::Hide:
    case QEvent::MouseButtonPress:
    case QEvent::Wheel:
      hide();
      break;
    default:
      break;
  }
  return false;
}

void ToolTip::showFor(QWidget* host, const Tool& tool, const QPoint& globalPos) {
  if (!window_ || tool.text.isEmpty()) return;
  window_->setText(tool.text);
  window_->adjustSize();
  QPoint at = tool.centred ? QPoint(globalPos.x() - window_->width() / 2, globalPos.y() + kPointerGap)
                           : QPoint(globalPos.x() + 2, globalPos.y() + kPointerGap);
  if (const QScreen* screen = host->screen()) {
    const QRect area = screen->availableGeometry();
    at.setX(qBound(area.left(), at.x(), qMax(area.left(), area.right() - window_->width())));
    if (at.y() + window_->height() > area.bottom()) at.setY(globalPos.y() - kPointerGap - window_->height());
  }
  window_->move(at);
  window_->show();
  window_->raise();
}

void ToolTip::hide() {
  if (window_) window_->hide();
}

}  // namespace chengling
