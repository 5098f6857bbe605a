// One running copy per desktop session, tested with the real launcher on a private X server.

#include "app/toolcatalog.h"
#include "common/layout.h"
#include "xsession.h"

#include <QElapsedTimer>
#include <csignal>
#include <memory>
#include <xcb/xcb.h>

using namespace Qt::StringLiterals;
using namespace corvane;
using namespace corvane::test;

namespace {

const QString WindowClass = QStringLiteral("CorvaneProfessional");

QString launcherPath()
{
    return qEnvironmentVariable("CORVANE_TEST_PROGRAM_DIR") + QStringLiteral("/corvane");
}

std::unique_ptr<QProcess> start(const QProcessEnvironment& environment,
                                const QStringList& arguments = {})
{
    auto process = std::make_unique<QProcess>();
    process->setProcessEnvironment(environment);
    process->start(launcherPath(), arguments);
    return process;
}

std::unique_ptr<QProcess> start(const XSession& session, const QStringList& arguments = {})
{
    return start(session.environment(), arguments);
}

// What reaches the root window of an X display: the startup notification messages, put
// together from their parts of 20 bytes, and the times in the activation requests.
class RootMessages
{
public:
    explicit RootMessages(const QString& display)
        : m_x(xcb_connect(qPrintable(display), nullptr))
    {
        const uint32_t mask = XCB_EVENT_MASK_PROPERTY_CHANGE | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
        const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(m_x)).data->root;
        xcb_change_window_attributes(m_x, root, XCB_CW_EVENT_MASK, &mask);
        for (const char* name :
             {"_NET_STARTUP_INFO_BEGIN", "_NET_STARTUP_INFO", "_NET_ACTIVE_WINDOW"}) {
            xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(
                m_x, xcb_intern_atom(m_x, false, qstrlen(name), name), nullptr);
            m_atoms << (reply ? reply->atom : 0); // each a round trip: selected from here on
            std::free(reply);
        }
    }
    ~RootMessages() { xcb_disconnect(m_x); }

    QByteArrayList startup;
    QList<uint32_t> activationTimes;

    void read()
    {
        while (xcb_generic_event_t* event = xcb_poll_for_event(m_x)) {
            const auto* message = reinterpret_cast<xcb_client_message_event_t*>(event);
            const auto* text = reinterpret_cast<const char*>(message->data.data8);
            const bool isMessage = (event->response_type & 0x7F) == XCB_CLIENT_MESSAGE;
            if (isMessage && message->type == m_atoms[2])
                activationTimes << message->data.data32[1];
            if (isMessage && (message->type == m_atoms[0] || message->type == m_atoms[1])) {
                m_part = (message->type == m_atoms[0] ? QByteArray() : m_part) +
                         QByteArray(text, qstrnlen(text, 20));
                if (qstrnlen(text, 20) < 20)
                    startup << m_part;
            }
            std::free(event);
        }
    }

private:
    xcb_connection_t* m_x;
    QList<xcb_atom_t> m_atoms; // the startup message's first part, its others, activation
    QByteArray m_part;
};

} // namespace

class TestSingleCopy : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void secondStartHandsOver();
    void minimisedWindowIsRestored();
    void staleSocketAfterKill();
    void simultaneousStartsGiveOneWindow();
    void stoppedCopyIsReported();
    void hungTeardownGivesTheClaimUp();
    void displayGoneGivesTheClaimUp();
    void noDisplay_data();
    void noDisplay();
};

