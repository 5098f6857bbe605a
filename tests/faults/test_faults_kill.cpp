// A settings write killed (SIGKILL) at random moments, many times over: corvane.ini is always
// one of the contents the writer meant, whole, never empty or cut. What a kill can leave is
// the writer's own temporary file, one at the most per kill; how many there are is reported,
// and the next write that goes through removes them all.

#include "platform/platform.h"
#include "testfiles.h"

#include <QCoreApplication>
#include <QDir>
#include <QProcess>
#include <QRandomGenerator>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <thread>

namespace {

const QByteArray Head = "; kept by hand\r\n[Window]\r\nLeft=10\r\n\r\n[Corvane]\r\n";
const QByteArray Tail = "[Later]\r\nz=\"q\"\r\n";

QByteArray contents(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

} // namespace

class TestFaultsKill : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void killedWritesLeaveWholeFiles_data();
    void killedWritesLeaveWholeFiles();
};

void TestFaultsKill::killedWritesLeaveWholeFiles_data()
{
    QTest::addColumn<QString>("mode");
    QTest::addColumn<QList<QByteArray>>("whole"); // every content a kill may leave

    const QByteArray longValue(300, '7');
    QTest::newRow("profile writer")
        << QStringLiteral("profile")
        << QList<QByteArray>{Head + "AutoUpdate=" + longValue + "\r\nAutoClose=1\r\n" + Tail,
                             Head + "AutoUpdate=0\r\nAutoClose=1\r\n" + Tail};
    // The store writes one key after the other: between them the file is whole as well.
    QList<QByteArray> both;
    for (const char* update : {"0", "1"}) {
        for (const char* close : {"0", "1"})
            both << Head + "AutoUpdate=" + update + "\r\nAutoClose=" + close + "\r\n" + Tail;
    }
    QTest::newRow("settings store") << QStringLiteral("store") << both;
}

void TestFaultsKill::killedWritesLeaveWholeFiles()
{
    QFETCH(QString, mode);
    QFETCH(QList<QByteArray>, whole);
    QTemporaryDir folder;
    const QString file = folder.filePath(QStringLiteral("corvane.ini"));
    QVERIFY(corvane::test::writeFile(file, whole.last()));
    const QString helper =
        QCoreApplication::applicationDirPath() + QStringLiteral("/corvane_settingswriter");

    const quint32 seed = QRandomGenerator::global()->generate();
    qInfo("seed %u", seed);
    QRandomGenerator random(seed);
    constexpr int Kills = 100;
    QSet<int> seen; // which contents the kills left
    for (int kill = 0; kill < Kills; ++kill) {
        QProcess writer;
        writer.start(helper, {mode, folder.path()});
        QVERIFY(writer.waitForReadyRead(10000));
        QCOMPARE(writer.readLine(), QByteArray("ready\n"));
        // Anywhere from at once to a good number of writes later.
        std::this_thread::sleep_for(std::chrono::microseconds(random.bounded(20000)));
        ::kill(static_cast<pid_t>(writer.processId()), SIGKILL);
        QVERIFY(writer.waitForFinished(10000));
        QCOMPARE(writer.exitStatus(), QProcess::CrashExit);

        const QByteArray now = contents(file);
        const qsizetype which = whole.indexOf(now);
        QVERIFY2(which >= 0, qPrintable(QStringLiteral("kill %1 left %2 bytes: %3")
                                            .arg(kill)
                                            .arg(now.size())
                                            .arg(QString::fromLatin1(now.left(200)))));
        seen.insert(static_cast<int>(which));
    }
    // Kills landed at different points of the alternation.
    QVERIFY(seen.size() >= 2);

    // Besides the file, only the writer's temporary files (".corvane.ini." and a random part)
    // can be left, by kills between making one and renaming it into place.
    const QStringList all =
        QDir(folder.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    QStringList left = all;
    left.removeOne(QStringLiteral("corvane.ini"));
    QCOMPARE(left.size(), all.size() - 1);
    for (const QString& name : std::as_const(left))
        QVERIFY2(name.startsWith(QStringLiteral(".corvane.ini.")), qPrintable(name));
    QVERIFY(left.size() <= Kills);
    qInfo("%lld temporary files left by %d kills", static_cast<long long>(left.size()), Kills);

    // None of those writers runs any more, so the next write clears their files away.
    QVERIFY(corvane::platform::writeProfileString(
        file, QStringLiteral("Corvane"), QStringLiteral("AutoUpdate"), QStringLiteral("2")));
    QCOMPARE(QDir(folder.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
             QStringList{QStringLiteral("corvane.ini")});
}

QTEST_GUILESS_MAIN(TestFaultsKill)
#include "test_faults_kill.moc"
