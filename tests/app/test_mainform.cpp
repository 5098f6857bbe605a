// The main window's texts: the complete list of what the launcher looks up, and how the
// main window shows what a language file says.

#include "app/toolcatalog.h"
#include "mainwindowfixture.h"

#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QStatusBar>

using namespace corvane;
using namespace corvane::test;

class TestMainForm : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void everyTextInItsOrder();
    void defaultsWithoutLanguageFile();
    void partialLanguageFile_data();
    void partialLanguageFile();
    void captionsArePlainWithAccelerators();
    void emptyDescriptionLeavesNoHint();
};

void TestMainForm::everyTextInItsOrder()
{
    // Sections and keys as a translator's language file must spell them, in lookup order.
    const QStringList expected{
        // the menu
        QStringLiteral("v3.1.3/Restore"), QStringLiteral("Menus/Compilation"),
        QStringLiteral("v3.0/Settings"), QStringLiteral("Settings/CheckUpdates"),
        QStringLiteral("Settings/CloseWindow"), QStringLiteral("Menus/Help"),
        QStringLiteral("Menus/About"), QStringLiteral("Menus/Exit"),
        // tool and category captions
        QStringLiteral("v3.0/DataDisc"), QStringLiteral("v3.0/BootDisc2"),
        QStringLiteral("v3.0/BD"), QStringLiteral("v5.0/CustomDisc"),
        QStringLiteral("Captions/AudioCD"), QStringLiteral("v3.0/MP3Disc"),
        QStringLiteral("Captions2/DVDVideo"), QStringLiteral("v3.0/MakeISO2"),
        QStringLiteral("v3.0/MakeBootISO"), QStringLiteral("v3.0/EraseDisc2"),
        QStringLiteral("v3.0/DiscInfo2"), QStringLiteral("v3.0/CopyDisc2"),
        QStringLiteral("v3.0/DataRecovery2"), QStringLiteral("Captions4/Multiburn"),
        QStringLiteral("v3.0/Data"), QStringLiteral("v3.0/Multimedia"),
        QStringLiteral("v3.0/DiscImages"), QStringLiteral("v3.0/Utilities"),
        QStringLiteral("v3.0/BurnImage2"), QStringLiteral("v3.0/CopytoImage"),
        // tool descriptions
        QStringLiteral("v5.0/Standard"), QStringLiteral("v5.0/CustomHint"),
        QStringLiteral("v4.0/BootDisc"), QStringLiteral("v4.0/DVDVideo"),
        QStringLiteral("v3.0/BDDisc"), QStringLiteral("v3.0/AudioCD"),
        QStringLiteral("v3.0/MP3DiscHint"), QStringLiteral("v3.0/BurnImage"),
        QStringLiteral("v3.0/MakeISO"), QStringLiteral("v3.0/BootISO"),
        QStringLiteral("v3.0/CopyISO"), QStringLiteral("v3.0/EraseDisc"),
        QStringLiteral("v3.0/DiscInfo"), QStringLiteral("v3.0/CopyDisc"),
        QStringLiteral("v3.0/Recovery"), QStringLiteral("v3.0/MultiBurn"),
        // update prompt, About window, warnings
        QStringLiteral("v2.2.3/Update"), QStringLiteral("v3.0/DontCheck"),
        QStringLiteral("v2.2.3/Yes"), QStringLiteral("v2.2.3/No"),
        QStringLiteral("v2.2.3/Available"), QStringLiteral("v3.0/Download"),
        QStringLiteral("Welcome Hints/About"), QStringLiteral("Buttons/OK"),
        QStringLiteral("Welcome About/Version"), QStringLiteral("v4.0/Compiled"),
        QStringLiteral("Welcome About/Copyright"), QStringLiteral("Welcome About/Reserved"),
        QStringLiteral("Trial/Chm"), QStringLiteral("Trial/Reinstalled"),
        QStringLiteral("Trial/HelpNotOpened"), QStringLiteral("Trial/NotFound"),
        QStringLiteral("Trial/Reinstalled1"), QStringLiteral("Trial/NotStarted"),
        QStringLiteral("Trial/NotResponding"), QStringLiteral("Trial/NoLock")};
    QStringList actual;
    const QList<TextRef> all = allTexts();
    for (const TextRef& text : all)
        actual << text.section.toString() + u'/' + text.key.toString();
    QCOMPARE(actual, expected);
    QCOMPARE(mainFormTexts().size(), 44);
}

void TestMainForm::defaultsWithoutLanguageFile()
{
    MainWindowFixture f;
    f.show();
    QStringList top;
    for (const QAction* action : f.window->menuBar()->actions())
        top << action->text();
    QCOMPARE(top, (QStringList{QStringLiteral("Compilation"), QStringLiteral("Settings"),
                               QStringLiteral("Help")}));
    QCOMPARE(f.child<QAction>(QStringLiteral("Help2"))->text(), QStringLiteral("Help"));
    QCOMPARE(f.child<QAction>(QStringLiteral("Restoredefaultsettings1"))->text(),
             QStringLiteral("Restore default settings"));
    QCOMPARE(f.child<QLabel>(QStringLiteral("lbl_DiscImages"))->text(),
             QStringLiteral("Disc Images"));
    QCOMPARE(f.child<QMenu>(QStringLiteral("DiscImages1"))->title(), QStringLiteral("Disc Images"));
    QCOMPARE(f.child<QLabel>(QStringLiteral("lbl_DVDVideo"))->text(), QStringLiteral("DVD-Video"));
    QCOMPARE(f.child<QAction>(QStringLiteral("DVDVideo1"))->text(), QStringLiteral("DVD-Video"));
}

