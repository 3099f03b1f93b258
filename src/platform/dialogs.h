#pragma once
// The desktop's file dialogs. Filters come as "description|pattern|description|pattern..." with
// several patterns of one entry joined by ";" ("HTML文档(*.htm;*.html)|*.htm;*.html"). Paths come back
// as internal text; every dialog returns empty text when cancelled.

#include <QString>

#include <string>

class QWidget;

namespace chengling {

// The Qt filter string for a "|"-separated filter list: "TXT文档(*.txt)|*.txt" becomes
// "TXT文档 (*.txt)"; "*.*" means every file and becomes "*". Entries are joined by ";;".
QString qtFilterFromList(const QString& filter);

// Multi-selection open dialog; the text form of the chosen path list (paths joined by CR LF, none
// after the last).
std::string chooseFiles(QWidget* owner, const QString& title, const QString& filter,
                        const std::string& startFolder = {});

// Single-selection open dialog. An empty title or filter takes "打开文件" and "所有文件(*.*)|*.*".
std::string chooseFile(QWidget* owner, const QString& title = {}, const QString& filter = {},
                       const std::string& initialFile = {});

// Folder dialog with an edit field for typing a path; an empty title takes "请选择一个文件夹". The
// result is trimmed of spaces.
std::string chooseFolder(QWidget* owner, const QString& title = {}, const std::string& preselect = {});

// Save dialog: replaces without asking. An empty title or filter takes "保存文件" and
// "TXT文档(*.txt)|*.txt|所有文件(*.*)|*.*"; `filterIndex` counts entries from 1.
std::string ChooseSaveFile(QWidget* owner, const QString& title = {}, const QString& filter = {},
                           int filterIndex = 1);

}  // namespace chengling
