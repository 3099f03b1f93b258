#include "shell/alternative_matcher.h"

#include <QAbstractButton>
#include <QEvent>
#include <QMouseEvent>

#include <utility>

#include "platform/keyboard.h"

namespace chengling {
namespace {

class RightPress : public QObject {
 public:
  RightPress(QAbstractButton* button, std::function<void(Matcher)> start)
      : QObject(button), button_(button), start_(std::move(start)) {
    button->installEventFilter(this);
  }

  bool eventFilter(QObject* watched, QEvent* event) override {
    if (watched != button_ || event->type() != QEvent::MouseButtonPress ||
        static_cast<QMouseEvent*>(event)->button() != Qt::RightButton) {
      return false;
    }
    if (button_->isEnabled()) start_(Matcher::Alternative);
    return true;
  }

 private:
  QAbstractButton* button_;
  std::function<void(Matcher)> start_;
};

}  // namespace

void startWithEitherMatcher(QAbstractButton* button, std::function<void(Matcher)> start) {
  QObject::connect(button, &QAbstractButton::clicked, button, [start] { start(Matcher::Standard); });
  new RightPress(button, std::move(start));
}

Matcher matcherOfKeyboard() { return ctrlHeld() ? Matcher::Alternative : Matcher::Standard; }

}  // namespace chengling
