// The program's compiled-in images: the program icon and the bitmaps by resource number.
#pragma once

#include <QIcon>
#include <QString>

namespace vx3::gui {

// Makes ":/icon128.png" and ":/bitmap<id>.png" available. The resource file lives in the static
// GUI library, whose registration a linker may leave out; every user of those paths calls this
// first. Safe to call any number of times, from any thread.
void EnsureProgramResources();

// The resource path of bitmap `id`.
QString BitmapResourcePath(int id);

// Icon 128: the window icon, the one-click load button and the About box.
QIcon ProgramIcon();

}  // namespace vx3::gui
