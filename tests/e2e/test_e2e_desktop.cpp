// The real launcher in a real X session with a window manager, driven from the outside with
// the mouse and keyboard: the launcher runs from a program folder whose path has blanks and
// non-ASCII letters, beside the stand-in tools, which note each start in a record file.
// Screenshots of the main window and the About window go to the artifacts folder.

#include "app/toolcatalog.h"
#include "common/layout.h"
#include "e2esupport.h"

#include <QFileInfo>
#include <QTemporaryDir>

using namespace corvane;
using namespace corvane::test;

class TestE2eDesktop : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase() { m_session.reset(); }
    void init();
    void cleanup() { m_launcher.reset(); }
    void mainWindowScreenshot();
    void windowsCarryTheProgramIcon();
    void everyButtonStartsItsTool();
    void missingToolIsReported();
    void aboutWindowFromMenu();
    void secondStartRestoresMinimisedWindow();
    void altF4EndsProgram();

private:
    /// Copies the launcher and the stand-ins that are not (or no longer) in the program folder.
    bool installProgram() const;
    /// What the stand-ins recorded: one line per start, split at tabs
    /// (argument count, argv…, working folder).
    QList<QStringList> starts() const;
    /// The centre of a tool's button, relative to the main window's client area.
    QPoint buttonCentre(const ToolEntry& tool) const;
    QString settingsPath() const { return m_session->configFolder() + u"/corvane.ini"; }
    /// Opens Help > About... from the menu bar and returns the About window, or an empty text.
    QString openAboutFromMenu();

    std::unique_ptr<XSession> m_session;
    QTemporaryDir m_root;
    QString m_programFolder; ///< ends in '/'
    QString m_workFolder;
    QString m_record;
    QProcessEnvironment m_environment;
    std::unique_ptr<Launcher> m_launcher;
    QString m_window;
    int m_menuHeight = 0;
};

void TestE2eDesktop::initTestCase()
{
    m_session = std::make_unique<XSession>(true);
    QVERIFY2(m_session->isRunning(), "Xvfb did not start");
    QVERIFY(m_root.isValid());
    const QString root = QFileInfo(m_root.path()).canonicalFilePath();
    m_programFolder = root + QStringLiteral("/Programme für Brenner/Corvane Professional é/");
    m_workFolder = root + QStringLiteral("/Arbeitsordner ö");
    m_record = root + QStringLiteral("/starts.txt");
    QVERIFY(QDir().mkpath(m_programFolder));
    QVERIFY(QDir().mkpath(m_workFolder));
    QVERIFY(installProgram());
    QCOMPARE(QDir(m_programFolder).entryList({QStringLiteral("*.exe")}, QDir::Files).size(), 12);

    m_environment = m_session->environment();
    // Inherited by the tools the launcher starts.
    m_environment.insert(QStringLiteral("CORVANE_STANDIN_RECORD"), m_record);
}

bool TestE2eDesktop::installProgram() const
{
    const QString built = builtProgramFolder() + u'/';
    QStringList files = QDir(built).entryList({QStringLiteral("*.exe")}, QDir::Files);
    files << QStringLiteral("corvane");
    for (const QString& file : std::as_const(files)) {
        if (!QFile::exists(m_programFolder + file) &&
            !QFile::copy(built + file, m_programFolder + file))
            return false;
    }
    return true;
}

void TestE2eDesktop::init()
{
    QVERIFY(installProgram());
    QFile::remove(m_record);
    QVERIFY(writeFile(settingsPath(), "[Corvane]\nAutoUpdate=0\n"));
    m_launcher = std::make_unique<Launcher>(m_programFolder + QStringLiteral("corvane"),
                                            m_environment, m_workFolder);
    QVERIFY(m_launcher->started());
    m_window = waitForTitled(*m_session, m_launcher->pid(), LauncherTitle);
    QVERIFY2(!m_window.isEmpty(), "the main window did not show");
    // The client area is 547 × 379 below the menu bar.
    const QSize size = windowSize(*m_session, m_window);
    QCOMPARE(size.width(), layout::ClientWidth);
    m_menuHeight = size.height() - layout::ClientHeight;
    QVERIFY(m_menuHeight > 10 && m_menuHeight < 60);
}

