#pragma once
// The shell's pictures, drawn in code: five 24×24 tab icons, the 64×64 home-page picture (also the
// program's icon) and the 195×64 banner.

#include <QPixmap>

class QPainter;

namespace chengling {

// Tab `index` (0 to 4): address arrow, table grid, folders, character conversion, split sheet.
QPixmap tabIconPixmap(int index);
QPixmap homePicture();
// The program's icon on 64×64 units of `painter`, which may be scaled to any size or be a vector
// device: the window, the icon theme's PNG sizes and its SVG all come from this one drawing.
void paintProgramIcon(QPainter& painter);
QPixmap bannerPicture();

}  // namespace chengling
