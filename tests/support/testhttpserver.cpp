#include "testhttpserver.h"

#include <QPointer>
#include <QTcpSocket>
#include <QTimer>
#include <QUrl>

namespace {

// Serves one connection: reads the request head, then answers as the route says.
class Connection final : public QObject
{
public:
    Connection(TestHttpServer& server, QTcpSocket* socket, QObject* parent)
        : QObject(parent)
        , m_server(server)
        , m_socket(socket)
    {
        m_socket->setParent(this);
        QObject::connect(m_socket, &QTcpSocket::readyRead, this, [this] { readRequest(); });
        QObject::connect(m_socket, &QTcpSocket::disconnected, this, &QObject::deleteLater);
    }

private:
    void readRequest()
    {
        if (m_answered)
            return;
        m_buffer += m_socket->readAll();
        const qsizetype end = m_buffer.indexOf("\r\n\r\n");
        if (end < 0)
            return;
        m_answered = true;
        const QList<QByteArray> lines = m_buffer.left(end).split('\n');
        RecordedRequest request;
        const QList<QByteArray> first = lines.value(0).trimmed().split(' ');
        request.method = first.value(0);
        request.target = first.value(1);
        for (qsizetype i = 1; i < lines.size(); ++i) {
            const QByteArray line = lines[i].trimmed();
            const qsizetype colon = line.indexOf(':');
            if (colon > 0)
                request.headers.append({line.left(colon).trimmed(), line.mid(colon + 1).trimmed()});
        }
        m_server.record(request);
        if (request.method == "CONNECT") {
            openTunnel(request.target.mid(request.target.lastIndexOf(':') + 1).toUShort());
            return;
        }

        QByteArray path = request.target;
        if (path.startsWith("http://")) {
            const QUrl url = QUrl::fromEncoded(path);
            path = url.path(QUrl::FullyEncoded).toLatin1();
            if (url.hasQuery())
                path += '?' + url.query(QUrl::FullyEncoded).toLatin1();
        }
        m_route = m_server.routeFor(path);
        if (m_route.stallBeforeAnswer)
            return;
        QTimer::singleShot(m_route.delayMs, this, [this] { answer(); });
    }

    void answer()
    {
        QByteArray head = "HTTP/1.1 " + QByteArray::number(m_route.status) + " Scripted\r\n";
        for (const auto& [name, value] : std::as_const(m_route.headers))
            head += name + ": " + value + "\r\n";
        if (m_route.sendContentLength)
            head += "Content-Length: " + QByteArray::number(m_route.body.size()) + "\r\n";
        head += "Connection: close\r\n\r\n";
        m_socket->write(head);
        if (m_route.stallAfterBytes >= 0) {
            m_socket->write(m_route.body.left(m_route.stallAfterBytes));
            m_socket->flush();
            return;
        }
        if (m_route.resetAfterBytes >= 0) {
            m_socket->write(m_route.body.left(m_route.resetAfterBytes));
            m_socket->flush();
            // Give the client time to take the bytes before the reset arrives.
            QTimer::singleShot(200, this, [this] {
                resetConnection(*m_socket);
                deleteLater();
            });
            return;
        }
        m_socket->write(m_route.body);
        m_socket->disconnectFromHost();
    }

    // Joins the connection to `port` on 127.0.0.1 once that answers, both ways, until either
    // side closes.
    void openTunnel(quint16 port)
    {
        auto* server = new QTcpSocket(this);
        const auto pipe = [](QTcpSocket* from, QTcpSocket* to) {
            QObject::connect(from, &QTcpSocket::readyRead, to,
                             [from, to] { to->write(from->readAll()); });
            QObject::connect(from, &QTcpSocket::disconnected, to, &QTcpSocket::disconnectFromHost);
        };
        QObject::connect(server, &QTcpSocket::connected, this, [this, server, pipe] {
            m_socket->write("HTTP/1.1 200 Connection established\r\n\r\n");
            pipe(m_socket, server);
            pipe(server, m_socket);
        });
        QObject::connect(server, &QTcpSocket::errorOccurred, m_socket,
                         &QTcpSocket::disconnectFromHost);
        server->connectToHost(QHostAddress::LocalHost, port);
    }

    TestHttpServer& m_server;
    QTcpSocket* m_socket;
    QByteArray m_buffer;
    TestRoute m_route;
    bool m_answered = false;
};

} // namespace

QList<QByteArray> RecordedRequest::values(const QByteArray& name) const
{
    QList<QByteArray> found;
    for (const auto& [key, value] : headers) {
        if (key.compare(name, Qt::CaseInsensitive) == 0)
            found.append(value);
    }
    return found;
}

TestHttpServer::TestHttpServer(std::optional<QSslConfiguration> tls)
    : m_secure(tls.has_value())
{
    startListening(std::move(tls));
}

TestHttpServer::~TestHttpServer()
{
    stopListening();
}

QString TestHttpServer::url(const QString& path) const
{
    return (m_secure ? QStringLiteral("https://127.0.0.1:") : QStringLiteral("http://127.0.0.1:")) +
           QString::number(port()) + path;
}

void TestHttpServer::setRoute(const QByteArray& path, const TestRoute& route)
{
    const QMutexLocker lock(&m_mutex);
    m_routes[path] = route;
}

QList<RecordedRequest> TestHttpServer::requests() const
{
    const QMutexLocker lock(&m_mutex);
    return m_requests;
}

int TestHttpServer::requestCount() const
{
    const QMutexLocker lock(&m_mutex);
    return static_cast<int>(m_requests.size());
}

TestRoute TestHttpServer::routeFor(const QByteArray& path) const
{
    const QMutexLocker lock(&m_mutex);
    const auto found = m_routes.find(path);
    if (found != m_routes.end())
        return found->second;
    TestRoute missing;
    missing.status = 404;
    missing.body = "no route";
    return missing;
}

void TestHttpServer::record(const RecordedRequest& request)
{
    const QMutexLocker lock(&m_mutex);
    m_requests.append(request);
}

void TestHttpServer::serve(QTcpSocket* socket, QObject* parent)
{
    // Connections still open (stalled ones) are the server's children and go with it.
    new Connection(*this, socket, parent);
}
