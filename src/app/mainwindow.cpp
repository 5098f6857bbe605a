#include "app/mainwindow.h"

#include "app/toolbutton.h"
#include "app/toolcatalog.h"
#include "app/toolstarter.h"
#include "common/layout.h"
#include "common/look.h"
#include "common/product.h"
#include "i18n/mainform.h"
#include "i18n/texts.h"
#include "i18n/translate.h"
#include "i18n/warning.h"
#include "platform/gui/desktop.h"
#include "settings/about.h"
#include "settings/help.h"
#include "update/updateprompt.h"
#include "update/versionkey.h"
#include "update/webdata.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QMenuBar>
#include <QStatusBar>
#include <QTimer>

namespace corvane {

namespace {

const QColor SilverText(0xC0, 0xC0, 0xC0);
// The update information is a version text of a few bytes. What a server sends beyond this is
// not read: a body cut at the bound still counts, and its text goes into the prompt.
constexpr qint64 UpdateInfoMaxSize = 64 * 1024;

} // namespace

Tfrm_Main::Tfrm_Main(const Translator& translator, const SettingsStore& settings, QWidget* parent,
                     ToolPictures* pictures)
    : QMainWindow(parent)
    , m_translator(translator)
    , m_settings(settings)
{
    setObjectName(QStringLiteral("frm_Main"));
    // Fixed size, with a minimise button but no maximise button.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    setWindowTitle(ProductTitle);
    setFont(windowFont());

    auto* client = new QWidget(this);
    client->setObjectName(QStringLiteral("client"));
    client->setFixedSize(layout::ClientWidth, layout::StatusTop);
    setCentralWidget(client);
    buildRows(client, pictures);

    sts_Bar = new QStatusBar(this);
    sts_Bar->setObjectName(QStringLiteral("sts_Bar"));
    sts_Bar->setSizeGripEnabled(false);
    sts_Bar->setFixedHeight(layout::StatusHeight);
    sts_Bar->setFont(QGuiApplication::font()); // the system's status bar font, not Tahoma
    setStatusBar(sts_Bar);
    // A screen reader reads the description the status bar shows as the bar's name.
    connect(sts_Bar, &QStatusBar::messageChanged, sts_Bar,
            [this](const QString& message) { sts_Bar->setAccessibleName(message); });

    buildMenu();

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(100);
    connect(Timer1, &QTimer::timeout, this, &Tfrm_Main::Timer1Timer);

    // Fixed size: the client area (rows and status bar) is 547 × 379 under the menu bar.
    setFixedSize(layout::ClientWidth, menuBar()->sizeHint().height() + layout::ClientHeight);
}

Tfrm_Main::~Tfrm_Main()
{
    // Normally the close query has released it; a window destroyed without closing must not
    // leave a fetch that would report to it.
    delete FWebData;
}

void Tfrm_Main::buildRows(QWidget* client, ToolPictures* pictures)
{
    for (std::size_t row = 0; row < Categories.size(); ++row) {
        const CategoryEntry& category = Categories[row];
        auto* panel = new QWidget(client);
        panel->setObjectName(category.panelName.toString());
        panel->setGeometry(0, static_cast<int>(row) * layout::RowHeight, layout::ClientWidth,
                           layout::RowHeight);
        panel->setAutoFillBackground(true);
        QPalette pal = panel->palette();
        pal.setColor(QPalette::Window, QColor::fromRgb(category.background));
        panel->setPalette(pal);

        auto* label = new CategoryLabel(panel);
        label->setObjectName(category.labelName.toString());
        label->setTextFormat(Qt::PlainText);
        label->setText(category.caption.defaultText.toString());
        label->setEnabled(false);
        label->setFocusPolicy(Qt::NoFocus);
        label->setAlignment(Qt::AlignRight | Qt::AlignTop);
        // Its own silver font, which the disabled drawing overrides; the label is as wide as
        // its text and right-aligned in the row's content area.
        QPalette labelPal = label->palette();
        labelPal.setColor(QPalette::WindowText, SilverText);
        label->setPalette(labelPal);
        label->setFont(windowFont());
        label->setAutoFillBackground(true);
        placeCategoryLabel(label);
    }

    for (const ToolEntry& tool : Tools) {
        QWidget* panel = client->findChild<QWidget*>(
            Categories[static_cast<std::size_t>(tool.category)].panelName.toString(),
            Qt::FindDirectChildrenOnly);
        connect(new ToolButton(tool, panel, pictures), &ToolButton::clicked, this,
                [this, &tool] { launch(tool); });
    }
}

void Tfrm_Main::placeCategoryLabel(QLabel* label)
{
    const int width = label->fontMetrics().horizontalAdvance(label->text()) + 1;
    const int contentWidth = layout::ClientWidth - 2 * layout::RowBorder;
    label->setGeometry(layout::RowBorder + contentWidth - width, layout::RowBorder, width,
                       layout::ButtonHeight);
}

QAction* Tfrm_Main::addAction(QMenu* menu, const QString& name, const QString& text)
{
    QAction* action = menu->addAction(text);
    action->setObjectName(name);
    return action;
}

void Tfrm_Main::buildMenu()
{
    QMenuBar* bar = menuBar();
    bar->setObjectName(QStringLiteral("mnu_Main"));

    QMenu* file = bar->addMenu(QStringLiteral("File"));
    file->setObjectName(QStringLiteral("File1"));
    for (std::size_t row = 0; row < Categories.size(); ++row) {
        const CategoryEntry& category = Categories[row];
        QMenu* submenu = file->addMenu(category.caption.defaultText.toString());
        submenu->setObjectName(category.menuName.toString());
        for (const ToolEntry& tool : Tools) {
            if (static_cast<std::size_t>(tool.category) != row)
                continue;
            QAction* entry =
                addAction(submenu, tool.menuName.toString(), tool.caption.defaultText.toString());
            connect(entry, &QAction::triggered, this, [this, &tool] { launch(tool); });
        }
    }
    file->addSeparator()->setObjectName(QStringLiteral("N2"));
    connect(addAction(file, QStringLiteral("Exit1"), QStringLiteral("Exit")), &QAction::triggered,
            this, &QWidget::close);

    QMenu* settings = bar->addMenu(QStringLiteral("Settings"));
    settings->setObjectName(QStringLiteral("Settings1"));
    connect(settings, &QMenu::aboutToShow, this, &Tfrm_Main::Settings1Click);
    // The marks only mirror the two preferences; Settings1Click sets them on every opening.
    Checkforupdates1 = addAction(settings, QStringLiteral("Checkforupdates1"),
                                 QStringLiteral("Check for updates when program starts"));
    Checkforupdates1->setCheckable(true);
    Checkforupdates1->setChecked(true);
    connect(Checkforupdates1, &QAction::toggled, this, &Tfrm_Main::setAutoUpdate);
    CloseMainWindow1 = addAction(settings, QStringLiteral("CloseMainWindow1"),
                                 QStringLiteral("Close main window after project is launched"));
    CloseMainWindow1->setCheckable(true);
    connect(CloseMainWindow1, &QAction::toggled, this, [this](bool on) {
        FAutoClose = on;
        SaveChangedSettings();
    });
    settings->addSeparator()->setObjectName(QStringLiteral("N4"));
    connect(addAction(settings, QStringLiteral("Restoredefaultsettings1"),
                      QStringLiteral("Restore default settings")),
            &QAction::triggered, this, &Tfrm_Main::Restoredefaultsettings1Click);

    QMenu* help = bar->addMenu(QStringLiteral("Help"));
    help->setObjectName(QStringLiteral("Help1"));
    QAction* help2 = addAction(help, QStringLiteral("Help2"), QStringLiteral("Help"));
    help2->setShortcut(QKeySequence(Qt::Key_F1));
    help2->setShortcutContext(Qt::WindowShortcut);
    connect(help2, &QAction::triggered, this, &Tfrm_Main::Help2Click);
    help->addSeparator()->setObjectName(QStringLiteral("N1"));
    connect(addAction(help, QStringLiteral("About1"), QStringLiteral("About...")),
            &QAction::triggered, this, &Tfrm_Main::About1Click);
}

void Tfrm_Main::showEvent(QShowEvent* event)
{
    if (!m_shown) {
        m_shown = true;
        FormShow();
    }
    QMainWindow::showEvent(event);
}

void Tfrm_Main::FormShow()
{
    // The tool captions take their colour from the window; the category labels keep theirs,
    // and the menu and status bar are separate.
    QPalette pal = centralWidget()->palette();
    pal.setColor(QPalette::WindowText, GreyText);
    centralWidget()->setPalette(pal);

    platform::centreOnScreen(this);
    raise();

    TranslateMainForm(*this, m_translator, mainFormTexts());
    for (const CategoryEntry& category : Categories)
        placeCategoryLabel(findChild<QLabel*>(category.labelName.toString()));
    LoadSettings();
    if (FAutoUpdate)
        startUpdateCheck();
    QCoreApplication::processEvents();
}

void Tfrm_Main::bringToFront(const QByteArray& token)
{
    showNormal();
    raise();
    platform::activateForStart(this, token);
}

void Tfrm_Main::LoadSettings()
{
    const Preferences preferences = m_settings.load();
    FAutoUpdate = preferences.autoUpdate;
    FAutoClose = preferences.autoClose;
    // The menu mirrors them whenever it opens; setting the marks now as well lets assistive
    // technology, which reads the menu without opening it, see them right from the start.
    Settings1Click();
}

void Tfrm_Main::Settings1Click()
{
    const QSignalBlocker blockUpdate(Checkforupdates1);
    const QSignalBlocker blockClose(CloseMainWindow1);
    Checkforupdates1->setChecked(FAutoUpdate);
    CloseMainWindow1->setChecked(FAutoClose);
}

void Tfrm_Main::Restoredefaultsettings1Click()
{
    const Preferences defaults = m_settings.restoreDefaults();
    FAutoUpdate = defaults.autoUpdate;
    FAutoClose = defaults.autoClose;
    Settings1Click();
}

void Tfrm_Main::setAutoUpdate(bool on)
{
    if (on == FAutoUpdate)
        return;
    FAutoUpdate = on;
    SaveChangedSettings();
}

void Tfrm_Main::SaveChangedSettings()
{
    // Written at once, and again at the close: the session may end without closing the window
    // (a Wayland session asks nothing before it ends, and a display that goes away ends the
    // process), and a change must outlive that. A failure here says nothing; the close, which
    // writes again, reports it.
    [[maybe_unused]] const std::optional<QString> error =
        m_settings.save(Preferences{FAutoUpdate, FAutoClose});
}

bool Tfrm_Main::FormCloseQuery()
{
    // Released first: whatever the settings write does, no event of the fetch may reach the
    // window afterwards.
    delete FWebData;
    FWebData = nullptr;

    if (const std::optional<QString> error =
            m_settings.save(Preferences{FAutoUpdate, FAutoClose})) {
        platform::showError(this, ProductTitle, *error);
        return false;
    }
    return true;
}

void Tfrm_Main::closeEvent(QCloseEvent* event)
{
    if (FormCloseQuery())
        event->accept();
    else
        event->ignore();
}

void Tfrm_Main::launch(const ToolEntry& tool)
{
    LaunchTool(tool.executable.toString(), tool.argument.toString());
}

void Tfrm_Main::LaunchTool(const QString& fileName, const QString& argument)
{
    const ToolStart start = startTool(m_translator.programFolder(), fileName, argument);
    // A tool that is there but does not run (no execute permission, a damaged file) must not
    // pass for a started one: the user is told, and the launcher stays open for another try
    // whatever the close-after-launch preference says.
    if (start.outcome == ToolStart::Missing)
        showTwoLineWarning(this, m_translator, texts::ToolMissing, texts::ToolRemedy);
    else if (start.outcome == ToolStart::NotStarted)
        showTwoLineWarning(this, m_translator.Translate(texts::ToolNotStarted), start.path);
    else if (FAutoClose)
        close();
}

void Tfrm_Main::Help2Click()
{
    openHelp(this, m_translator);
    QCoreApplication::processEvents();
}

void Tfrm_Main::About1Click()
{
    // A fresh window for every opening, so a changed language file shows at once.
    Tfrm_About frm_About(m_translator, this);
    frm_About.exec();
}

void Tfrm_Main::startUpdateCheck()
{
    // Owned by the application; released by the close query, which may come first.
    FWebData = new TWebData(QCoreApplication::instance());
    FWebData->Data().Add()->URL = updateInfoAddress().toString();
    FWebData->setMaxBodySize(UpdateInfoMaxSize);
    FWebData->OnData = [this](TWebData*, int, const QString& body) { UpdateInfoReceived(body); };
    // The fetch itself waits until the window's first frame is on the screen: its worker loads
    // the network code, which beside the window's own start-up only slowed the window down. A
    // window closed before that has released the fetcher, and nothing is fetched.
    platform::afterFirstFrame(this, [this] {
        if (FWebData)
            FWebData->Collect();
    });
}

void Tfrm_Main::UpdateInfoReceived(const QString& body)
{
    // Worker thread: no widget is touched here. The text is stored before the timer is armed,
    // and the queued call orders the two for the main thread. The fetcher is released before
    // the window goes, and releasing it waits for this handler, so `this` is alive here.
    if (body.isEmpty() || !isNewerVersion(body, ProductVersion))
        return;
    AvailableVersion = body;
    QMetaObject::invokeMethod(Timer1, qOverload<>(&QTimer::start), Qt::QueuedConnection);
}

QString Tfrm_Main::availableVersion() const
{
    return AvailableVersion;
}

void Tfrm_Main::Timer1Timer()
{
    Timer1->stop();
    // A fresh window for every showing, destroyed when its modal loop ends.
    Tfrm_Update frm_Update(
        m_translator, [this](bool on) { setAutoUpdate(on); }, this);
    const QString message = m_translator.Translate(texts::Available);
    frm_Update.setTexts(message, ProductTitle + u' ' + AvailableVersion,
                        m_translator.Translate(texts::Download));
    frm_Update.exec();
}

} // namespace corvane
