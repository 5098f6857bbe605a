// The real launcher natively in a Wayland session: sway on its headless backend, started by
// the test, which reads sway's window tree and clicks and gets activation tokens through a
// small client of its own (waylandclient). sway refuses root: under root, as in CI, sway, the
// launcher and the tools run as the system user corvane-wayland, made with useradd if missing.
//
// Of sway 1.7 the test relies on this: a window whose smallest and largest sizes are equal
// floats and keeps its size; with focus_on_window_activation set to focus, a window activated
// with a valid xdg-activation token takes the focus. No client holds an input serial with
// which to get a token of its own while another window has the focus, so the first copy can
// only take it with the token the second start was given in XDG_ACTIVATION_TOKEN.

#include "app/toolcatalog.h"
#include "common/layout.h"
#include "e2esupport.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <optional>

#include <grp.h>
#include <pwd.h>
#include <unistd.h>

using namespace corvane;
using namespace corvane::test;

namespace {

/// The user the session runs as: the test's own, or, for root, a system user of its own.
/// False when root has none and cannot make one.
bool findUser(uid_t& uid, gid_t& gid)
{
    uid = ::geteuid();
    gid = ::getegid();
    const char name[] = "corvane-wayland";
    if (uid == 0 && !::getpwnam(name))
        QProcess::execute(QStringLiteral("useradd"),
                          QStringLiteral("--system --user-group --no-create-home --home-dir "
                                         "/nonexistent --shell /usr/sbin/nologin corvane-wayland")
                              .split(u' '));
    const passwd* entry = uid == 0 ? ::getpwnam(name) : nullptr;
    if (entry) {
        uid = entry->pw_uid;
        gid = entry->pw_gid;
    }
    return uid != 0;
}

} // namespace

class TestE2eWayland : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void windowShowsWithAppIdAndFixedSize();
    void clickStartsTool();
    void secondStartActivatesFirstCopy();
    void closeWritesSettings();
    void compositorGoneGivesTheClaimUp(); // ends the session: last

private:
    /// In the child process before exec: become the session's user.
    std::function<void()> asSessionUser() const;
    QString swaymsg(const QStringList& arguments) const;
    QJsonObject tree() const;
    /// The window of process `pid` in sway's tree, or an empty object.
    QJsonObject windowOf(const QString& pid) const;
    QString focusedPid() const;
    /// Runs waylandclient in the session; its output, or nothing when it failed.
    std::optional<QString> waylandClient(const QStringList& arguments) const;

    QTemporaryDir m_root;
    QString m_base; ///< ends in '/'
    uid_t m_uid = 0;
    gid_t m_gid = 0;
    QProcessEnvironment m_environment; ///< the session's, for its programs
    QProcess m_sway;
    QString m_ipcSocket;
    std::unique_ptr<Launcher> m_first;
    QJsonObject m_window;
    int m_menuHeight = 0;
};

std::function<void()> TestE2eWayland::asSessionUser() const
{
    if (m_uid == ::geteuid())
        return {};
    return [uid = m_uid, gid = m_gid] {
        if (::setgroups(0, nullptr) != 0 || ::setgid(gid) != 0 || ::setuid(uid) != 0)
            ::_exit(127);
    };
}

