#pragma once
// The program's pictures, drawn for it and built in as resources: the application icon (32 x 32
// and 16 x 16, 16 colours) and the splash logo (132 x 64).

#include <QIcon>
#include <QPixmap>

namespace pontrel::forms {

QIcon applicationIcon();
QPixmap iconPicture(int size);  // 32 or 16
QPixmap splashLogo();

}  // namespace pontrel::forms
