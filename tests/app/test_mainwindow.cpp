// The main window: layout, menu, hover and press feedback, the status bar and closing.

#include "app/toolbutton.h"
#include "app/toolcatalog.h"
#include "mainwindowfixture.h"

#include <QAccessible>
#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTimer>

using namespace corvane;
using namespace corvane::test;

class TestMainWindow : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void layoutOfRows();
    void layoutOfTools();
    void menuTree();
    void hoverTurnsCaptionBlack();
    void pressMovesButtonDown_data();
    void pressMovesButtonDown();
    void clicksReachTheTool_data();
    void clicksReachTheTool();
    void statusBarShowsLongHint();
    void accessibleTools();
    void closeWritesSettings();
    void failedCloseKeepsWindowOpen();
};

void TestMainWindow::layoutOfRows()
{
    MainWindowFixture f;
    Tfrm_Main& w = f.show();
    QCOMPARE(w.windowTitle(), QStringLiteral("Corvane Professional"));
    QCOMPARE(w.centralWidget()->size(), QSize(547, 360));
    QVERIFY(w.minimumSize() == w.maximumSize()); // fixed size
    QVERIFY(!(w.windowFlags() & Qt::WindowMaximizeButtonHint));

    const QList<std::pair<QString, QRgb>> rows{{QStringLiteral("pnl_Top"), 0xFFFFFF},
                                               {QStringLiteral("pnl_Top2"), 0xF7F7F7},
                                               {QStringLiteral("pnl_Top3"), 0xFFFFFF},
                                               {QStringLiteral("pnl_Top4"), 0xF7F7F7}};
    for (int i = 0; i < rows.size(); ++i) {
        QWidget* row = f.child(rows[i].first);
        QVERIFY2(row, qPrintable(rows[i].first));
        QCOMPARE(row->geometry(), QRect(0, 90 * i, 547, 90));
        QCOMPARE(row->palette().color(QPalette::Window).rgb() & 0xFFFFFF, rows[i].second);
        // The row is painted in its colour where no button covers it.
        const QImage image = row->grab().toImage();
        QCOMPARE(image.pixel(500, 85) & 0xFFFFFF, rows[i].second);
    }

    QStatusBar* bar = f.child<QStatusBar>(QStringLiteral("sts_Bar"));
    QVERIFY(bar);
    QCOMPARE(bar->height(), 19);
    QCOMPARE(bar->width(), 547);
    QCOMPARE(bar->mapTo(&w, QPoint(0, 0)).y() - w.centralWidget()->mapTo(&w, QPoint(0, 0)).y(),
             360);

    for (const CategoryEntry& category : Categories) {
        auto* label = f.child<QLabel>(category.labelName.toString());
        QVERIFY(label);
        QVERIFY(!label->isEnabled());
        QCOMPARE(label->focusPolicy(), Qt::NoFocus);
        QVERIFY(label->statusTip().isEmpty());
        QCOMPARE(label->palette().color(QPalette::WindowText), QColor(0xC0, 0xC0, 0xC0));
        // Right-aligned in the content area, full content height, text at the top.
        QCOMPARE(label->geometry().right(), 547 - 8 - 1);
        QCOMPARE(label->y(), 8);
        QCOMPARE(label->height(), 74);
        QVERIFY(label->width() < 120);
        QCOMPARE(label->text(), category.caption.defaultText.toString());
    }

    auto* timer = w.findChild<QTimer*>(QStringLiteral("Timer1"));
    QVERIFY(timer);
    QCOMPARE(timer->interval(), 100);
    QVERIFY(!timer->isActive());
}

