// One running copy per desktop session, tested with the real launcher on a private X server.

#include "app/toolcatalog.h"
#include "xsession.h"

#include <QElapsedTimer>
#include <QRegularExpression>
#include <csignal>
#include <memory>
#include <xcb/xcb.h>

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

// What goes to the root window of an X display in the window manager's and the desktop's
// messages: startup notification messages, put together from their parts of 20 bytes, and the
// times of activation requests.
class RootMessages
{
public:
    explicit RootMessages(const QString& display)
        : m_connection(xcb_connect(display.toLocal8Bit().constData(), nullptr))
    {
        const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(m_connection)).data->root;
        m_begin = atom("_NET_STARTUP_INFO_BEGIN");
        m_more = atom("_NET_STARTUP_INFO");
        m_activate = atom("_NET_ACTIVE_WINDOW");
        const uint32_t mask = XCB_EVENT_MASK_PROPERTY_CHANGE | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
        xcb_change_window_attributes(m_connection, root, XCB_CW_EVENT_MASK, &mask);
        atom("sync"); // a round trip: selected from here on
    }
    ~RootMessages() { xcb_disconnect(m_connection); }

    QByteArrayList startupMessages()
    {
        read();
        return m_startup;
    }
    QList<uint32_t> activationTimes()
    {
        read();
        return m_activationTimes;
    }

private:
    xcb_atom_t atom(const char* name)
    {
        const std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> reply(
            xcb_intern_atom_reply(
                m_connection, xcb_intern_atom(m_connection, false, qstrlen(name), name), nullptr),
            &std::free);
        return reply ? reply->atom : 0;
    }

    void read()
    {
        while (xcb_generic_event_t* event = xcb_poll_for_event(m_connection)) {
            const auto* message = reinterpret_cast<xcb_client_message_event_t*>(event);
            if ((event->response_type & 0x7F) == XCB_CLIENT_MESSAGE) {
                if (message->type == m_activate)
                    m_activationTimes << message->data.data32[1];
                if (message->type == m_begin)
                    m_part.clear();
                if (message->type == m_begin || message->type == m_more) {
                    const auto* text = reinterpret_cast<const char*>(message->data.data8);
                    m_part.append(text, qstrnlen(text, 20));
                    if (qstrnlen(text, 20) < 20)
                        m_startup << std::exchange(m_part, {});
                }
            }
            std::free(event);
        }
    }

    xcb_connection_t* m_connection;
    xcb_atom_t m_begin, m_more, m_activate;
    QByteArray m_part;
    QByteArrayList m_startup;
    QList<uint32_t> m_activationTimes;
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
    void noDisplay_data();
    void noDisplay();
};

