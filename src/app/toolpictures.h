#pragma once

// The tools' pictures at their normal size. Decoding the sixteen PNG files is a good part of
// building the main window, and QImage may be decoded on any thread, so the launcher starts it
// on a thread of its own as soon as the application object exists. The decoding then overlaps
// loading the fonts, and the buttons pick the finished pictures up.

#include <QImage>
#include <QStringView>
#include <future>
#include <map>

namespace corvane {

class ToolPictures
{
public:
    /// Starts decoding the 36 px picture of every tool of the catalogue, unless the screen is
    /// scaled. Needs the application object.
    ToolPictures();
    /// Waits for the decoding, if it still runs.
    ~ToolPictures();
    ToolPictures(const ToolPictures&) = delete;
    ToolPictures& operator=(const ToolPictures&) = delete;

    /// The 36 px picture named `icon` (a catalogue picture name), or a null image when it
    /// was not decoded. Waits for the decoding the first time. Main thread.
    QImage picture(QStringView icon);

private:
    std::future<std::map<QString, QImage, std::less<>>> m_decoding;
    std::map<QString, QImage, std::less<>> m_pictures;
};

/// The resource path of a tool picture: `icon` at `size` px.
QString toolPicturePath(QStringView icon, int size);

/// Whether the screen is scaled (more than one device pixel to a pixel): the buttons then show
/// the 72 px drawings, which stay sharp, and nothing is decoded beforehand. Needs the
/// application object.
bool screenIsScaled();

} // namespace corvane