void TestMainWindow::layoutOfTools()
{
    MainWindowFixture f;
    f.show();
    for (const ToolEntry& tool : Tools) {
        const QString id = tool.id.toString();
        auto* button = f.child<ToolButton>(u"btn_" + id);
        auto* image = f.child<QLabel>(u"img_" + id);
        auto* caption = f.child<QLabel>(u"lbl_" + id);
        QVERIFY2(button && image && caption, qPrintable(id));
        QCOMPARE(button->parentWidget()->objectName(),
                 Categories[static_cast<std::size_t>(tool.category)].panelName.toString());
        QCOMPARE(button->geometry(), QRect(8 + 89 * (tool.position - 1), 8, 89, 74));
        QCOMPARE(image->geometry(), QRect(0, 0, 89, 48));
        QCOMPARE(caption->geometry(), QRect(0, 48, 89, 26));
        QCOMPARE(image->pixmap().deviceIndependentSize().toSize(), QSize(36, 36));
        QCOMPARE(f.pictures->picture(tool.icon).size(), QSize(36, 36)); // not a fallback
        QVERIFY(caption->wordWrap());
        QCOMPARE(caption->textFormat(), Qt::PlainText);
        QCOMPARE(caption->palette().color(QPalette::WindowText), QColor(0x80, 0x80, 0x80));
        for (QWidget* control : {static_cast<QWidget*>(button), static_cast<QWidget*>(image),
                                 static_cast<QWidget*>(caption)}) {
            QCOMPARE(control->focusPolicy(), Qt::NoFocus);
            QVERIFY(control->toolTip().isEmpty());
        }
        // The translation gave every part of the tool its description.
        const QString hint = tool.hint.defaultText.toString();
        QCOMPARE(image->statusTip(), hint);
        QCOMPARE(caption->statusTip(), hint);
        QCOMPARE(f.child<QAction>(tool.menuName.toString())->statusTip(), hint);
    }
}

void TestMainWindow::menuTree()
{
    MainWindowFixture f;
    Tfrm_Main& w = f.show();
    QCOMPARE(w.menuBar()->objectName(), QStringLiteral("mnu_Main"));

    auto names = [](const QMenu* menu) {
        QStringList list;
        for (const QAction* action : menu->actions())
            list << (action->menu() ? action->menu()->objectName() : action->objectName());
        return list;
    };
    QStringList top;
    for (const QAction* action : w.menuBar()->actions())
        top << action->menu()->objectName() + u'=' + action->text();
    QCOMPARE(top,
             (QStringList{QStringLiteral("File1=Compilation"), QStringLiteral("Settings1=Settings"),
                          QStringLiteral("Help1=Help")}));

    QCOMPARE(names(f.child<QMenu>(QStringLiteral("File1"))),
             (QStringList{QStringLiteral("Data1"), QStringLiteral("Multimedia1"),
                          QStringLiteral("DiscImages1"), QStringLiteral("Utilities1"),
                          QStringLiteral("N2"), QStringLiteral("Exit1")}));
    QCOMPARE(names(f.child<QMenu>(QStringLiteral("Data1"))),
             (QStringList{QStringLiteral("UDFDisc1"), QStringLiteral("BlurayDisc1"),
                          QStringLiteral("BootDisc1"), QStringLiteral("ISOUDFDisc1")}));
    QCOMPARE(names(f.child<QMenu>(QStringLiteral("Multimedia1"))),
             (QStringList{QStringLiteral("AudioCD1"), QStringLiteral("MP3Disc1"),
                          QStringLiteral("DVDVideo1")}));
    QCOMPARE(names(f.child<QMenu>(QStringLiteral("DiscImages1"))),
             (QStringList{QStringLiteral("BurnImage1"), QStringLiteral("CopytoImage1"),
                          QStringLiteral("MakeImage1"), QStringLiteral("MakeBootImage1")}));
    QCOMPARE(names(f.child<QMenu>(QStringLiteral("Utilities1"))),
             (QStringList{QStringLiteral("EraseDisc1"), QStringLiteral("DiscInfo1"),
                          QStringLiteral("CopyDisc1"), QStringLiteral("DataRecovery1"),
                          QStringLiteral("MultiBurn1")}));
    QCOMPARE(names(f.child<QMenu>(QStringLiteral("Settings1"))),
             (QStringList{QStringLiteral("Checkforupdates1"), QStringLiteral("CloseMainWindow1"),
                          QStringLiteral("N4"), QStringLiteral("Restoredefaultsettings1")}));
    QCOMPARE(
        names(f.child<QMenu>(QStringLiteral("Help1"))),
        (QStringList{QStringLiteral("Help2"), QStringLiteral("N1"), QStringLiteral("About1")}));

    for (const char* separator : {"N1", "N2", "N4"})
        QVERIFY(f.child<QAction>(QString::fromLatin1(separator))->isSeparator());
    QVERIFY(f.child<QAction>(QStringLiteral("Checkforupdates1"))->isCheckable());
    QVERIFY(f.child<QAction>(QStringLiteral("CloseMainWindow1"))->isCheckable());
    QCOMPARE(f.child<QAction>(QStringLiteral("Help2"))->shortcut(), QKeySequence(Qt::Key_F1));
    QCOMPARE(f.child<QAction>(QStringLiteral("Help2"))->text(), QStringLiteral("Help"));
    QCOMPARE(f.child<QAction>(QStringLiteral("About1"))->text(), QStringLiteral("About..."));
    QCOMPARE(f.child<QAction>(QStringLiteral("Exit1"))->text(), QStringLiteral("Exit"));
    // Only the tool entries describe themselves in the status bar.
    QVERIFY(f.child<QAction>(QStringLiteral("Exit1"))->statusTip().isEmpty());
}

