// Fifty starts of the real launcher at the same moment on one desktop session: one of them
// shows the window and keeps running, the other forty-nine hand over and exit with 0.

#include "xsession.h"

#include <QElapsedTimer>

using namespace corvane::test;

class TestFaultsSingleCopy : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void fiftyStartsGiveOneWindow();
};

void TestFaultsSingleCopy::fiftyStartsGiveOneWindow()
{
    XSession session(false);
    QVERIFY(session.isRunning());
    const QString launcher =
        qEnvironmentVariable("CORVANE_TEST_PROGRAM_DIR") + QStringLiteral("/corvane");
    constexpr int Starts = 50;
    std::vector<std::unique_ptr<QProcess>> copies;
    for (int i = 0; i < Starts; ++i) {
        auto copy = std::make_unique<QProcess>();
        copy->setProcessEnvironment(session.environment());
        copy->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        copy->start(launcher, {});
        copies.push_back(std::move(copy));
    }
    for (auto& copy : copies)
        QVERIFY(copy->waitForStarted(10000));

    // All but one end by themselves; a start waits up to five seconds for a copy that is
    // still starting, and fifty starting at once on a busy machine take a while.
    QElapsedTimer clock;
    clock.start();
    const auto running = [&copies] {
        return std::count_if(copies.begin(), copies.end(), [](const auto& copy) {
            return copy->state() != QProcess::NotRunning;
        });
    };
    while (running() > 1 && clock.elapsed() < 60000)
        QTest::qWait(50);
    QCOMPARE(running(), 1);
    for (const auto& copy : copies) {
        if (copy->state() != QProcess::NotRunning)
            continue;
        QCOMPARE(copy->exitStatus(), QProcess::NormalExit);
        QCOMPARE(copy->exitCode(), 0);
    }

    QVERIFY(!session.waitForWindow(QStringLiteral("CorvaneProfessional"), 30000).isEmpty());
    QTest::qWait(500); // a second window would have been mapped by now
    QCOMPARE(session.windows(QStringLiteral("CorvaneProfessional")).size(), 1);

    for (auto& copy : copies) {
        if (copy->state() == QProcess::NotRunning)
            continue;
        copy->terminate();
        QVERIFY(copy->waitForFinished(10000));
        QCOMPARE(copy->exitCode(), 0);
    }
}

QTEST_GUILESS_MAIN(TestFaultsSingleCopy)
#include "test_faults_singlecopy.moc"