void TestSingleCopy::secondStartHandsOver()
{
    XSession session(false);
    QVERIFY(session.isRunning());
    // Qt's own options are not read: "-reverse" must not mirror the window.
    auto first = start(session, {QStringLiteral("-reverse"), QStringLiteral("--anything")});
    const QString window = session.waitForWindow(WindowClass);
    QVERIFY(!window.isEmpty());
    QVERIFY(
        session.property(window, QStringLiteral("WM_CLASS")).contains(u"\"CorvaneProfessional\""));
    QVERIFY(
        session.property(window, QStringLiteral("WM_NAME")).contains(u"\"Corvane Professional\""));

    // The same display, spelled another way.
    QProcessEnvironment environment = session.environment();
    environment.insert(QStringLiteral("DISPLAY"),
                       u"unix" + environment.value(QStringLiteral("DISPLAY")) + u".0");
    auto second = start(environment);
    QVERIFY(second->waitForFinished(5000));
    QCOMPARE(second->exitStatus(), QProcess::NormalExit);
    QCOMPARE(second->exitCode(), 0);
    QCOMPARE(session.windows(WindowClass).size(), 1);
    QCOMPARE(first->state(), QProcess::Running);

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
    QProcessEnvironment environment = session.environment();
    environment.insert(QStringLiteral("XDG_ACTIVATION_TOKEN"), QStringLiteral("first-start"));
    auto first = start(environment);
    const QString window = session.waitForWindow(WindowClass);
    QVERIFY(!window.isEmpty());

    session.run(QStringLiteral("xdotool"),
                {QStringLiteral("windowminimize"), QStringLiteral("--sync"), window});
    QTRY_VERIFY(session.property(window, QStringLiteral("_NET_WM_STATE")).contains(u"HIDDEN"));

    // Started from a desktop menu: the desktop shows the start as busy until its startup
    // sequence ends, which the running copy must do, with the time of the user's click.
    RootMessages root(environment.value(QStringLiteral("DISPLAY")));
    environment = session.environment();
    environment.insert(QStringLiteral("DESKTOP_STARTUP_ID"), QStringLiteral("menu-7_TIME4242"));
    auto second = start(environment);
    QVERIFY(second->waitForFinished(5000));
    QCOMPARE(second->exitCode(), 0);
    QTRY_VERIFY(!session.property(window, QStringLiteral("_NET_WM_STATE")).contains(u"HIDDEN"));
    QTRY_COMPARE(session.activeWindow(), QString::number(window.toULongLong()));
    QTRY_VERIFY(root.startupMessages().contains(R"(remove: ID="menu-7_TIME4242")"));
    QVERIFY(root.activationTimes().contains(4242));

    // Neither start's token reaches a tool started afterwards.
    const QString geometry =
        session.run(QStringLiteral("xdotool"),
                    {QStringLiteral("getwindowgeometry"), QStringLiteral("--shell"), window});
    const int menuHeight =
        QRegularExpression(QStringLiteral("HEIGHT=(\\d+)")).match(geometry).captured(1).toInt() -
        corvane::layout::ClientHeight;
    session.run(QStringLiteral("xdotool"),
                {QStringLiteral("mousemove"), QStringLiteral("--window"), window,
                 QString::number(corvane::layout::buttonLeft(1) + 20),
                 QString::number(menuHeight + corvane::layout::RowBorder + 20),
                 QStringLiteral("click"), QStringLiteral("1")});
    QString tool;
    QTRY_VERIFY_WITH_TIMEOUT(
        !(tool = session.run(QStringLiteral("xdotool"),
                             {QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                              QStringLiteral("--name"), QStringLiteral("^files_writer.exe$"),
                              QStringLiteral("getwindowpid")}))
             .isEmpty(),
        15000);
    QFile variablesFile(u"/proc/" + tool + u"/environ");
    QVERIFY(variablesFile.open(QIODevice::ReadOnly));
    const QByteArray variables = QByteArray(1, 0) + variablesFile.readAll();
    ::kill(tool.toInt(), SIGTERM);
    QVERIFY(variables.contains(QByteArray("\0DISPLAY=", 9)));
    QVERIFY(!variables.contains(QByteArray("\0DESKTOP_STARTUP_ID=", 20)));
    QVERIFY(!variables.contains(QByteArray("\0XDG_ACTIVATION_TOKEN=", 22)));

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
    QString box;
    QTRY_VERIFY_WITH_TIMEOUT(
        !(box = session.run(QStringLiteral("xdotool"),
                            {QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                             QStringLiteral("--pid"), QString::number(second->processId()),
                             QStringLiteral("--name"), QStringLiteral("^Corvane$")}))
             .isEmpty(),
        15000);
    QVERIFY(second->readAllStandardError().contains("is running but not responding"));
    session.run(QStringLiteral("xdotool"),
                {QStringLiteral("windowactivate"), QStringLiteral("--sync"), box});
    session.run(QStringLiteral("xdotool"), {QStringLiteral("key"), QStringLiteral("Return")});
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
    environment.insert(QStringLiteral("LD_PRELOAD"), QStringLiteral(CORVANE_HANG_ON_EXIT));
    environment.insert(QStringLiteral("ASAN_OPTIONS"),
                       environment.value(QStringLiteral("ASAN_OPTIONS")) +
                           QStringLiteral(":verify_asan_link_order=0"));
    auto first = start(environment);
    QVERIFY(!session.waitForWindow(WindowClass).isEmpty());
    first->terminate();

    // The window closes and the claim goes with it, while the process still hangs in the
    // toolkit's teardown; that ends within its bound.
    const QDir runtime(environment.value(QStringLiteral("XDG_RUNTIME_DIR")));
    QTRY_COMPARE(runtime.entryList({WindowClass + u'*'}, QDir::AllEntries | QDir::System),
                 QStringList());
    QCOMPARE(first->state(), QProcess::Running);
    QVERIFY(first->waitForFinished(15000));
    QCOMPARE(first->exitStatus(), QProcess::NormalExit);
    QCOMPARE(first->exitCode(), 0);
}

void TestSingleCopy::noDisplay_data()
{
    QTest::addColumn<QString>("display");
    QTest::newRow("none named") << QString();
    QTest::newRow("none there") << QStringLiteral(":65000");
}

void TestSingleCopy::noDisplay()
{
    QFETCH(QString, display);
    const QTemporaryDir runtime;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "WAYLAND_SOCKET", "QT_QPA_PLATFORM"})
        environment.remove(QString::fromLatin1(name));
    if (!display.isEmpty())
        environment.insert(QStringLiteral("DISPLAY"), display);
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
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
