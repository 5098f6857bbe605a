#include "app/appicon.h"

#include "platform/platform.h"

#include <QGuiApplication>

namespace corvane {

QIcon applicationIcon(const QString& programFolder)
{
    // The theme lookup would find the installed pictures as well, but it reads the theme's
    // folders first, which costs more than the decoding.
    const QString installed = programFolder +
                              QStringLiteral("../../share/icons/hicolor/%1x%1/apps/") +
                              QGuiApplication::desktopFileName() + QStringLiteral(".png");
    // Window lists show a window's icon at 16 to 64 pixels; where a shell shows it larger, it
    // takes the menu entry's icon. The X11 window property carries every size it is given,
    // and the 128 and 256 pixel pictures cost as much again as all the rest of the first
    // second after the window is mapped.
    QIcon icon;
    for (int size : {16, 22, 24, 32, 48, 64}) {
        const QString file = installed.arg(size);
        icon.addFile(platform::isRegularFile(file) ? file
                                                   : QStringLiteral(":/icons/app_%1.png").arg(size),
                     QSize(size, size));
    }
    return icon;
}

} // namespace corvane
