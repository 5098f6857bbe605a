// Outside input reaches only text. A language file or an update answer holding markup, links,
// pictures, ampersands, control characters or a 100,000-character line shows as plain text
// (cut where the reader cuts it), never as rich text or a link, and the fixed windows keep
// their size and layout. A program folder whose path holds shell syntax starts the tools with
// exactly that path: nothing passes through a shell.

#include "app/toolcatalog.h"
#include "common/product.h"
#include "i18n/captiontext.h"
#include "i18n/mainform.h"
#include "mainwindowfixture.h"

#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QStatusBar>
#include <thread>

using namespace corvane;
using namespace corvane::test;

namespace {

const QString LongLine(100000, u'W');

// What a hostile language file or server may hold, one after the other for every text.
const QStringList Hostile{
    QStringLiteral("<b>bold</b> <i>and</i> <font color=red>red</font>"),
    QStringLiteral("<a href=\"http://evil.example/\">click</a>"),
    QStringLiteral("<img src=\"/usr/share/pixmaps/debian-logo.png\" width=2000>"),
    QStringLiteral("R&D && &more &"),
    QStringLiteral("a\u0001b\u0007c\u001B[31md\u202Ee\u0000f\u007Fg\tq\fr\vs"),
    QStringLiteral("&lt;b&gt;entities&amp;&#65;"),
    QStringLiteral("short|<a href=x>long</a> &amp; <br>more"),
    LongLine,
};

// Plain text holds no link to follow; a label must not open one either way.
bool linksReachable(const QLabel* label)
{
    return label->openExternalLinks();
}

struct Layout
{
    QSize window;
    QRect client;
    QRect statusBar;
    QList<QRect> tools; // every button, picture and caption of the rows
};

Layout layoutOf(const Tfrm_Main& w)
{
    Layout layout{w.size(),
                  w.centralWidget()->geometry(),
                  w.findChild<QStatusBar*>(QStringLiteral("sts_Bar"))->geometry(),
                  {}};
    for (const ToolEntry& tool : Tools) {
        for (const QString& prefix :
             {QStringLiteral("btn_"), QStringLiteral("img_"), QStringLiteral("lbl_")})
            layout.tools << w.findChild<QWidget*>(prefix + tool.id)->geometry();
    }
    return layout;
}

} // namespace

class TestFaultsHostile : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void languageFileInMainWindow_data();
    void languageFileInMainWindow();
    void languageFileInAbout();
    void updateAnswerInPrompt();
    void shellSyntaxInProgramFolder();
};

void TestFaultsHostile::languageFileInMainWindow_data()
{
    // Rotated, so that every text meets every kind of content, the menu bar's titles too.
    QTest::addColumn<int>("shift");
    for (int shift = 0; shift < Hostile.size(); ++shift)
        QTest::addRow("shift %d", shift) << shift;
}

void TestFaultsHostile::languageFileInMainWindow()
{
    QFETCH(int, shift);
    Layout expected;
    {
        MainWindowFixture plain;
        expected = layoutOf(plain.show());
    }

    MainWindowFixture f;
    QString language;
    QString section;
    const QList<TextRef> all = allTexts();
    for (qsizetype i = 0; i < all.size(); ++i) {
        if (all[i].section != section) {
            section = all[i].section.toString();
            language += u'[' + section + u"]\r\n";
        }
        language += all[i].key + u'=' + Hostile[(i + shift) % Hostile.size()] + u"\r\n";
    }
    f.addLanguageFile(language);
    Tfrm_Main& w = f.show();

    const QList<MainFormText> entries = mainFormTexts();
    for (const MainFormText& entry : entries) {
        const QString looked = f.translator->Translate(entry.text);
        QVERIFY(looked.size() <= 2047); // the long line arrives cut
        const bool isCaption = entry.kind == MainFormText::Caption;
        QStringList controls{entry.target.toString()};
        for (QStringView name : entry.copyTo) {
            if (!name.isEmpty())
                controls << name.toString();
        }
        for (const QString& name : std::as_const(controls)) {
            QObject* control = w.findChild<QObject*>(name);
            QVERIFY(control);
            if (auto* label = qobject_cast<QLabel*>(control)) {
                if (isCaption) {
                    QVERIFY2(label->textFormat() == Qt::PlainText && !linksReachable(label),
                             qPrintable(name));
                    QCOMPARE(label->text(), labelText(looked));
                } else {
                    QCOMPARE(label->statusTip(), longHint(looked)); // the status bar's, plain
                }
            } else if (auto* menu = qobject_cast<QMenu*>(control)) {
                QCOMPARE(menu->title(), looked);
            } else if (auto* action = qobject_cast<QAction*>(control)) {
                QCOMPARE(isCaption ? action->text() : action->statusTip(),
                         isCaption ? looked : longHint(looked));
            }
        }
    }
    // Every other label of the window that shows text shows plain text too.
    const QList<QLabel*> labels = w.findChildren<QLabel*>();
    for (const QLabel* label : labels) {
        if (label->text().isEmpty())
            continue; // a picture
        QVERIFY2(label->textFormat() == Qt::PlainText, qPrintable(label->objectName()));
        QVERIFY(!linksReachable(label));
    }

    const Layout now = layoutOf(w);
    QCOMPARE(now.window, expected.window);
    QCOMPARE(w.minimumSize(), w.maximumSize());
    QCOMPARE(now.client, expected.client);
    QCOMPARE(now.statusBar, expected.statusBar);
    QCOMPARE(now.tools, expected.tools);
    // A long category caption grows to the left, not past the row's right border.
    for (const CategoryEntry& category : Categories)
        QCOMPARE(w.findChild<QLabel*>(category.labelName.toString())->geometry().right(), 538);
}