void TestE2eWayland::initTestCase()
{
    for (const char* program : {"sway", "swaymsg"}) {
        if (QStandardPaths::findExecutable(QString::fromLatin1(program)).isEmpty())
            QSKIP("sway is not installed (scripts/setup.sh installs it)");
    }
    QVERIFY2(findUser(m_uid, m_gid), "no user but root, and useradd failed");
    QVERIFY(m_root.isValid());
    m_base = QFileInfo(m_root.path()).canonicalFilePath() + u'/';
    for (const char* folder : {"program", "runtime", "config", "home", "work"})
        QVERIFY(QDir().mkpath(m_base + QString::fromLatin1(folder)));
    QVERIFY(QFile::setPermissions(m_base + u"runtime",
                                  QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    const QString built = builtProgramFolder() + u'/';
    QStringList files = QDir(built).entryList({QStringLiteral("*.exe")}, QDir::Files);
    files << QStringLiteral("corvane");
    for (const QString& file : std::as_const(files))
        QVERIFY(QFile::copy(built + file, m_base + u"program/" + file));
    QVERIFY(writeFile(m_base + u"sway.conf", "focus_on_window_activation focus\n"
                                             "xwayland disable\n"));
    QVERIFY(writeFile(m_base + u"config/corvane.ini", "[Corvane]\nAutoUpdate=0\n"));
    QCOMPARE(QProcess::execute(QStringLiteral("chown"),
                               {QStringLiteral("-R"), QStringLiteral("%1:%2").arg(m_uid).arg(m_gid),
                                m_root.path()}),
             0);

    m_environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "SWAYSOCK", "XDG_ACTIVATION_TOKEN",
                             "DESKTOP_STARTUP_ID", "CORVANE_STANDIN_RECORD"})
        m_environment.remove(QString::fromLatin1(name));
    m_environment.insert(QStringLiteral("HOME"), m_base + u"home");
    m_environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_base + u"runtime");
    m_environment.insert(QStringLiteral("XDG_CONFIG_HOME"), m_base + u"config");
    m_environment.insert(QStringLiteral("XDG_CACHE_HOME"), m_base + u"home/.cache");
    m_environment.insert(QStringLiteral("TMPDIR"), m_base + u"runtime");

    QProcessEnvironment swayEnvironment = m_environment;
    swayEnvironment.insert(QStringLiteral("WLR_BACKENDS"), QStringLiteral("headless"));
    swayEnvironment.insert(QStringLiteral("WLR_LIBINPUT_NO_DEVICES"), QStringLiteral("1"));
    swayEnvironment.insert(QStringLiteral("WLR_RENDERER"), QStringLiteral("pixman"));
    m_sway.setProcessEnvironment(swayEnvironment);
    if (const auto inChild = asSessionUser())
        m_sway.setChildProcessModifier(inChild);
    m_sway.setStandardOutputFile(m_base + u"sway.log");
    m_sway.setStandardErrorFile(m_base + u"sway.log");
    m_sway.start(QStringLiteral("sway"), {QStringLiteral("-c"), m_base + u"sway.conf"});
    QVERIFY(m_sway.waitForStarted(5000));

    // sway's command socket has a name of its making; its display is the first free one.
    m_ipcSocket =
        m_base + QStringLiteral("runtime/sway-ipc.%1.%2.sock").arg(m_uid).arg(m_sway.processId());
    QTRY_VERIFY2_WITH_TIMEOUT(!tree().isEmpty(),
                              readFile(m_base + u"sway.log").right(2000).constData(), 15000);
    const QStringList displays =
        QDir(m_base + u"runtime").entryList({QStringLiteral("wayland-?")}, QDir::System);
    QCOMPARE(displays.size(), 1);
    m_environment.insert(QStringLiteral("WAYLAND_DISPLAY"), displays.first());
    m_environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("wayland"));
    // sway draws the frames. Qt would otherwise load the EGL stack to decide on frames of its
    // own, which fails on this headless display and leaves leaks to the sanitizer build.
    m_environment.insert(QStringLiteral("QT_WAYLAND_DISABLE_WINDOWDECORATION"),
                         QStringLiteral("1"));
}

void TestE2eWayland::cleanupTestCase()
{
    m_first.reset();
    m_sway.terminate();
    if (!m_sway.waitForFinished(5000)) {
        m_sway.kill();
        m_sway.waitForFinished(5000);
    }
}

QString TestE2eWayland::swaymsg(const QStringList& arguments) const
{
    QProcess process;
    process.start(QStringLiteral("swaymsg"),
                  QStringList{QStringLiteral("-s"), m_ipcSocket} + arguments);
    process.waitForFinished(10000);
    return QString::fromUtf8(process.readAllStandardOutput());
}

QJsonObject TestE2eWayland::tree() const
{
    return QJsonDocument::fromJson(
               swaymsg({QStringLiteral("-r"), QStringLiteral("-t"), QStringLiteral("get_tree")})
                   .toUtf8())
        .object();
}

namespace {

/// The first node below `node` (itself included) for which `match` holds.
template <typename Match> QJsonObject findNode(const QJsonObject& node, Match match)
{
    if (match(node))
        return node;
    for (const char* children : {"nodes", "floating_nodes"}) {
        const QJsonArray list = node.value(QLatin1String(children)).toArray();
        for (const QJsonValue& child : list) {
            const QJsonObject found = findNode(child.toObject(), match);
            if (!found.isEmpty())
                return found;
        }
    }
    return {};
}

} // namespace

QJsonObject TestE2eWayland::windowOf(const QString& pid) const
{
    return findNode(tree(), [&pid](const QJsonObject& node) {
        return QString::number(node.value(u"pid").toInteger(-1)) == pid;
    });
}

QString TestE2eWayland::focusedPid() const
{
    const QJsonObject focused =
        findNode(tree(), [](const QJsonObject& node) { return node.value(u"focused").toBool(); });
    return QString::number(focused.value(u"pid").toInteger(-1));
}

std::optional<QString> TestE2eWayland::waylandClient(const QStringList& arguments) const
{
    QProcess process;
    process.setProcessEnvironment(m_environment);
    if (const auto inChild = asSessionUser())
        process.setChildProcessModifier(inChild);
    process.start(QStringLiteral(CORVANE_WAYLAND_CLIENT), arguments);
    if (!process.waitForFinished(10000) || process.exitCode() != 0)
        return {};
    return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
}