QList<QStringList> TestE2eDesktop::starts() const
{
    QList<QStringList> list;
    const QList<QByteArray> lines = readFile(m_record).split('\n');
    for (const QByteArray& line : lines) {
        if (!line.isEmpty())
            list << QString::fromUtf8(line).split(u'\t');
    }
    return list;
}

QPoint TestE2eDesktop::buttonCentre(const ToolEntry& tool) const
{
    return {layout::buttonLeft(tool.position) + layout::ButtonWidth / 2,
            m_menuHeight + static_cast<int>(tool.category) * layout::RowHeight + layout::RowBorder +
                layout::ButtonHeight / 2};
}

QString TestE2eDesktop::openAboutFromMenu()
{
    // The first menu by a click on the menu bar, then over to "Help" and down to "About...",
    // one key at a time, so that each menu is open before the next key arrives.
    clickAt(*m_session, m_window, QPoint(20, m_menuHeight / 2));
    QTest::qWait(300);
    for (const char* key : {"Right", "Right", "Down", "Return"}) {
        m_session->run(QStringLiteral("xdotool"),
                       {QStringLiteral("key"), QString::fromLatin1(key)});
        QTest::qWait(250);
    }
    return waitForTitled(*m_session, m_launcher->pid(), QStringLiteral("About"));
}

void TestE2eDesktop::mainWindowScreenshot()
{
    // The pointer away from the buttons, so that none is shown hovered.
    m_session->run(QStringLiteral("xdotool"),
                   {QStringLiteral("mousemove"), QStringLiteral("0"), QStringLiteral("0")});
    const QImage shot = saveScreenshot(*m_session, m_window, QStringLiteral("main-window.png"));
    QVERIFY(shot.width() >= layout::ClientWidth);
    QVERIFY(shot.height() >= m_menuHeight + layout::ClientHeight);
}

void TestE2eDesktop::windowsCarryTheProgramIcon()
{
    // Task bars and window switchers show this picture; without it they show a generic one.
    const QImage expected =
        QImage(QStringLiteral(":/icons/app_16.png")).convertToFormat(QImage::Format_ARGB32);
    QVERIFY(!expected.isNull());
    QTRY_COMPARE(windowIconPicture(*m_session, m_window, 16), expected);

    // A window of its own, such as the About window, carries it as well.
    const QString about = openAboutFromMenu();
    QVERIFY2(!about.isEmpty(), "no About window");
    QCOMPARE(windowIconPicture(*m_session, about, 16), expected);
    typeKeys(*m_session, about, {QStringLiteral("Escape")});
}

void TestE2eDesktop::everyButtonStartsItsTool()
{
    int count = 0;
    for (const ToolEntry& tool : Tools) {
        clickAt(*m_session, m_window, buttonCentre(tool));
        ++count;
        QTRY_COMPARE_WITH_TIMEOUT(starts().size(), count, 5000);

        QStringList expected{m_programFolder + tool.executable.toString()};
        if (!tool.argument.isEmpty())
            expected << tool.argument.toString();
        expected.prepend(QString::number(expected.size() - 1));
        expected << m_workFolder;
        QCOMPARE(starts().constLast(), expected);
    }
    QVERIFY(m_launcher->running());
}

