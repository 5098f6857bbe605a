#include "app/toolpictures.h"

#include "app/toolcatalog.h"
#include "common/layout.h"

#include <QGuiApplication>

namespace corvane {

QString toolPicturePath(QStringView icon, int size)
{
    return u":/icons/" + icon + u'_' + QString::number(size) + u".png";
}

bool screenIsScaled()
{
    return qGuiApp->devicePixelRatio() > 1.0;
}

ToolPictures::ToolPictures()
{
    // A scaled screen shows the larger drawings, which the buttons read themselves.
    if (screenIsScaled())
        return;
    m_decoding = std::async(std::launch::async, [] {
        // QImage, unlike QPixmap, may be made on any thread.
        std::map<QString, QImage, std::less<>> pictures;
        for (const ToolEntry& tool : Tools)
            pictures.emplace(tool.icon.toString(),
                             QImage(toolPicturePath(tool.icon, layout::IconSize)));
        return pictures;
    });
}

ToolPictures::~ToolPictures()
{
    if (m_decoding.valid())
        m_decoding.wait();
}

QImage ToolPictures::picture(QStringView icon)
{
    if (m_decoding.valid())
        m_pictures = m_decoding.get();
    const auto found = m_pictures.find(icon);
    return found != m_pictures.end() ? found->second : QImage();
}

} // namespace corvane
