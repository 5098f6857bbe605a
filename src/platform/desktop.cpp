// Desktop services and message boxes: the parts of the platform layer that need a GUI.

#include "platform/platform.h"

#include <QDesktopServices>
#include <QMessageBox>
#include <QUrl>

namespace corvane::platform {

void openUrl(const QUrl& url)
{
    // Goes to xdg-open (or the portal) for the desktop's registered handler; as with the
    // classic shell, a failure to open is not reported.
    QDesktopServices::openUrl(url);
}

namespace {

void showMessage(QWidget* owner, QMessageBox::Icon icon, const QString& title, const QString& text)
{
    QMessageBox box(icon, title, QString(), QMessageBox::Ok, owner);
    box.setTextFormat(Qt::PlainText);
    // A lone carriage return separates the lines of a message; Qt breaks lines only at
    // line feeds.
    QString shown = text;
    shown.replace(QLatin1String("\r\n"), QLatin1String("\n")).replace(u'\r', u'\n');
    box.setText(shown);
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
