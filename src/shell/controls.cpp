#include "shell/controls.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

namespace chengling {
namespace {

// "&" marks a mnemonic in a caption; a screen reader should not read it.
QString spoken(const QString& caption) {
  QString text = caption.trimmed();
  text.remove(u'&');
  return text;
}

}  // namespace

QLineEdit* makeEdit(const QString& name, const QString& text, const QString& accessibleName) {
  auto* box = named(new QLineEdit(text), name);
  box->setAcceptDrops(false);
  box->setAccessibleName(spoken(accessibleName));
  return box;
}

QPushButton* makeButton(const QString& name, const QString& caption) {
  return named(new QPushButton(caption), name);
}

QCheckBox* makeCheck(const QString& name, const QString& caption, bool checked) {
  auto* box = named(new QCheckBox(caption), name);
  box->setChecked(checked);
  return box;
}

QRadioButton* makeRadio(const QString& name, const QString& caption, bool checked) {
  auto* button = named(new QRadioButton(caption), name);
  button->setChecked(checked);
  return button;
}

QComboBox* makeCombo(const QString& name, const QStringList& items, int current, const QString& accessibleName) {
  auto* box = named(new QComboBox, name);
  box->addItems(items);
  box->setCurrentIndex(current);
  box->setAccessibleName(spoken(accessibleName));
  return box;
}

QLabel* makeLabel(const QString& name, const QString& caption, QWidget* buddy) {
  auto* label = named(new QLabel(caption), name);
  if (buddy != nullptr) {
    label->setBuddy(buddy);
    buddy->setAccessibleName(spoken(caption));
  }
  return label;
}

}  // namespace chengling