void TestMainForm::partialLanguageFile_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QStringList>("expected"); // object name=text, "?" for a status tip

    QTest::newRow("help only") << QStringLiteral("[Menus]\r\nHelp=Hilfe\r\n")
                               << QStringList{QStringLiteral("Help1=Hilfe"),
                                              QStringLiteral("Help2=Hilfe"),
                                              QStringLiteral("About1=About...")};
    QTest::newRow("data disc caption only")
        << QStringLiteral("[v3.0]\r\nDataDisc=Daten-CD\r\n")
        << QStringList{
               QStringLiteral("lbl_DiscUDF=Daten-CD"), QStringLiteral("UDFDisc1=Daten-CD"),
               QStringLiteral("?img_DiscUDF=Create standard Data CD, DVD or Blu-ray Disc.")};
    QTest::newRow("same key, other sections")
        << QStringLiteral("[Captions]\r\nAudioCD=Audio-CD\r\n[v4.0]\r\nDVDVideo=Film\r\n"
                          "[Captions4]\r\nMultiburn=Mehrfach\r\n")
        << QStringList{
               QStringLiteral("lbl_AudioCD=Audio-CD"),
               QStringLiteral(
                   "?lbl_AudioCD=Create standard Audio CD that can be played on any CD player."),
               QStringLiteral("lbl_DVDVideo=DVD-Video"),
               QStringLiteral("?DVDVideo1=Film"),
               QStringLiteral("lbl_MultiBurn=Mehrfach"),
               QStringLiteral("?img_MultiBurn=Write ISO image to multiple recorders.")};
    QTest::newRow("category captions go to the submenus")
        << QStringLiteral("[v3.0]\r\nUtilities=Werkzeuge\r\n")
        << QStringList{QStringLiteral("lbl_Utilities=Werkzeuge"),
                       QStringLiteral("Utilities1=Werkzeuge")};
}

void TestMainForm::partialLanguageFile()
{
    QFETCH(QString, file);
    QFETCH(QStringList, expected);
    MainWindowFixture f;
    f.addLanguageFile(file);
    f.show();
    for (const QString& line : expected) {
        const bool isHint = line.startsWith(u'?');
        const qsizetype eq = line.indexOf(u'=');
        const QString name = line.mid(isHint ? 1 : 0, eq - (isHint ? 1 : 0));
        const QString text = line.mid(eq + 1);
        QObject* control = f.window->findChild<QObject*>(name);
        QVERIFY2(control, qPrintable(name));
        QString actual;
        if (auto* label = qobject_cast<QLabel*>(control))
            actual = isHint ? label->statusTip() : label->text();
        else if (auto* menu = qobject_cast<QMenu*>(control))
            actual = menu->title();
        else if (auto* action = qobject_cast<QAction*>(control))
            actual = isHint ? action->statusTip() : action->text();
        QCOMPARE(actual, text);
    }
}

void TestMainForm::captionsArePlainWithAccelerators()
{
    MainWindowFixture f;
    f.addLanguageFile(QStringLiteral("[v3.0]\r\nDataDisc=&Daten && mehr\r\n"
                                     "BD=<b>x</b>\r\nData=<a href=\"x\">Link</a>\r\n"
                                     "[Menus]\r\nExit=&Beenden\r\n"));
    f.show();
    auto* dataDisc = f.child<QLabel>(QStringLiteral("lbl_DiscUDF"));
    QCOMPARE(dataDisc->text(), QStringLiteral("Daten & mehr"));
    QCOMPARE(f.child<QAction>(QStringLiteral("UDFDisc1"))->text(),
             QStringLiteral("&Daten && mehr"));
    auto* bd = f.child<QLabel>(QStringLiteral("lbl_BD"));
    QCOMPARE(bd->text(), QStringLiteral("<b>x</b>"));
    QCOMPARE(bd->textFormat(), Qt::PlainText);
    auto* data = f.child<QLabel>(QStringLiteral("lbl_Data"));
    QCOMPARE(data->text(), QStringLiteral("<a href=\"x\">Link</a>"));
    QCOMPARE(data->textFormat(), Qt::PlainText);
    QCOMPARE(f.child<QAction>(QStringLiteral("Exit1"))->text(), QStringLiteral("&Beenden"));
    // A long category caption grows its label to the left, not out of the window.
    QCOMPARE(data->geometry().right(), 547 - 8 - 1);
}

void TestMainForm::emptyDescriptionLeavesNoHint()
{
    MainWindowFixture f;
    f.addLanguageFile(QStringLiteral("[v3.0]\r\nCopyDisc=\r\n"));
    f.show();
    for (const char* name : {"img_Copy", "lbl_Copy"})
        QVERIFY(f.child(QString::fromLatin1(name))->statusTip().isEmpty());
    QVERIFY(f.child<QAction>(QStringLiteral("CopyDisc1"))->statusTip().isEmpty());
    auto* bar = f.child<QStatusBar>(QStringLiteral("sts_Bar"));
    QTest::mouseMove(f.child(QStringLiteral("img_Info")), QPoint(44, 24));
    QTRY_VERIFY(!bar->currentMessage().isEmpty());
    QTest::mouseMove(f.child(QStringLiteral("img_Copy")), QPoint(44, 24));
    QTRY_COMPARE(bar->currentMessage(), QString());
}

QTEST_MAIN(TestMainForm)
#include "test_mainform.moc"
