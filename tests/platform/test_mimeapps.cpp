// Whether the desktop has an application for a file type, from association lists and desktop
// entries in private XDG folders.

#include "environmentoverride.h"
#include "platform/platform.h"
#include "testfiles.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

using namespace corvane;
using namespace corvane::test;

class TestMimeApps : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void chmViewer_data();
    void chmViewer();
};

void TestMimeApps::chmViewer_data()
{
    // Files as "<path under the root>\n<contents>"; the root holds config (XDG_CONFIG_HOME),
    // xdg (XDG_CONFIG_DIRS), home (XDG_DATA_HOME) and system (XDG_DATA_DIRS).
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<bool>("expected");
    const QString viewer = QStringLiteral("system/applications/viewer.desktop\n[Desktop Entry]\n"
                                          "Name=Viewer\nMimeType=application/vnd.ms-htmlhelp;\n");
    QTest::newRow("only other types")
        << QStringList{QStringLiteral(
               "system/applications/editor.desktop\n[Desktop Entry]\nMimeType=text/plain;\n")}
        << false;
    QTest::newRow("an entry lists the type") << QStringList{viewer} << true;
    QTest::newRow("an entry lists its older name")
        << QStringList{QStringLiteral(
               "system/applications/old.desktop\n[Desktop Entry]\nMimeType=application/x-chm;\n")}
        << true;
    QTest::newRow("default names an entry in a subfolder by its id")
        << QStringList{QStringLiteral("system/applications/kde/viewer.desktop\n[Desktop Entry]\n"),
                       QStringLiteral("config/mimeapps.list\n[Default Applications]\n"
                                      "application/vnd.ms-htmlhelp=kde-viewer.desktop\n")}
        << true;
    QTest::newRow("default names an entry that is gone")
        << QStringList{QStringLiteral("config/mimeapps.list\n[Default Applications]\n"
                                      "application/vnd.ms-htmlhelp=gone.desktop;\n")}
        << false;
    QTest::newRow("the user's hidden copy masks the entry")
        << QStringList{viewer, QStringLiteral("home/applications/viewer.desktop\n"
                                              "[Desktop Entry]\nHidden=true\n")}
        << false;
    QTest::newRow("removed for the current desktop")
        << QStringList{viewer, QStringLiteral("xdg/test-mimeapps.list\n[Removed Associations]\n"
                                              "application/vnd.ms-htmlhelp=viewer.desktop\n")}
        << false;
    QTest::newRow("added back by the user after a system removal")
        << QStringList{viewer,
                       QStringLiteral("system/applications/mimeapps.list\n[Removed Associations]\n"
                                      "application/vnd.ms-htmlhelp=viewer.desktop\n"),
                       QStringLiteral("config/mimeapps.list\n[Added Associations]\n"
                                      "application/vnd.ms-htmlhelp=viewer.desktop;\n")}
        << true;
}

void TestMimeApps::chmViewer()
{
    QFETCH(QStringList, files);
    QFETCH(bool, expected);
    QTemporaryDir root;
    const QString base = root.path() + u'/';
    for (const QString& file : std::as_const(files)) {
        const QString path = base + file.section(u'\n', 0, 0);
        QVERIFY(QDir().mkpath(path.section(u'/', 0, -2)));
        QVERIFY(writeFile(path, file.section(u'\n', 1).toUtf8()));
    }
    // The system's MIME database, which knows the types' other names, without its
    // applications.
    QVERIFY(QDir().mkpath(base + u"types"));
    QVERIFY(QFile::link(QStringLiteral("/usr/share/mime"), base + u"types/mime"));
    const EnvironmentOverride environment{
        {"XDG_CONFIG_HOME", QFile::encodeName(base + u"config")},
        {"XDG_CONFIG_DIRS", QFile::encodeName(base + u"xdg")},
        {"XDG_DATA_HOME", QFile::encodeName(base + u"home")},
        {"XDG_DATA_DIRS", QFile::encodeName(base + u"system:" + base + u"types")},
        {"XDG_CURRENT_DESKTOP", "Test"}};
    QCOMPARE(platform::hasApplicationFor(QStringLiteral("application/vnd.ms-htmlhelp")), expected);
}

QTEST_GUILESS_MAIN(TestMimeApps)
#include "test_mimeapps.moc"
