#pragma once
// The shell's pictures, drawn in code: five 24×24 tab icons, the 64×64 home-page picture and the
// 195×64 banner.

#include <QPixmap>

namespace chengling {

// Tab `index` (0 to 4): address arrow, table grid, folders, character conversion, split sheet.
QPixmap tabIconPixmap(int index);
QPixmap homePicture();
QPixmap bannerPicture();

}  // namespace chengling
