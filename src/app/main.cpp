// The launcher's entry point. It reads no command line. It exits with 0 after a run and after
// handing over to the running copy, and with 1 when it cannot run: no display, a running copy
// that does not answer, or a lock file that cannot be used.

#include "app/appicon.h"
#include "app/mainwindow.h"
#include "app/toolpictures.h"
#include "common/product.h"
#include "i18n/texts.h"
#include "i18n/translate.h"
#include "platform/gui/desktop.h"
#include "platform/platform.h"
#include "platform/singlecopy.h"
#include "settings/settingsstore.h"

#include <QApplication>
#include <QSessionManager>

#include <cstdio>
#include <cstdlib>

using namespace corvane;

namespace {

// How long the toolkit may take to tear down once the window has closed. It takes a moment;
// a teardown that hangs (a window system that no longer answers) must not keep the process.
constexpr unsigned TeardownSeconds = 5;

// Qt ends the process when it cannot reach the window system or loses it. At the start it
// says so in a fatal message: the claim is given up first and one line says why, instead of
// Qt's advice to reinstall and an abort that leaves files behind. Later, when the display goes
// away (the X server or the Wayland compositor ended), it says so in a warning and exits at
// once from whatever thread noticed, without the program's own ending (on Wayland not even the
// functions registered with atexit): the claim's files are removed on the way. While it lives,
// Qt's messages come here; there is no way to pass state to the handler.
class DisplayWatch
{
public:
    explicit DisplayWatch(platform::SingleCopy* claim)
    {
        s_claim = claim;
        s_connected = false;
        s_handler = qInstallMessageHandler(&handle);
    }
    ~DisplayWatch()
    {
        qInstallMessageHandler(s_handler);
        s_claim = nullptr;
    }
    DisplayWatch(const DisplayWatch&) = delete;
    DisplayWatch& operator=(const DisplayWatch&) = delete;

    /// The application object is up: a fatal message from now on is no failure to connect.
    void connected() { s_connected = true; }

private:
    static void handle(QtMsgType type, const QMessageLogContext& context, const QString& text)
    {
        if (type == QtFatalMsg && !s_connected) {
            if (s_claim)
                s_claim->release();
            const char* name =
                qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") ? "DISPLAY" : "WAYLAND_DISPLAY";
            std::fprintf(stderr, "corvane: cannot connect to the display %s=%s\n", name,
                         qgetenv(name).constData());
            std::_Exit(1);
        }
        // What Qt's X11 and Wayland plugins say right before they end the process.
        if (type == QtWarningMsg && s_claim &&
            (text.startsWith(u"The X11 connection broke") ||
             text.startsWith(u"The Wayland connection")))
            s_claim->releaseForExit();
        s_handler(type, context, text);
    }

    static inline platform::SingleCopy* s_claim = nullptr;
    static inline bool s_connected = false;
    static inline QtMessageHandler s_handler = nullptr;
};

// Says on stderr and in a warning box why this start cannot run, and gives its exit status.
// The only start that needs the toolkit without running the launcher.
int refuseStart(int& argc, char** argv, const TextRef& problem, const QString& detail = {})
{
    const QString line =
        problem.defaultText.toString() + (detail.isEmpty() ? QString() : u" (" + detail + u')');
    std::fprintf(stderr, "corvane: %s\n", qPrintable(line));
    const DisplayWatch watch(nullptr);
    const QApplication app(argc, argv);
    const Translator translator(platform::programFolder());
    const QString text = translator.Translate(problem);
    platform::showWarning(nullptr, MessageTitle, detail.isEmpty() ? text : text + u'\r' + detail);
    return 1;
}

// The running copy, from the application object to the end of the toolkit's teardown.
int run(int& argc, char** argv, platform::SingleCopy& singleCopy)
{
    // This start's own token has no later use; left in place, Qt would present it, stale, at
    // the next activation instead of asking the desktop for a fresh one. Qt takes
    // DESKTOP_STARTUP_ID itself when it connects to the X server.
    qunsetenv("XDG_ACTIVATION_TOKEN");
    DisplayWatch watch(&singleCopy);
    QApplication app(argc, argv);
    watch.connected();
    ToolPictures pictures; // decoded meanwhile on a thread of their own

    const Translator translator(platform::programFolder());
    const SettingsStore settings(&platform::userConfigFolder);
    Tfrm_Main frm_Main(translator, settings, nullptr, &pictures);

    singleCopy.listen([&frm_Main](const QByteArray& token) { frm_Main.bringToFront(token); });

    // The end of the desktop session asks first whether the launcher may end with it. The
    // close query answers: the settings are written, or the error box says why not and the
    // logout is called off. The window stays up: the process ends when the session does, so
    // a logout that another program calls off leaves the launcher running.
    QObject::connect(&app, &QGuiApplication::commitDataRequest, &frm_Main,
                     [&frm_Main](QSessionManager& manager) {
                         if (!frm_Main.FormCloseQuery())
                             manager.cancel();
                     });

    // A termination request from the session or the service manager closes the window.
    platform::onTerminationRequest([&frm_Main] { frm_Main.close(); });

    frm_Main.show();
    // Every window takes the icon from the application. Its pictures are decoded when it is
    // handed to the window system, which waits until the main window's first frame is on the
    // screen.
    platform::afterFirstFrame(
        &frm_Main, [] { QApplication::setWindowIcon(applicationIcon(platform::programFolder())); });
    const int status = QApplication::exec();

    // The window has closed and the settings are written: from here on a new start runs on
    // its own, even while what follows is still going on.
    singleCopy.release();
    platform::exitAfter(TeardownSeconds, status);
    return status;
}

} // namespace

int main(int argc, char* argv[])
{
    if (platform::lacksDisplay()) {
        std::fputs("corvane: no display to show the window on: none of WAYLAND_DISPLAY, "
                   "WAYLAND_SOCKET and DISPLAY is set\n",
                   stderr);
        return 1;
    }

    // Qt sees the program's name only, so options such as -style or -reverse change nothing.
    int qtArgc = argc > 0 ? 1 : 0;
    char* qtArgv[] = {argc > 0 ? argv[0] : nullptr, nullptr};
    // The class part of WM_CLASS on X11, which window managers and the desktop file match.
    QCoreApplication::setApplicationName(QStringLiteral("CorvaneProfessional"));
    QGuiApplication::setDesktopFileName(QStringLiteral("example.corvane.Professional"));

    platform::SingleCopy singleCopy(QStringLiteral("CorvaneProfessional"));
    switch (singleCopy.claimOrHandOver()) {
    case platform::SingleCopy::Outcome::HandedOver:
        return 0;
    case platform::SingleCopy::Outcome::NotResponding:
        return refuseStart(qtArgc, qtArgv, texts::NotResponding);
    case platform::SingleCopy::Outcome::Failed:
        return refuseStart(qtArgc, qtArgv, texts::NoLock, singleCopy.failure());
    case platform::SingleCopy::Outcome::Primary:
        break;
    }
    const int status = run(qtArgc, qtArgv, singleCopy);
    platform::exitAfter(0, status); // the teardown has ended in time
    return status;
}