void TestMainWindow::hoverTurnsCaptionBlack()
{
    MainWindowFixture f;
    f.show();
    auto* button = f.child<QWidget>(QStringLiteral("btn_AudioCD"));
    auto colour = [](QWidget* w) {
        return w->findChild<QLabel*>(QStringLiteral("lbl_") + w->objectName().mid(4))
            ->palette()
            .color(QPalette::WindowText);
    };
    const QColor black(0, 0, 0);
    const QColor grey(0x80, 0x80, 0x80);

    QTest::mouseMove(f.child(QStringLiteral("img_AudioCD")), QPoint(44, 24));
    QTRY_COMPARE(colour(button), black);
    // From the icon onto the caption: still black.
    QTest::mouseMove(f.child(QStringLiteral("lbl_AudioCD")), QPoint(44, 10));
    QTRY_COMPARE(colour(button), black);
    // Onto the neighbour: this one grey again, the neighbour black.
    auto* neighbour = f.child<QWidget>(QStringLiteral("btn_MP3Disc"));
    QTest::mouseMove(f.child(QStringLiteral("img_MP3Disc")), QPoint(44, 24));
    QTRY_COMPARE(colour(button), grey);
    QTRY_COMPARE(colour(neighbour), black);
    // Onto the row background.
    QTest::mouseMove(f.child(QStringLiteral("pnl_Top2")), QPoint(480, 80));
    QTRY_COMPARE(colour(neighbour), grey);

    // The right button takes no capture: held down, it leaves the caption and the status bar
    // following the pointer. Qt hands the moves to the pressed icon.
    QWidget* icon = f.child(QStringLiteral("img_MP3Disc"));
    QTest::mouseMove(icon, QPoint(44, 24));
    QTRY_COMPARE(colour(neighbour), black);
    QTest::mousePress(icon, Qt::RightButton, {}, QPoint(44, 24));
    QTest::mouseMove(icon, QPoint(44 + 89, 24)); // over the DVD-Video icon
    QCOMPARE(colour(neighbour), grey);
    QCOMPARE(colour(f.child<QWidget>(QStringLiteral("btn_DVDVideo"))), black);
    QCOMPARE(f.child<QStatusBar>(QStringLiteral("sts_Bar"))->currentMessage(),
             QStringLiteral("Create DVD-Video that can be played in DVD player, XBOX or PS3."));
    QTest::mouseRelease(icon, Qt::RightButton, {}, QPoint(44 + 89, 24));
}

void TestMainWindow::pressMovesButtonDown_data()
{
    QTest::addColumn<QString>("control");
    QTest::addColumn<Qt::MouseButton>("mouseButton");
    QTest::addColumn<QPoint>("releaseAt"); // in the pressed control, which the release reaches
    QTest::addColumn<bool>("restored");
    const QString icon = QStringLiteral("img_Erase");
    QTest::newRow("icon, left") << icon << Qt::LeftButton << QPoint(40, 10) << true;
    QTest::newRow("caption, right")
        << QStringLiteral("lbl_Erase") << Qt::RightButton << QPoint(40, 10) << true;
    QTest::newRow("caption, middle")
        << QStringLiteral("lbl_Erase") << Qt::MiddleButton << QPoint(40, 10) << true;
    QTest::newRow("icon to caption, right") << icon << Qt::RightButton << QPoint(40, 60) << true;
    QTest::newRow("icon to neighbour, right")
        << icon << Qt::RightButton << QPoint(130, 10) << false;
    QTest::newRow("icon to neighbour, left") << icon << Qt::LeftButton << QPoint(130, 10) << true;
}

