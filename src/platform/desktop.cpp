// Desktop services and message boxes: the parts of the platform layer that need a GUI.

#include "platform/platform.h"

#include "i18n/captiontext.h"

#include <QDesktopServices>
#include <QMessageBox>
#include <QUrl>

namespace corvane::platform {

bool openUrl(const QUrl& url)
{
    // Goes to xdg-open (or the portal), which is started and not waited for: false means it
    // could not be started at all.
    return QDesktopServices::openUrl(url);
}

namespace {

void showMessage(QWidget* owner, QMessageBox::Icon icon, const QString& title, const QString& text)
{
    QMessageBox box(icon, title, QString(), QMessageBox::Ok, owner);
    box.setTextFormat(Qt::PlainText);
    box.setText(lineBreaks(text));
    box.exec();
}

} // namespace

void showWarning(QWidget* owner, const QString& title, const QString& text)
{
    showMessage(owner, QMessageBox::Warning, title, text);
}

void showError(QWidget* owner, const QString& title, const QString& text)
{
    showMessage(owner, QMessageBox::Critical, title, text);
}

} // namespace corvane::platform
