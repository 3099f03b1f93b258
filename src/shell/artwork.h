#pragma once
// The shell's pictures, drawn in code: the 24×24 tab icons of the tools, the 64×64 home-page picture
// (also the program's icon) and the 195×64 banner.

#include <QPixmap>

class QPainter;

namespace chengling {

// The tab icon of each tool: an address arrow, a table grid, folders, a character conversion, a
// split sheet.
enum class ToolIcon { Redirect, CsvTable, Classify, Transcode, SplitMerge };
QPixmap toolIcon(ToolIcon tool);
QPixmap homePicture();
// The program's icon on 64×64 units of `painter`, which may be scaled to any size or be a vector
// device: the window, the icon theme's PNG sizes and its SVG all come from this one drawing.
void paintProgramIcon(QPainter& painter);
QPixmap bannerPicture();

}  // namespace chengling