void TestSingleCopy::secondStartHandsOver()
{
    XSession session(false);
    QVERIFY(session.isRunning());
    // Qt's own options are not read: "-reverse" must not mirror the window.
    QProcessEnvironment environment = session.environment();
    environment.insert(u"XDG_ACTIVATION_TOKEN"_s, u"first-start"_s);
    auto first = start(environment, {QStringLiteral("-reverse"), QStringLiteral("--anything")});
    const QString window = session.waitForWindow(WindowClass);
    QVERIFY(!window.isEmpty());
    QVERIFY(
        session.property(window, QStringLiteral("WM_CLASS")).contains(u"\"CorvaneProfessional\""));
    QVERIFY(
        session.property(window, QStringLiteral("WM_NAME")).contains(u"\"Corvane Professional\""));

    // Started from a desktop menu, which shows the start as busy until its startup sequence
    // ends: the running copy ends it and asks for the focus with the time of the user's click.
    // The second start spells the display another way.
    RootMessages root(environment.value(u"DISPLAY"_s));
    environment = session.environment();
    environment.insert(u"DISPLAY"_s, u"unix" + environment.value(u"DISPLAY"_s) + u".0");
    environment.insert(u"DESKTOP_STARTUP_ID"_s, u"menu-7_TIME4242"_s);
    auto second = start(environment);
    QVERIFY(second->waitForFinished(5000));
    QCOMPARE(second->exitStatus(), QProcess::NormalExit);
    QCOMPARE(second->exitCode(), 0);
    QCOMPARE(session.windows(WindowClass).size(), 1);
    QCOMPARE(first->state(), QProcess::Running);
    QTRY_VERIFY((root.read(), root.startup.contains(R"(remove: ID="menu-7_TIME4242")")));
    QVERIFY(root.activationTimes.contains(4242));

    // Neither start's token reaches a tool started afterwards (here by the first tool's button).
    const QString height = session.xdotool({u"getwindowgeometry"_s, u"--shell"_s, window})
                               .section(u"HEIGHT="_s, 1)
                               .section(u'\n', 0, 0);
    const int top = height.toInt() - layout::ClientHeight + layout::RowBorder;
    session.xdotool({u"mousemove"_s, u"--window"_s, window,
                     QString::number(layout::buttonLeft(1) + 20), QString::number(top + 20),
                     u"click"_s, u"1"_s});
    QString tool;
    QTRY_VERIFY_WITH_TIMEOUT(!(tool = session.xdotool({u"search"_s, u"--onlyvisible"_s, u"--name"_s,
                                                       u"^files_writer.exe$"_s, u"getwindowpid"_s}))
                                  .isEmpty(),
                             15000);
    QFile variables(u"/proc/" + tool + u"/environ");
    QVERIFY(variables.open(QIODevice::ReadOnly));
    const QByteArray names = QByteArray(1, 0) + variables.readAll();
    ::kill(tool.toInt(), SIGTERM);
    QVERIFY(names.contains(QByteArray("\0DISPLAY=", 9)));
    QVERIFY(!names.contains(QByteArray("\0DESKTOP_STARTUP_ID=", 20)));
    QVERIFY(!names.contains(QByteArray("\0XDG_ACTIVATION_TOKEN=", 22)));

    first->terminate();
    QVERIFY(first->waitForFinished(5000));
    QCOMPARE(first->exitCode(), 0);
    // A copy that ends takes its socket and its lock along.
    const QDir runtime(session.environment().value(QStringLiteral("XDG_RUNTIME_DIR")));
    QCOMPARE(runtime.entryList({WindowClass + u'*'}, QDir::AllEntries | QDir::System),
             QStringList());
}

void TestSingleCopy::minimisedWindowIsRestored()
{
    XSession session(true);
    QVERIFY(session.isRunning());
    auto first = start(session);
    const QString window = session.waitForWindow(WindowClass);
    QVERIFY(!window.isEmpty());

    session.run(QStringLiteral("xdotool"),
                {QStringLiteral("windowminimize"), QStringLiteral("--sync"), window});
    QTRY_VERIFY(session.property(window, QStringLiteral("_NET_WM_STATE")).contains(u"HIDDEN"));

    auto second = start(session);
    QVERIFY(second->waitForFinished(5000));
    QCOMPARE(second->exitCode(), 0);
    QTRY_VERIFY(!session.property(window, QStringLiteral("_NET_WM_STATE")).contains(u"HIDDEN"));
    QTRY_COMPARE(session.activeWindow(), QString::number(window.toULongLong()));

    first->terminate();
    first->waitForFinished(5000);
}

void TestSingleCopy::staleSocketAfterKill()
{
    XSession session(false);
    QVERIFY(session.isRunning());
    auto first = start(session);
    QVERIFY(!session.waitForWindow(WindowClass).isEmpty());
    first->kill(); // SIGKILL: the lock file and the socket stay behind
    first->waitForFinished(5000);
    QTRY_VERIFY(session.windows(WindowClass).isEmpty());

    auto next = start(session);
    QVERIFY2(!session.waitForWindow(WindowClass).isEmpty(), "the next start must show its window");
    QCOMPARE(next->state(), QProcess::Running);
    next->terminate();
    next->waitForFinished(5000);
}

void TestSingleCopy::simultaneousStartsGiveOneWindow()
{
    XSession session(false);
    QVERIFY(session.isRunning());
    std::vector<std::unique_ptr<QProcess>> copies;
    for (int i = 0; i < 8; ++i)
        copies.push_back(start(session));
    QVERIFY(!session.waitForWindow(WindowClass).isEmpty());

    int running = 0;
    for (auto& copy : copies) {
        if (copy->state() != QProcess::NotRunning && !copy->waitForFinished(8000)) {
            ++running;
            continue;
        }
        QCOMPARE(copy->exitStatus(), QProcess::NormalExit);
        QCOMPARE(copy->exitCode(), 0);
    }
    QCOMPARE(running, 1);
    QTest::qWait(300);
    QCOMPARE(session.windows(WindowClass).size(), 1);
    for (auto& copy : copies)
        copy->terminate(), copy->waitForFinished(5000);
}

