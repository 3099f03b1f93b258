#pragma once
// Making the controls of a tool window. Every control carries its Chinese objectName, which is also
// its settings key (see control_states.h); a control a user acts on also gets an accessible name, so
// that screen readers and outside tools find it. Buttons, check boxes and radio buttons are named by
// their caption already (Qt reads it, also when it changes); an edit box, a combo box or a list
// takes the caption that leads it (a label, a radio button, a group).

#include <QString>
#include <QStringList>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QWidget;

namespace chengling {

template <typename W>
W* named(W* widget, const QString& name) {
  widget->setObjectName(name);
  return widget;
}

// A one-line edit box. It refuses drops, so that a drop on it reaches the tool's drop target.
QLineEdit* makeEdit(const QString& name, const QString& text, const QString& accessibleName);
QPushButton* makeButton(const QString& name, const QString& caption);
QCheckBox* makeCheck(const QString& name, const QString& caption, bool checked = false);
QRadioButton* makeRadio(const QString& name, const QString& caption, bool checked = false);
QComboBox* makeCombo(const QString& name, const QStringList& items, int current, const QString& accessibleName);
// A label that leads `buddy` (may be null): the buddy takes the label's caption as accessible name.
QLabel* makeLabel(const QString& name, const QString& caption, QWidget* buddy = nullptr);

}  // namespace chengling
