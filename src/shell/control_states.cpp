#include "shell/control_states.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QSpinBox>
#include <QWidget>

#include <cmath>
#include <string>

#include "foundation/internal_text.h"
#include "platform/qt_text.h"
#include "shell/control_tag.h"
#include "shell/settings_store.h"

using namespace Qt::Literals::StringLiterals;

namespace chengling {
namespace {

enum class Kind { None, Button, Edit, Check, Radio, Combo };

Kind kindOf(const QString& name) {
  struct Prefix {
    QString text;
    Kind kind;
  };
  static const Prefix kPrefixes[] = {
      {u"按钮"_s, Kind::Button}, {u"编辑框"_s, Kind::Edit},  {u"选择框"_s, Kind::Check},
      {u"单选框"_s, Kind::Radio}, {u"组合框"_s, Kind::Combo},
  };
  for (const Prefix& prefix : kPrefixes) {
    if (name.startsWith(prefix.text)) return prefix.kind;
  }
  return Kind::None;
}

// The key suffix of a button's tag, as internal text (this file's literals are UTF-8).
const std::string& tagSuffix() {
  static const std::string suffix = fromQString(u".标记"_s);
  return suffix;
}

bool tagHas(const QWidget* control, const QString& word) { return controlTag(control).contains(word); }
bool storedAsBytes(const QWidget* control) { return tagHas(control, u"字节集方式"_s); }

// The edit box's text; null for a widget that holds no text.
QString editText(const QWidget* control) {
  if (auto* line = qobject_cast<const QLineEdit*>(control)) return line->text();
  if (auto* plain = qobject_cast<const QPlainTextEdit*>(control)) return withCrLf(plain->toPlainText());
  if (auto* spin = qobject_cast<const QSpinBox*>(control)) return QString::number(spin->value());
  return {};
}

void setEditText(QWidget* control, const QString& text) {
  if (auto* line = qobject_cast<QLineEdit*>(control)) {
    line->setText(text);
  } else if (auto* plain = qobject_cast<QPlainTextEdit*>(control)) {
    plain->setPlainText(withLf(text));
  } else if (auto* spin = qobject_cast<QSpinBox*>(control)) {
    spin->setValue(static_cast<int>(textToInteger(fromQString(text))));
  }
}

// The key of a text value (keeps CR LF as text) or of a byte value (cut at its first zero byte).
void saveText(SettingsStore& store, const std::string& key, const QString& text, bool asBytes) {
  if (asBytes) {
    store.WriteBytes(key, fromQString(text));
  } else {
    store.WriteText(key, fromQString(text));
  }
}

QString restoreText(SettingsStore& store, const std::string& key, const QString& present, bool asBytes) {
  const std::string current = fromQString(present);
  if (asBytes) return toQString(cutAtNul(store.ReadBytes(key, current)));
  return toQString(store.ReadText(key, current));
}

void saveControl(SettingsStore& store, QWidget* control, Kind kind, const std::string& name) {
  switch (kind) {
    case Kind::Button:
      saveText(store, name + tagSuffix(), controlTag(control), storedAsBytes(control));
      break;
    case Kind::Edit: {
      const QString text = editText(control);
      if (!text.isNull()) saveText(store, name, text, storedAsBytes(control));
      break;
    }
    case Kind::Check:
    case Kind::Radio:
      if (auto* button = qobject_cast<QAbstractButton*>(control)) store.WriteNumber(name, button->isChecked() ? 1 : 0);
      break;
    case Kind::Combo:
      if (auto* combo = qobject_cast<QComboBox*>(control)) store.WriteNumber(name, combo->currentIndex());
      break;
    case Kind::None:
      break;
  }
}

void restoreControl(SettingsStore& store, QWidget* control, Kind kind, const std::string& name) {
  switch (kind) {
    case Kind::Button:
      setControlTag(control, restoreText(store, name + tagSuffix(), controlTag(control), storedAsBytes(control)));
      break;
    case Kind::Edit: {
      const QString present = editText(control);
      if (present.isNull()) break;
      const QString restored = restoreText(store, name, present, storedAsBytes(control));
      if (restored != present) setEditText(control, restored);
      break;
    }
    case Kind::Check:
    case Kind::Radio:
      if (auto* button = qobject_cast<QAbstractButton*>(control)) {
        button->setChecked(store.ReadNumber(name, button->isChecked() ? 1 : 0) != 0);
      }
      break;
    case Kind::Combo:
      if (auto* combo = qobject_cast<QComboBox*>(control)) {
        const double index = std::trunc(store.ReadNumber(name, combo->currentIndex()));
        // An index the list does not have leaves the selection alone.
        if (index >= 0 && index < combo->count()) combo->setCurrentIndex(static_cast<int>(index));
      }
      break;
    case Kind::None:
      break;
  }
}

// The controls to walk, with their kind, in creation order. Unlike a cooperative run, this walk
// does not let other events run between controls: it may run while the window is being torn down,
// and the whole save is one short batch under the settings lock.
template <typename Visit>
void forEachControl(QWidget* window, Visit visit) {
  for (QWidget* control : window->findChildren<QWidget*>()) {
    const QString name = control->objectName();
    if (name.isEmpty() || tagHas(control, u"禁止保存"_s)) continue;
    const Kind kind = kindOf(name);
    if (kind != Kind::None) visit(control, kind, fromQString(name));
  }
}

}  // namespace

void SaveControls(SettingsStore& store, QWidget* window, const QString& stateName) {
  store.SelectSection(fromQString(stateName));
  SettingsStore::Batch batch(store);
  forEachControl(window, [&store](QWidget* control, Kind kind, const std::string& name) {
    saveControl(store, control, kind, name);
  });
}

void RestoreControls(SettingsStore& store, QWidget* window, const QString& stateName) {
  store.SelectSection(fromQString(stateName));
  forEachControl(window, [&store](QWidget* control, Kind kind, const std::string& name) {
    restoreControl(store, control, kind, name);
  });
}

namespace {

// Saves the window's controls when a close event reaches it (before the window's own handler).
class StateKeeper : public QObject {
 public:
  StateKeeper(SettingsStore& store, QWidget* window, QString stateName)
      : QObject(window), store_(store), window_(window), stateName_(std::move(stateName)) {
    window->installEventFilter(this);
  }

  bool eventFilter(QObject* watched, QEvent* event) override {
    if (watched == window_ && event->type() == QEvent::Close) SaveControls(store_, window_, stateName_);
    return false;
  }

 private:
  SettingsStore& store_;
  QWidget* window_;
  QString stateName_;
};

}  // namespace

void KeepControlStates(SettingsStore& store, QWidget* window, const QString& stateName) {
  RestoreControls(store, window, stateName);
  new StateKeeper(store, window, stateName);
}

}  // namespace chengling
