#pragma once

// Modal windows in the window tests: each one that appears is looked at and dismissed.

#include <QApplication>
#include <QDialog>
#include <QMessageBox>
#include <QString>
#include <QTest>
#include <QTimer>
#include <functional>

namespace corvane::test {

/// Closes a modal window the way its user would dismiss it.
inline void dismiss(QWidget* modal)
{
    if (auto* box = qobject_cast<QMessageBox*>(modal))
        box->done(QMessageBox::Ok);
    else if (auto* dialog = qobject_cast<QDialog*>(modal))
        dialog->reject();
    else
        modal->close();
}

/// Runs `inspect` on the next modal window that appears (a message box or dialog), then
/// closes it. Call before the action that opens it.
inline void handleNextModal(std::function<void(QWidget*)> inspect)
{
    auto* poll = new QTimer;
    poll->setInterval(10);
    QObject::connect(poll, &QTimer::timeout, poll, [poll, inspect = std::move(inspect)] {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal)
            return;
        poll->stop();
        poll->deleteLater();
        inspect(modal);
        dismiss(modal);
    });
    poll->start();
}

/// Handles every modal window that appears while it lives: runs `inspect` on it, then
/// closes it, and counts them.
class ModalWatcher
{
public:
    explicit ModalWatcher(std::function<void(QWidget*)> inspect = {})
        : m_inspect(std::move(inspect))
    {
        QObject::connect(&m_poll, &QTimer::timeout, &m_poll, [this] {
            QWidget* modal = QApplication::activeModalWidget();
            if (!modal)
                return;
            ++m_count;
            if (m_inspect)
                m_inspect(modal);
            dismiss(modal);
        });
        m_poll.start(10);
    }
    int count() const { return m_count; }

private:
    QTimer m_poll;
    std::function<void(QWidget*)> m_inspect;
    int m_count = 0;
};

} // namespace corvane::test
