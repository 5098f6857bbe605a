#pragma once

// The program's icon, which every window shows in its title bar, task bar entry and window
// switcher. Its eight pictures take a few milliseconds to decode, so they are decoded on a
// thread of their own while the window is built, and handed to the windows once the main
// window is on its way to the screen.

#include <QIcon>
#include <QImage>
#include <QList>
#include <future>

namespace corvane {

class ApplicationIcon
{
public:
    /// Starts decoding the pictures installed for the desktop's icon theme under the
    /// program's prefix (the program folder is lib/corvane/ there), which the menu entry shows
    /// too, or, where one is not installed, the same picture built into the program.
    explicit ApplicationIcon(const QString& programFolder);
    /// Waits for the decoding, if it still runs.
    ~ApplicationIcon();
    ApplicationIcon(const ApplicationIcon&) = delete;
    ApplicationIcon& operator=(const ApplicationIcon&) = delete;

    /// The icon. Waits for the decoding. Main thread, once.
    QIcon icon();

private:
    std::future<QList<QImage>> m_decoding;
};

} // namespace corvane