void TestMainWindow::pressMovesButtonDown()
{
    QFETCH(QString, control);
    QFETCH(Qt::MouseButton, mouseButton);
    QFETCH(QPoint, releaseAt);
    QFETCH(bool, restored);
    MainWindowFixture f;
    f.show();
    auto* button = f.child<ToolButton>(QStringLiteral("btn_Erase"));
    QWidget* target = f.child(control);
    ModalWatcher missingTool;

    QTest::mousePress(target, mouseButton, {}, QPoint(40, 10));
    QCOMPARE(button->geometry(), QRect(8, 9, 89, 73));
    QCOMPARE(f.child(QStringLiteral("img_Erase"))->geometry(), QRect(0, 0, 89, 48));
    QCOMPARE(f.child(QStringLiteral("lbl_Erase"))->geometry(), QRect(0, 48, 89, 25));
    QTest::mouseRelease(target, mouseButton, {}, releaseAt);
    QCOMPARE(button->geometry(), restored ? QRect(8, 8, 89, 74) : QRect(8, 9, 89, 73));
    QCOMPARE(f.child(QStringLiteral("lbl_Erase"))->geometry(),
             QRect(0, 48, 89, restored ? 26 : 25));
}

void TestMainWindow::clicksReachTheTool_data()
{
    QTest::addColumn<QString>("control");
    QTest::addColumn<Qt::MouseButton>("mouseButton");
    QTest::addColumn<QPoint>("releaseAt");
    QTest::addColumn<bool>("doubleClick");
    QTest::addColumn<bool>("clicked");
    const QPoint inside(40, 10);
    QTest::newRow("icon") << QStringLiteral("img_Copy") << Qt::LeftButton << inside << false
                          << true;
    QTest::newRow("caption") << QStringLiteral("lbl_Copy") << Qt::LeftButton << inside << false
                             << true;
    QTest::newRow("panel") << QStringLiteral("btn_Copy") << Qt::LeftButton << inside << false
                           << true;
    QTest::newRow("dragged off") << QStringLiteral("img_Copy") << Qt::LeftButton << QPoint(200, 10)
                                 << false << false;
    QTest::newRow("right button") << QStringLiteral("img_Copy") << Qt::RightButton << inside
                                  << false << false;
    QTest::newRow("double click once")
        << QStringLiteral("lbl_Copy") << Qt::LeftButton << inside << true << true;
}

void TestMainWindow::clicksReachTheTool()
{
    QFETCH(QString, control);
    QFETCH(Qt::MouseButton, mouseButton);
    QFETCH(QPoint, releaseAt);
    QFETCH(bool, doubleClick);
    QFETCH(bool, clicked);
    MainWindowFixture f;
    f.show();
    auto* button = f.child<ToolButton>(QStringLiteral("btn_Copy"));
    QSignalSpy clicks(button, &ToolButton::clicked);
    QWidget* target = f.child(control);

    // The tool is missing, so every click that counts shows a warning.
    ModalWatcher warnings;

    QTest::mousePress(target, mouseButton, {}, QPoint(40, 10));
    QTest::mouseRelease(target, mouseButton, {}, releaseAt);
    if (doubleClick) {
        QTest::mouseDClick(target, mouseButton, {}, QPoint(40, 10));
        QTest::mouseRelease(target, mouseButton, {}, releaseAt);
    }
    QCOMPARE(clicks.size(), clicked ? 1 : 0);
    QCOMPARE(warnings.count(), clicked ? 1 : 0);
    if (mouseButton == Qt::LeftButton)
        QCOMPARE(button->geometry(), QRect(186, 8, 89, 74));
}