void TestSingleCopy::stoppedCopyIsReported()
{
    XSession session(true);
    QVERIFY(session.isRunning());
    auto first = start(session);
    QVERIFY(!session.waitForWindow(WindowClass).isEmpty());
    ::kill(pid_t(first->processId()), SIGSTOP);

    // Once its time is up, the start says why it shows no window and ends when that is read.
    auto second = start(session);
    const QStringList search{u"search"_s, u"--onlyvisible"_s,
                             u"--pid"_s,  QString::number(second->processId()),
                             u"--name"_s, u"^Corvane$"_s};
    QString box;
    QTRY_VERIFY_WITH_TIMEOUT(!(box = session.xdotool(search)).isEmpty(), 15000);
    QVERIFY(second->readAllStandardError().contains("is running but not responding"));
    session.xdotool({u"windowactivate"_s, u"--sync"_s, box, u"key"_s, u"Return"_s});
    QVERIFY(second->waitForFinished(5000));
    QCOMPARE(second->exitCode(), 1);

    ::kill(pid_t(first->processId()), SIGCONT);
    first->terminate();
    QVERIFY(first->waitForFinished(5000));
}

void TestSingleCopy::hungTeardownGivesTheClaimUp()
{
    XSession session(false);
    QVERIFY(session.isRunning());
    QProcessEnvironment environment = session.environment();
    environment.insert(u"LD_PRELOAD"_s, QStringLiteral(CORVANE_HANG_ON_EXIT));
    environment.insert(u"ASAN_OPTIONS"_s,
                       environment.value(u"ASAN_OPTIONS"_s) + u":verify_asan_link_order=0"_s);
    auto first = start(environment);
    QVERIFY(!session.waitForWindow(WindowClass).isEmpty());
    first->terminate();

    // The window closes and the claim goes with it, while the process still hangs in the
    // toolkit's teardown; that ends within its bound.
    const QDir runtime(environment.value(u"XDG_RUNTIME_DIR"_s));
    QTRY_COMPARE(runtime.entryList({WindowClass + u'*'}, QDir::AllEntries | QDir::System),
                 QStringList());
    QCOMPARE(first->state(), QProcess::Running);
    QVERIFY(first->waitForFinished(15000));
    QCOMPARE(first->exitStatus(), QProcess::NormalExit);
    QCOMPARE(first->exitCode(), 0);
}

void TestSingleCopy::displayGoneGivesTheClaimUp()
{
    // The X server ends under the running copy, which Qt then ends at once, leaks and all.
    auto session = std::make_unique<XSession>(false);
    QVERIFY(session->isRunning());
    const QTemporaryDir runtime;
    QProcessEnvironment environment = session->environment();
    environment.insert(u"XDG_RUNTIME_DIR"_s, runtime.path());
    environment.insert(u"ASAN_OPTIONS"_s, u"detect_leaks=0"_s);
    auto first = start(environment);
    QVERIFY(!session->waitForWindow(WindowClass).isEmpty());
    session.reset();
    QVERIFY(first->waitForFinished(10000));
    QCOMPARE(first->exitCode(), 1);
    QVERIFY(QDir(runtime.path()).isEmpty(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot));
}

void TestSingleCopy::noDisplay_data()
{
    QTest::addColumn<QString>("display");
    QTest::newRow("none named") << QString();
    QTest::newRow("none there") << u":65000"_s;
}

void TestSingleCopy::noDisplay()
{
    QFETCH(QString, display);
    const QTemporaryDir runtime;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const QString& name : {u"WAYLAND_DISPLAY"_s, u"WAYLAND_SOCKET"_s, u"QT_QPA_PLATFORM"_s})
        environment.remove(name);
    environment.insert(u"DISPLAY"_s, display);
    environment.insert(u"XDG_RUNTIME_DIR"_s, runtime.path());
    auto launcher = start(environment);
    QVERIFY(launcher->waitForFinished(10000));
    QCOMPARE(launcher->exitStatus(), QProcess::NormalExit);
    QCOMPARE(launcher->exitCode(), 1);
    // One line of ours says it, after whatever Qt had to say about the display it tried.
    const QByteArrayList lines = launcher->readAllStandardError().trimmed().split('\n');
    QVERIFY(lines.last().startsWith("corvane: ") && lines.last().contains("DISPLAY"));
    QCOMPARE(lines.size() == 1, display.isEmpty());
    QCOMPARE(QDir(runtime.path()).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot),
             QStringList());
}

QTEST_GUILESS_MAIN(TestSingleCopy)
#include "test_singlecopy.moc"
