#pragma once

// Records the addresses handed to the desktop for one scheme instead of starting a browser or
// viewer, for as long as it lives.

#include <QDesktopServices>
#include <QList>
#include <QObject>
#include <QUrl>

namespace corvane::test {

class UrlRecorder : public QObject
{
    Q_OBJECT
public:
    explicit UrlRecorder(const QString& scheme)
        : m_scheme(scheme)
    {
        QDesktopServices::setUrlHandler(m_scheme, this, "open");
    }
    ~UrlRecorder() override { QDesktopServices::unsetUrlHandler(m_scheme); }

    QList<QUrl> opened;

public Q_SLOTS:
    void open(const QUrl& url) { opened.append(url); }

private:
    QString m_scheme;
};

} // namespace corvane::test