void TestMainWindow::statusBarShowsLongHint()
{
    MainWindowFixture f;
    f.addLanguageFile(QStringLiteral("[v3.0]\r\nCopyDisc=Copy|Copy a whole disc.\r\n"));
    f.show();
    auto* bar = f.child<QStatusBar>(QStringLiteral("sts_Bar"));

    QTest::mouseMove(f.child(QStringLiteral("img_Copy")), QPoint(44, 24));
    QTRY_COMPARE(bar->currentMessage(), QStringLiteral("Copy a whole disc."));
    QTest::mouseMove(f.child(QStringLiteral("lbl_Info")), QPoint(44, 10));
    QTRY_COMPARE(bar->currentMessage(), QStringLiteral("View disc and drive information."));
    QTest::mouseMove(f.child(QStringLiteral("lbl_Utilities")), QPoint(5, 5));
    QTRY_COMPARE(bar->currentMessage(), QString());
    QTest::mouseMove(f.child(QStringLiteral("img_Info")), QPoint(44, 24));
    QTRY_VERIFY(!bar->currentMessage().isEmpty());
    QTest::mouseMove(f.child(QStringLiteral("pnl_Top4")), QPoint(480, 80));
    QTRY_COMPARE(bar->currentMessage(), QString());

    // A highlighted tool entry shows its description, any other entry empties the bar. The
    // menus are opened from the menu bar, as the user opens them.
    auto* file = f.child<QMenu>(QStringLiteral("File1"));
    f.window->menuBar()->setActiveAction(file->menuAction());
    QVERIFY(QTest::qWaitForWindowExposed(file));
    auto* utilities = f.child<QMenu>(QStringLiteral("Utilities1"));
    file->setActiveAction(utilities->menuAction());
    QTest::keyClick(file, Qt::Key_Right);
    QVERIFY(QTest::qWaitForWindowExposed(utilities));
    utilities->setActiveAction(f.child<QAction>(QStringLiteral("CopyDisc1")));
    QTRY_COMPARE(bar->currentMessage(), QStringLiteral("Copy a whole disc."));
    QTest::keyClick(utilities, Qt::Key_Left);
    file->setActiveAction(f.child<QAction>(QStringLiteral("Exit1")));
    QTRY_COMPARE(bar->currentMessage(), QString());
    file->close();
}

void TestMainWindow::accessibleTools()
{
    MainWindowFixture f;
    f.addLanguageFile(QStringLiteral("[Captions]\r\nAudioCD=&Audio-CD\r\n"));
    f.show();
    auto* button = f.child<ToolButton>(QStringLiteral("btn_AudioCD"));
    QAccessibleInterface* tool = QAccessible::queryAccessibleInterface(button);
    QVERIFY(tool);
    QCOMPARE(tool->role(), QAccessible::Button);
    QCOMPARE(tool->text(QAccessible::Name), QStringLiteral("Audio-CD"));
    QCOMPARE(tool->text(QAccessible::Description),
             QStringLiteral("Create standard Audio CD that can be played on any CD player."));
    QSignalSpy clicks(button, &ToolButton::clicked);
    ModalWatcher missingTool;
    tool->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    QCOMPARE(clicks.size(), 1);

    auto* bar = f.child<QStatusBar>(QStringLiteral("sts_Bar"));
    QTest::mouseMove(f.child(QStringLiteral("img_AudioCD")), QPoint(44, 24));
    QTRY_COMPARE(QAccessible::queryAccessibleInterface(bar)->text(QAccessible::Name),
                 tool->text(QAccessible::Description));
}

void TestMainWindow::closeWritesSettings()
{
    // Each close path ends in the same close query.
    for (int path = 0; path < 2; ++path) {
        MainWindowFixture f("[Corvane]\nAutoUpdate=0\nAutoClose=1\n");
        Tfrm_Main& w = f.show();
        QVERIFY(w.autoClose());
        QFile::remove(f.configFolder + QStringLiteral("/corvane.ini"));
        if (path == 0)
            f.child<QAction>(QStringLiteral("Exit1"))->trigger();
        else
            w.close(); // the close box
        QTRY_VERIFY(!w.isVisible());
        QFile file(f.configFolder + QStringLiteral("/corvane.ini"));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), QByteArray("[Corvane]\nAutoUpdate=0\nAutoClose=1\n"));
    }
}

void TestMainWindow::failedCloseKeepsWindowOpen()
{
    MainWindowFixture f;
    Tfrm_Main& w = f.show();
    // A folder where the file should be makes every write fail.
    QFile::remove(f.configFolder + QStringLiteral("/corvane.ini"));
    QDir().mkpath(f.configFolder + QStringLiteral("/corvane.ini"));
    QString shown;
    QString title;
    handleNextModal([&](QWidget* box) {
        shown = static_cast<QMessageBox*>(box)->text();
        title = box->windowTitle();
        QCOMPARE(static_cast<QMessageBox*>(box)->icon(), QMessageBox::Critical);
    });
    QVERIFY(!w.close());
    QVERIFY(w.isVisible());
    QCOMPARE(title, QStringLiteral("Corvane Professional"));
    QCOMPARE(shown, u"Unable to write to " + f.configFolder + u"/corvane.ini");

    // Once the cause is gone, the next close goes through.
    QDir(f.configFolder + QStringLiteral("/corvane.ini")).removeRecursively();
    QVERIFY(w.close());
}

QTEST_MAIN(TestMainWindow)
#include "test_mainwindow.moc"
