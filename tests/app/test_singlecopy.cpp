// One running copy per desktop session, tested with the real launcher on a private X server.

#include "xsession.h"

#include <QElapsedTimer>
#include <csignal>

using namespace corvane::test;

namespace {

const QString WindowClass = QStringLiteral("CorvaneProfessional");

QString launcherPath()
{
    return qEnvironmentVariable("CORVANE_TEST_PROGRAM_DIR") + QStringLiteral("/corvane");
}

std::unique_ptr<QProcess> start(const XSession& session, const QStringList& arguments = {})
{
    auto process = std::make_unique<QProcess>();
    process->setProcessEnvironment(session.environment());
    process->start(launcherPath(), arguments);
    return process;
}

} // namespace

class TestSingleCopy : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void secondStartHandsOver();
    void minimisedWindowIsRestored();
    void staleSocketAfterKill();
    void simultaneousStartsGiveOneWindow();
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

    auto second = start(session);
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

QTEST_GUILESS_MAIN(TestSingleCopy)
#include "test_singlecopy.moc"
