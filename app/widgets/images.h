#pragma once
// ImageList1: the pictures of the commands and of status panel 3, drawn at
// run time. 0 settings, 1 connect, 2 disconnect, 3 request/reply mode,
// 4 unidirectional mode. User-interface thread.

#include <QIcon>
#include <QPixmap>

namespace ImageList1 {
inline constexpr int kSize = 16;
QPixmap Pixmap(int index);
QIcon Icon(int index);
}  // namespace ImageList1
