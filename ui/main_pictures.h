// The main window's small pictures, drawn with QPainter: the Start and Stop
// button pictures, the menu pictures of ImageList1 and the program's icon
// (the same design as resources/corvane.svg, which is what gets installed).
#pragma once

#include <QIcon>
#include <QImage>
#include <QPixmap>

#include <vector>

namespace corvane::ui {

// Pictures of ImageList1, by index: 0 search glass, 1 exit, 2 save,
// 3 open, 4 help contents, 5 homepage, 6 about.
enum MenuPictureIndex {
    kSearchPicture = 0,
    kExitPicture = 1,
    kSavePicture = 2,
    kOpenPicture = 3,
    kContentsPicture = 4,
    kHomepagePicture = 5,
    kAboutPicture = 6,
    kMenuPictureCount = 7,
};

// Size of the menu pictures, and of the two button pictures.
inline constexpr int kMenuPictureSize = 16;
inline constexpr int kButtonPictureSize = 20;

// One picture of ImageList1, kMenuPictureSize square.
QPixmap MenuPicture(int index);
// All of ImageList1 as icons, in index order.
std::vector<QIcon> MenuPictures();

QPixmap StartPicture();  // a green "go" arrow
QPixmap StopPicture();   // a red stop sign

// The program's icon at the given size (square).
QImage ProgramIconImage(int size);
QIcon ProgramIcon();

}  // namespace corvane::ui