void TestE2eWayland::windowShowsWithAppIdAndFixedSize()
{
    QProcessEnvironment environment = m_environment;
    environment.insert(QStringLiteral("CORVANE_STANDIN_RECORD"), m_base + u"starts.txt");
    m_first = std::make_unique<Launcher>(m_base + u"program/corvane", environment, m_base + u"work",
                                         asSessionUser());
    QVERIFY(m_first->started());
    QTRY_VERIFY_WITH_TIMEOUT(!(m_window = windowOf(m_first->pid())).isEmpty(), 15000);
    QCOMPARE(m_window.value(u"app_id").toString(), QStringLiteral("example.corvane.Professional"));
    QCOMPARE(m_window.value(u"name").toString(), LauncherTitle);

    // The client area is 547 × 379 below the menu bar, and the window cannot be resized.
    const QJsonObject geometry = m_window.value(u"geometry").toObject();
    QCOMPARE(geometry.value(u"width").toInt(), layout::ClientWidth);
    m_menuHeight = geometry.value(u"height").toInt() - layout::ClientHeight;
    QVERIFY2(m_menuHeight > 10 && m_menuHeight < 60, qPrintable(QString::number(m_menuHeight)));
    QCOMPARE(m_window.value(u"type").toString(), QStringLiteral("floating_con"));
    swaymsg({u"[pid=" + m_first->pid() + u"] resize set 800 600"});
    QTest::qWait(300);
    QCOMPARE(windowOf(m_first->pid()).value(u"geometry").toObject(), geometry);
}

void TestE2eWayland::clickStartsTool()
{
    QVERIFY(!m_window.isEmpty());
    const ToolEntry& tool = Tools[0];
    const QJsonObject frame = m_window.value(u"rect").toObject();
    const QJsonObject inside = m_window.value(u"window_rect").toObject();
    const QJsonObject screen = tree().value(u"rect").toObject();
    const int x = frame.value(u"x").toInt() + inside.value(u"x").toInt() +
                  layout::buttonLeft(tool.position) + layout::ButtonWidth / 2;
    const int y = frame.value(u"y").toInt() + inside.value(u"y").toInt() + m_menuHeight +
                  static_cast<int>(tool.category) * layout::RowHeight + layout::RowBorder +
                  layout::ButtonHeight / 2;
    QVERIFY(waylandClient({QStringLiteral("click"), QString::number(x), QString::number(y),
                           QString::number(screen.value(u"width").toInt()),
                           QString::number(screen.value(u"height").toInt())}));
    // The stand-in notes "<argument count>\t<argv…>\t<working folder>".
    const QString expected = u"1\t" + m_base + u"program/" + tool.executable + u'\t' +
                             tool.argument + u'\t' + m_base + u"work\n";
    QTRY_COMPARE_WITH_TIMEOUT(QString::fromUtf8(readFile(m_base + u"starts.txt")), expected, 5000);
}

void TestE2eWayland::secondStartActivatesFirstCopy()
{
    QVERIFY(m_first);
    // Another window takes the focus: a tool, started as the desktop would.
    Launcher other(m_base + u"program/" + Tools[0].executable.toString(), m_environment,
                   m_base + u"work", asSessionUser());
    QVERIFY(other.started());
    QTRY_COMPARE_WITH_TIMEOUT(focusedPid(), other.pid(), 15000);

    const QString token = waylandClient({QStringLiteral("token")}).value_or(QString());
    QVERIFY2(!token.isEmpty(), "sway gave no activation token");
    QProcessEnvironment environment = m_environment;
    environment.insert(QStringLiteral("XDG_ACTIVATION_TOKEN"), token);
    Launcher second(m_base + u"program/corvane", environment, m_base + u"work", asSessionUser());
    QVERIFY(second.waitForFinished(10000));
    QCOMPARE(second.exitCode(), 0);
    QTRY_COMPARE_WITH_TIMEOUT(focusedPid(), m_first->pid(), 5000);
    QVERIFY(m_first->running());
}

void TestE2eWayland::closeWritesSettings()
{
    QVERIFY(m_first);
    const QString settings = m_base + u"config/corvane.ini";
    QVERIFY(QFile::remove(settings));
    swaymsg({u"[pid=" + m_first->pid() + u"] kill"});
    QVERIFY(m_first->waitForFinished(10000));
    QCOMPARE(m_first->exitCode(), 0);
    const QByteArray written = readFile(settings);
    QVERIFY2(written.contains("[Corvane]\n") && written.contains("AutoUpdate=0\n") &&
                 written.contains("AutoClose=0\n"),
             written.constData());
}

void TestE2eWayland::compositorGoneGivesTheClaimUp()
{
    // The compositor ends under a running copy, which Qt then ends at once.
    Launcher launcher(m_base + u"program/corvane", m_environment, m_base + u"work",
                      asSessionUser());
    QTRY_VERIFY_WITH_TIMEOUT(!windowOf(launcher.pid()).isEmpty(), 15000);
    m_sway.kill();
    QVERIFY(launcher.waitForFinished(10000));
    QCOMPARE(launcher.exitCode(), 1);
    QVERIFY(
        QDir(m_base + u"runtime", LauncherClass + u'*').isEmpty(QDir::AllEntries | QDir::System));
}

QTEST_GUILESS_MAIN(TestE2eWayland)
#include "test_e2e_wayland.moc"