void TestE2eDesktop::missingToolIsReported()
{
    QVERIFY(QFile::remove(m_programFolder + QStringLiteral("media_wiper.exe")));
    const ToolEntry& erase = Tools[11];
    QCOMPARE(erase.executable, QStringView(u"media_wiper.exe"));
    clickAt(*m_session, m_window, buttonCentre(erase));

    const QString box = waitForTitled(*m_session, m_launcher->pid(), QStringLiteral("Corvane"));
    QVERIFY2(!box.isEmpty(), "no message window");
    QVERIFY(m_session->property(box, QStringLiteral("WM_TRANSIENT_FOR"))
                .endsWith(u"0x" + QString::number(m_window.toULongLong(), 16)));
    typeKeys(*m_session, box, {QStringLiteral("Return")});
    QTRY_VERIFY(
        waitForTitled(*m_session, m_launcher->pid(), QStringLiteral("Corvane"), 0).isEmpty());
    QCOMPARE(windowsOf(*m_session, m_launcher->pid()), QStringList{m_window});
    QVERIFY(starts().isEmpty());
}

void TestE2eDesktop::aboutWindowFromMenu()
{
    // Where it opened: its frame in the middle of the screen, which has no panels.
    QTRY_VERIFY((frameGeometry(*m_session, m_window).center() - QRect(0, 0, 1024, 768).center())
                    .manhattanLength() <= 2);
    // Away from where it opened: the About window follows the main window.
    m_session->run(QStringLiteral("xdotool"),
                   {QStringLiteral("windowmove"), QStringLiteral("--sync"), m_window,
                    QStringLiteral("30"), QStringLiteral("40")});
    const QString about = openAboutFromMenu();
    QVERIFY2(!about.isEmpty(), "no About window");
    // Framed and placed by now; its frame is taller than its client area by the title bar.
    QTest::qWait(300);
    const QRect frame = frameGeometry(*m_session, about);
    const QPoint offset = frame.center() - frameGeometry(*m_session, m_window).center();
    QVERIFY2(frame.height() > 283 && qAbs(offset.x()) <= 2 && qAbs(offset.y()) <= 2,
             qPrintable(QStringLiteral("off centre by %1, %2").arg(offset.x()).arg(offset.y())));
    m_session->run(QStringLiteral("xdotool"),
                   {QStringLiteral("mousemove"), QStringLiteral("0"), QStringLiteral("0")});
    const QImage shot = saveScreenshot(*m_session, about, QStringLiteral("about.png"));
    QVERIFY(!shot.isNull());

    typeKeys(*m_session, about, {QStringLiteral("Escape")});
    QTRY_VERIFY(waitForTitled(*m_session, m_launcher->pid(), QStringLiteral("About"), 0).isEmpty());
    QCOMPARE(windowsOf(*m_session, m_launcher->pid()), QStringList{m_window});
}

void TestE2eDesktop::secondStartRestoresMinimisedWindow()
{
    m_session->run(QStringLiteral("xdotool"),
                   {QStringLiteral("windowminimize"), QStringLiteral("--sync"), m_window});
    QTRY_VERIFY(m_session->property(m_window, QStringLiteral("_NET_WM_STATE")).contains(u"HIDDEN"));

    Launcher second(m_programFolder + QStringLiteral("corvane"), m_environment, m_workFolder);
    QVERIFY(second.waitForFinished(5000));
    QCOMPARE(second.exitCode(), 0);
    QTRY_VERIFY(
        !m_session->property(m_window, QStringLiteral("_NET_WM_STATE")).contains(u"HIDDEN"));
    QTRY_COMPARE(m_session->activeWindow(), m_window);
    QCOMPARE(windowsOf(*m_session, m_launcher->pid()), QStringList{m_window});
}

void TestE2eDesktop::altF4EndsProgram()
{
    QVERIFY(QFile::remove(settingsPath()));
    typeKeys(*m_session, m_window, {QStringLiteral("alt+F4")});
    QVERIFY(m_launcher->waitForFinished(5000));
    QCOMPARE(m_launcher->exitCode(), 0);
    const QByteArray settings = readFile(settingsPath());
    QVERIFY2(settings.contains("[Corvane]\n") && settings.contains("AutoUpdate=0\n") &&
                 settings.contains("AutoClose=0\n"),
             settings.constData());
}

QTEST_GUILESS_MAIN(TestE2eDesktop)
#include "test_e2e_desktop.moc"
