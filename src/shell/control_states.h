#pragma once
// Saving and restoring the state of a window's controls in the settings store, under a state name
// that becomes the current section. Controls are taken in creation order (depth first, each
// widget's children in the order they were added) and recognised by the prefix of their Chinese
// objectName, which is also their key:
//
//   "按钮"    button        its tag                                      key name + ".标记"
//   "编辑框"  edit box      its text (a line, a plain text, a spin box)  key name
//   "选择框"  check box     checked (1 or 0)
//   "单选框"  radio button  checked (1 or 0)
//   "组合框"  combo box     selected index
//
// These are the kinds the tool windows have: any other control (a label, a list box, a colour
// picker) is neither saved nor restored, whatever its name.
//
// A control with an empty name or a tag containing "禁止保存" is skipped. A tag containing
// "字节集方式" keeps an edit box's text or a button's tag in a byte-value file instead. Restoring
// uses the present state as the default, so a missing or empty value leaves the control as it is.
// Multi-line text is stored with CR LF line breaks.

#include <QString>

class QWidget;

namespace chengling {

class SettingsStore;

void SaveControls(SettingsStore& store, QWidget* window, const QString& stateName);
void RestoreControls(SettingsStore& store, QWidget* window, const QString& stateName);

// What every tool window does with its state: restores its controls now (call once they exist)
// and saves them each time the window is closed.
void KeepControlStates(SettingsStore& store, QWidget* window, const QString& stateName);

}  // namespace chengling