void TestFaultsHostile::languageFileInAbout()
{
    MainWindowFixture f;
    f.addLanguageFile(u"[Welcome About]\r\nVersion=<a href=\"http://evil.example/\">v</a>\r\n"
                      u"Copyright=<img src=x>&copy; \u0001\u001B[2J\r\nReserved=" +
                      LongLine +
                      u"\r\n[Buttons]\r\nOK=<b>&OK</b>\r\n[Welcome Hints]\r\n"
                      u"About=<h1>About</h1>\r\n[v4.0]\r\nCompiled=&&<i>built</i>\r\n");
    Tfrm_Main& w = f.show();
    QSize size;
    QStringList shown;
    bool plain = true;
    handleNextModal([&](QWidget* modal) {
        size = modal->size();
        const QList<QLabel*> labels = modal->findChildren<QLabel*>();
        for (const QLabel* label : labels) {
            plain = plain && label->textFormat() == Qt::PlainText && !linksReachable(label);
            shown << label->text();
        }
        shown << modal->windowTitle()
              << modal->findChild<QPushButton*>(QStringLiteral("btn_OK"))->text();
    });
    w.findChild<QAction*>(QStringLiteral("About1"))->trigger();
    QCOMPARE(size, QSize(395, 283));
    QVERIFY(plain);
    const QString all = shown.join(u'\n');
    QVERIFY(all.contains(QStringLiteral("<a href=\"http://evil.example/\">v</a>: 5.1")));
    QVERIFY(all.contains(QStringLiteral("<img src=x>copy; \u0001\u001B[2J \u00A9 2012")));
    QVERIFY(all.contains(QStringLiteral("&<i>built</i>")));
    QVERIFY(all.contains(QStringLiteral("<h1>About</h1>")));
    QVERIFY(all.contains(QStringLiteral("<b>&OK</b>")));
    QVERIFY(all.contains(QString(2047, u'W')));
    QVERIFY(!all.contains(QString(2048, u'W')));
}

void TestFaultsHostile::updateAnswerInPrompt()
{
    MainWindowFixture f;
    Tfrm_Main& w = f.show();
    // A newer version first, so that the answer reaches the prompt; the rest is the server's.
    const QString body = u"9.9.9.9 <a href=\"http://evil.example/\">get</a> <img src=x> "
                         u"&amp; R&D \u0001\u001B[2J\u202E" +
                         LongLine + u"\r\nsecond line";
    QSize size;
    QString media;
    QList<QLabel*> labels;
    bool plain = true;
    ModalWatcher watcher([&](QWidget* modal) {
        size = modal->size();
        const QList<QLabel*> found = modal->findChildren<QLabel*>();
        for (const QLabel* label : found)
            plain = plain && label->textFormat() == Qt::PlainText && !linksReachable(label);
        media = modal->findChild<QLabel*>(QStringLiteral("lbl_Media"))->text();
    });
    std::thread worker([&w, &body] { w.UpdateInfoReceived(body); });
    worker.join();
    QTRY_COMPARE(watcher.count(), 1);
    QCOMPARE(size, QSize(376, 159));
    QVERIFY(plain);
    // One line of it, cut where the label ends: markup and control characters shown as text.
    QVERIFY2(media.startsWith(ProductTitle + u" 9.9.9.9 <a href=\"http"), qPrintable(media));
    QVERIFY(media.contains(u'\u2026'));
    QVERIFY(!media.contains(u'\n') && !media.contains(u'W'));
}

void TestFaultsHostile::shellSyntaxInProgramFolder()
{
    MainWindowFixture f;
    const QString odd = QStringLiteral("a b;c'd\"e $(touch pwned) `touch pwned2` | > out & x\\y");
    f.programFolder = f.root.filePath(odd) + u'/';
    QVERIFY(QDir().mkpath(f.programFolder));
    f.translator = std::make_unique<Translator>(f.programFolder);
    f.installTools();
    const QString record = f.root.filePath(QStringLiteral("starts.txt"));
    qputenv("CORVANE_STANDIN_RECORD", QFile::encodeName(record));
    f.show();

    for (const ToolEntry& tool : Tools)
        f.child<QAction>(tool.menuName.toString())->trigger();
    QStringList seen;
    QTRY_COMPARE_WITH_TIMEOUT(
        [&] {
            QFile file(record);
            seen = file.open(QIODevice::ReadOnly)
                       ? QString::fromUtf8(file.readAll()).split(u'\n', Qt::SkipEmptyParts)
                       : QStringList();
            return seen.size();
        }(),
        16, 15000);
    qunsetenv("CORVANE_STANDIN_RECORD");

    QStringList expected;
    for (const ToolEntry& tool : Tools) {
        QStringList argv{f.programFolder + tool.executable};
        if (!tool.argument.isEmpty())
            argv << tool.argument.toString();
        expected << QString::number(argv.size() - 1) + u'\t' + argv.join(u'\t');
    }
    for (QString& line : seen)
        line.truncate(line.lastIndexOf(u'\t')); // the working folder
    expected.sort();
    seen.sort();
    QCOMPARE(seen, expected);
    for (const QString& folder : {QDir::currentPath(), f.root.path(), f.programFolder}) {
        for (const char* made : {"pwned", "pwned2", "out"})
            QVERIFY(!QFileInfo::exists(folder + u'/' + QLatin1String(made)));
    }
}

QTEST_MAIN(TestFaultsHostile)
#include "test_faults_hostile.moc"
