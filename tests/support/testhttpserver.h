#pragma once

// A small HTTP/1.1 server on 127.0.0.1 for the tests of the fetcher and the update check. It
// runs on a thread of its own, so that it answers while the test's thread blocks or waits. Each
// path is scripted: status, headers, body, a delay, a stall, a connection reset after some
// bytes. Every request is recorded. Each connection carries one request and is closed after
// the answer. It serves https when given a TLS configuration. As a proxy, it answers CONNECT
// with a tunnel to the requested port on 127.0.0.1, whatever the host.

#include "serverthread.h"

#include <QByteArray>
#include <QList>
#include <QMutex>
#include <QString>
#include <map>
#include <utility>

struct TestRoute
{
    int status = 200;
    QList<std::pair<QByteArray, QByteArray>> headers;
    QByteArray body;
    bool sendContentLength = true;  // otherwise the body ends when the connection closes
    int delayMs = 0;                // before the answer
    bool stallBeforeAnswer = false; // read the request, answer nothing, keep the connection
    int stallAfterBytes = -1;       // send the headers and this many body bytes, then nothing
    int resetAfterBytes = -1;       // send the headers and this many body bytes, then reset
};

struct RecordedRequest
{
    QByteArray method;
    QByteArray target;
    QList<std::pair<QByteArray, QByteArray>> headers;

    /// Every value of the header `name` (compared without regard to case).
    QList<QByteArray> values(const QByteArray& name) const;
};

class TestHttpServer final : public ServerThread
{
public:
    explicit TestHttpServer(std::optional<QSslConfiguration> tls = std::nullopt);
    ~TestHttpServer() override;

    /// "http://127.0.0.1:<port>" + path, or https.
    QString url(const QString& path) const;

    /// Paths without a route are answered 404.
    void setRoute(const QByteArray& path, const TestRoute& route);
    QList<RecordedRequest> requests() const;
    int requestCount() const;

    // Server thread.
    TestRoute routeFor(const QByteArray& path) const;
    void record(const RecordedRequest& request);

protected:
    void serve(QTcpSocket* socket, QObject* parent) override;

private:
    const bool m_secure;
    mutable QMutex m_mutex;
    std::map<QByteArray, TestRoute> m_routes;
    QList<RecordedRequest> m_requests;
};
