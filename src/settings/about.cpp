#include "settings/about.h"

#include "ui_about.h"

#include "common/look.h"
#include "common/product.h"
#include "i18n/captiontext.h"
#include "i18n/texts.h"
#include "i18n/translate.h"
#include "platform/gui/desktop.h"
#include "platform/platform.h"

#include <QIcon>
#include <QKeyEvent>
#include <QMouseEvent>

namespace corvane {

namespace {

// The untranslated end of the rights notice; the language file supplies only its first word.
const QString CopyrightNotice = QStringLiteral(" \u00A9 2012 Corvane Software.");

} // namespace

Tfrm_About::Tfrm_About(const Translator& translator, QWidget* owner)
    : QDialog(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                         Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint)
    , ui(std::make_unique<Ui::frm_About>())
    , m_translator(translator)
{
    ui->setupUi(this);
    setFixedSize(395, 283);
    platform::centreOverOwner(this);

    // The layout is in pixels, so are the fonts: 8 points and 12 points at 96 dots per inch.
    setFont(windowFont());
    QFont title = pixelFont(QStringLiteral("Arial"), 16);
    title.setBold(true);
    ui->lbl_BA->setFont(title);

    QIcon picture;
    picture.addFile(QStringLiteral(":/icons/about_128.png"));
    picture.addFile(QStringLiteral(":/icons/about_256.png"));
    ui->Image1->setPixmap(picture.pixmap(QSize(128, 128), devicePixelRatioF()));

    QFont link = windowFont();
    link.setUnderline(true);
    ui->Label1->setFont(link);
    QPalette linkColours = ui->Label1->palette();
    linkColours.setColor(QPalette::WindowText, QColor(0, 102, 221));
    ui->Label1->setPalette(linkColours);
    ui->Label1->setText(homePage().host());
    ui->Label1->adjustSize();
    ui->Label1->installEventFilter(this);

    connect(ui->btn_OK, &QPushButton::clicked, this, &QDialog::accept);
}

Tfrm_About::~Tfrm_About() = default;

void Tfrm_About::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (!m_shown) {
        m_shown = true;
        FormShow();
    }
}

void Tfrm_About::keyPressEvent(QKeyEvent* event)
{
    // OK is the cancel button as well: Esc presses it rather than rejecting the window.
    if (event->matches(QKeySequence::Cancel)) {
        ui->btn_OK->click();
        return;
    }
    QDialog::keyPressEvent(event);
}

bool Tfrm_About::eventFilter(QObject* watched, QEvent* event)
{
    // The link is a plain-text label, so a click is a left press and release on it.
    if (watched == ui->Label1) {
        if (event->type() == QEvent::MouseButtonPress) {
            m_linkPressed = static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton;
        } else if (event->type() == QEvent::MouseButtonRelease) {
            const auto* mouse = static_cast<QMouseEvent*>(event);
            const bool clicked = m_linkPressed && mouse->button() == Qt::LeftButton &&
                                 ui->Label1->rect().contains(mouse->position().toPoint());
            m_linkPressed = false;
            if (clicked)
                Label1Click();
        }
    }
    return QDialog::eventFilter(watched, event);
}

void Tfrm_About::FormShow()
{
    // No event processing here: it would run before exec() has its own loop, and a close
    // handled then (a queued key, a timer) would leave exec() waiting on a hidden window.
    setWindowTitle(m_translator.Translate(texts::AboutCaption));
    ui->btn_OK->setText(m_translator.Translate(texts::Ok));

    const QString date = platform::shortDate(BuildDate);
    const QString version = m_translator.Translate(texts::Version);
    const QString compiled = m_translator.Translate(texts::Compiled);
    const QString copyright = m_translator.Translate(texts::Copyright);
    const QString reserved = m_translator.Translate(texts::Reserved);
    // The lines are joined by lone carriage returns.
    const QString caption = version + QLatin1String(": ") + ProductVersion + u'\r' + compiled +
                            u' ' + date + u'\r' + u'\r' + copyright + CopyrightNotice + u'\r' +
                            reserved;
    ui->lbl_Version->setText(platform::lineBreaks(labelText(caption)));
    ui->lbl_Version->adjustSize();

    ui->Label1->move(16, ui->lbl_Version->y() + ui->lbl_Version->height());

    ui->lbl_BA->setText(ProductTitle);
    ui->lbl_BA->adjustSize();
}

void Tfrm_About::Label1Click()
{
    // Not examined: a missing browser is not worth a message here.
    platform::openUrl(homePage());
}

} // namespace corvane
