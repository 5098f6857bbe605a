#include "app/appicon.h"

#include "platform/platform.h"

#include <QGuiApplication>
#include <QPixmap>

namespace corvane {

ApplicationIcon::ApplicationIcon(const QString& programFolder)
{
    // The theme lookup would find the installed pictures as well, but it reads the theme's
    // folders first, which costs more than the decoding.
    const QString installed = programFolder +
                              QStringLiteral("../../share/icons/hicolor/%1x%1/apps/") +
                              QGuiApplication::desktopFileName() + QStringLiteral(".png");
    m_decoding = std::async(std::launch::async, [installed] {
        // QImage, unlike QPixmap, may be made on any thread.
        QList<QImage> pictures;
        for (int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
            const QString file = installed.arg(size);
            QImage picture(platform::isRegularFile(file)
                               ? file
                               : QStringLiteral(":/icons/app_%1.png").arg(size));
            if (!picture.isNull())
                pictures << picture;
        }
        return pictures;
    });
}

ApplicationIcon::~ApplicationIcon()
{
    if (m_decoding.valid())
        m_decoding.wait();
}

QIcon ApplicationIcon::icon()
{
    QIcon icon;
    const QList<QImage> pictures = m_decoding.get();
    for (const QImage& picture : pictures)
        icon.addPixmap(QPixmap::fromImage(picture));
    return icon;
}

} // namespace corvane
