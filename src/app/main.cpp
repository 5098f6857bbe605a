// The launcher's entry point. It reads no command line and always exits with code 0.

#include "app/appicon.h"
#include "app/mainwindow.h"
#include "app/product.h"
#include "app/toolpictures.h"
#include "i18n/translate.h"
#include "platform/platform.h"
#include "platform/singlecopy.h"
#include "settings/settingsstore.h"

#include <QApplication>
#include <QSessionManager>

int main(int argc, char* argv[])
{
    using namespace corvane;

    platform::SingleCopy singleCopy(QStringLiteral("CorvaneProfessional"));
    if (singleCopy.claimOrHandOver() == platform::SingleCopy::Outcome::HandedOver)
        return 0;

    // Qt sees the program's name only, so options such as -style or -reverse change nothing.
    int qtArgc = argc > 0 ? 1 : 0;
    char* qtArgv[] = {argc > 0 ? argv[0] : nullptr, nullptr};
    // The class part of WM_CLASS on X11, which window managers and the desktop file match.
    QCoreApplication::setApplicationName(QStringLiteral("CorvaneProfessional"));
    QGuiApplication::setDesktopFileName(QStringLiteral("example.corvane.Professional"));
    QApplication app(qtArgc, qtArgv);
    ToolPictures pictures; // decoded meanwhile on a thread of their own
    // So is the program's icon.
    ApplicationIcon icon(platform::programFolder());

    const Translator translator(platform::programFolder());
    const SettingsStore settings(&platform::userConfigFolder);
    Tfrm_Main frm_Main(translator, settings, nullptr, &pictures);

    singleCopy.listen([&frm_Main] { frm_Main.bringToFront(); });

    // The end of the desktop session runs the same close query as any other close.
    QObject::connect(&app, &QGuiApplication::commitDataRequest, &frm_Main,
                     [&frm_Main](QSessionManager& manager) {
                         if (!frm_Main.close())
                             manager.cancel();
                     });

    // So does a termination request from the session or the service manager.
    platform::onTerminationRequest([&frm_Main] { frm_Main.close(); });

    frm_Main.show();
    // Every window takes it from the application; handing it to the window system waits until
    // the main window is on its way to the screen.
    QMetaObject::invokeMethod(
        &app, [&icon] { QApplication::setWindowIcon(icon.icon()); }, Qt::QueuedConnection);
    QApplication::exec();
    return 0;
}
