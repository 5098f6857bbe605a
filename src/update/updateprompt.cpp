#include "update/updateprompt.h"

#include "ui_updateprompt.h"

#include "common/look.h"
#include "common/product.h"
#include "i18n/captiontext.h"
#include "i18n/texts.h"
#include "i18n/translate.h"
#include "platform/gui/desktop.h"

#include <QIcon>
#include <QStringList>
#include <QStyle>
#include <QWindow>

#include <algorithm>

namespace corvane {

namespace {

// A check box cannot wrap its caption, so break it at blanks where a line would overflow.
QString wrapCaption(const QString& caption, const QFontMetrics& metrics, int width)
{
    QString wrapped;
    QString line;
    const QStringList words = caption.split(u' ');
    for (const QString& word : words) {
        const QString longer = line.isEmpty() ? word : line + u' ' + word;
        if (!line.isEmpty() && metrics.horizontalAdvance(labelText(longer)) > width) {
            wrapped += line + u'\n';
            line = word;
        } else {
            line = longer;
        }
    }
    return wrapped + line;
}

// Version texts are cut to this many characters before they are measured: no more would fit
// the label, and a body of megabytes would otherwise be laid out whole.
constexpr qsizetype MaxMeasuredCharacters = 256;

bool isLineBreak(QChar c)
{
    return c == u'\n' || c == u'\r' || c == u'\v' || c == u'\f' || c == QChar(0x85) ||
           c == QChar::LineSeparator || c == QChar::ParagraphSeparator;
}

// The first line of `text`, elided with "…" where it is longer than `width` pixels, or where
// more text follows that is not shown.
QString firstLine(QStringView text, const QFontMetrics& metrics, int width)
{
    qsizetype end = 0;
    while (end < text.size() && end < MaxMeasuredCharacters && !isLineBreak(text[end]))
        ++end;
    QString line = text.first(end).toString();
    const QStringView rest = text.sliced(end);
    if (std::any_of(rest.begin(), rest.end(), [](QChar c) { return !isLineBreak(c); }))
        line += u'…';
    return metrics.elidedText(line, Qt::ElideRight, width);
}

} // namespace

Tfrm_Update::Tfrm_Update(const Translator& translator,
                         std::function<void(bool autoUpdate)> setAutoUpdate, QWidget* owner)
    : QDialog(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint)
    , ui(std::make_unique<Ui::frm_Update>())
    , m_setAutoUpdate(std::move(setAutoUpdate))
{
    ui->setupUi(this);
    setFixedSize(376, 159);
    platform::centreOverOwner(this);

    // The layout is in pixels, so is the font: 8 points at 96 dots per inch.
    setFont(windowFont());
    QFont bold = font();
    bold.setBold(true);
    ui->lbl_Media->setFont(bold);

    // The bevel's line runs along its top edge; a line frame would centre it in its height.
    ui->Bevel1->setFrameRect(QRect(0, 0, ui->Bevel1->width(), 2));

    QPalette white = ui->pnl_Main->palette();
    white.setColor(QPalette::Window, Qt::white);
    ui->pnl_Main->setPalette(white);

    QIcon globe;
    globe.addFile(QStringLiteral(":/icons/globe_48.png"));
    globe.addFile(QStringLiteral(":/icons/globe_96.png"));
    ui->Image1->setPixmap(globe.pixmap(QSize(48, 48), devicePixelRatioF()));

    connect(ui->btn_OK, &QPushButton::clicked, this, &Tfrm_Update::btn_OKClick);
    connect(ui->btn_Cancel, &QPushButton::clicked, this, &Tfrm_Update::btn_CancelClick);

    FormCreate(translator);
}

Tfrm_Update::~Tfrm_Update() = default;

void Tfrm_Update::FormCreate(const Translator& translator)
{
    setWindowTitle(translator.Translate(texts::UpdateCaption));
    const QString dontCheck = translator.Translate(texts::DontCheck);
    const int indicator =
        style()->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, ui->chk_Ask) +
        style()->pixelMetric(QStyle::PM_CheckBoxLabelSpacing, nullptr, ui->chk_Ask);
    ui->chk_Ask->setText(
        wrapCaption(dontCheck, ui->chk_Ask->fontMetrics(), ui->chk_Ask->width() - indicator));
    ui->btn_OK->setText(translator.Translate(texts::Yes));
    ui->btn_Cancel->setText(translator.Translate(texts::No));
}

void Tfrm_Update::setTexts(const QString& message, const QString& media, const QString& download)
{
    ui->lbl_Message->setText(labelText(message));
    ui->lbl_Message->adjustSize();

    // The version part comes from the server as received: one line of it is shown, as wide as
    // the text below, so that it spills over nothing.
    const int width = ui->lbl_Download->geometry().right() + 1 - ui->lbl_Media->x();
    ui->lbl_Media->setText(firstLine(media, ui->lbl_Media->fontMetrics(), width));
    ui->lbl_Media->adjustSize();

    ui->lbl_Download->setText(labelText(download));
}

void Tfrm_Update::showEvent(QShowEvent* event)
{
    // It ends only through its buttons. Created by now and not yet on the screen, the window
    // tells the window manager so in full.
    if (const QWindow* window = windowHandle())
        platform::requestTitleBarOnly(*window);
    QDialog::showEvent(event);
}

void Tfrm_Update::btn_OKClick()
{
    platform::openUrl(homePage());
    applyCheckBox();
    accept();
}

void Tfrm_Update::btn_CancelClick()
{
    reject();
}

void Tfrm_Update::reject()
{
    // Every way out other than "Yes" answers "No": the button, Esc, and a close by the window
    // manager, which may offer a close button or Alt+F4 whatever the prompt asks of it. None
    // may drop a ticked box.
    applyCheckBox();
    QDialog::reject();
}

void Tfrm_Update::applyCheckBox()
{
    if (m_setAutoUpdate)
        m_setAutoUpdate(!ui->chk_Ask->isChecked());
}

} // namespace corvane
