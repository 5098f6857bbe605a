// The HTTP module: one GET per connection ("Connection: close"), over a QTcpSocket, or a
// QSslSocket for https (through an http proxy, in a tunnel that we ask for with CONNECT). We speak
// HTTP ourselves instead of using QNetworkAccessManager because its reply gives no hold on the
// head: a server or proxy that sends header lines without end made it buffer hundreds of megabytes
// before any timeout could fire. Here the head is read into a buffer of fixed size, and the body
// leaves the socket in blocks (see httpparse.h).

#include "update/httpexchange.h"

#include "update/httpparse.h"

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QNetworkProxy>
#include <QNetworkProxyFactory>
#include <QSslSocket>
#include <QTcpSocket>
#include <QTimer>
#include <algorithm>

namespace corvane::http {

namespace {

constexpr int MaxInterimHeads = 16; // "100 Continue" and the like before the answer
constexpr qint64 SocketBufferSize = 64 * 1024;
constexpr qsizetype BodyBufferSize = 64 * 1024;

bool isPrintable(QByteArrayView bytes)
{
    return std::none_of(bytes.begin(), bytes.end(), [](char c) {
        const auto u = static_cast<unsigned char>(c);
        return u < 0x20 || u == 0x7f;
    });
}

QNetworkProxy systemProxy(const QUrl& url)
{
    const QList<QNetworkProxy> proxies =
        QNetworkProxyFactory::systemProxyForQuery(QNetworkProxyQuery(url));
    return proxies.isEmpty() ? QNetworkProxy(QNetworkProxy::NoProxy) : proxies.first();
}

bool isHttpProxy(const QNetworkProxy& proxy)
{
    return proxy.type() == QNetworkProxy::HttpProxy ||
           proxy.type() == QNetworkProxy::HttpCachingProxy;
}

// The header line with the proxy's credentials, empty when it has none.
QByteArray proxyAuthorization(const QNetworkProxy& proxy)
{
    if (proxy.user().isEmpty())
        return {};
    const QString credentials = proxy.user() + u':' + proxy.password();
    return "Proxy-Authorization: Basic " + credentials.toUtf8().toBase64() + "\r\n";
}

// The request's head, or nothing when a part of it could smuggle in a line of its own. A
// request through a plain-http proxy names the whole address and carries the proxy's
// credentials, if it has any.
QByteArray requestHead(const Request& request, const QNetworkProxy* httpProxy)
{
    const bool absoluteForm = httpProxy != nullptr;
    QUrl url = request.url.adjusted(QUrl::RemoveUserInfo | QUrl::RemoveFragment);
    if (url.path().isEmpty())
        url.setPath(QStringLiteral("/"));
    const QByteArray target =
        absoluteForm ? url.toEncoded() : url.toEncoded(QUrl::RemoveScheme | QUrl::RemoveAuthority);
    const QByteArray host = url.authority(QUrl::FullyEncoded).toLatin1();
    if (target.isEmpty() || host.isEmpty() || !isPrintable(target) || target.contains(' ') ||
        !isPrintable(host))
        return {};
    QByteArray head = "GET " + target + " HTTP/1.1\r\nHost: " + host + "\r\n";
    for (const auto& [name, value] : request.headers) {
        if (name.isEmpty() || !isPrintable(name) || name.contains(':') || !isPrintable(value))
            return {};
        head += name + ": " + value + "\r\n";
    }
    if (httpProxy)
        head += proxyAuthorization(*httpProxy);
    head += "Connection: close\r\n\r\n";
    return head;
}

// The request that asks an http proxy for a tunnel to the address's host and port.
QByteArray connectHead(const QUrl& url, const QNetworkProxy& proxy)
{
    QUrl endpoint = url.adjusted(QUrl::RemoveUserInfo);
    endpoint.setPort(url.port(443));
    const QByteArray authority = endpoint.authority(QUrl::FullyEncoded).toLatin1();
    if (endpoint.host().isEmpty() || !isPrintable(authority) || authority.contains(' '))
        return {};
    return "CONNECT " + authority + " HTTP/1.1\r\nHost: " + authority + "\r\n" +
           proxyAuthorization(proxy) + "\r\n";
}

class SocketExchange final : public Exchange
{
public:
    SocketExchange() = default;
    ~SocketExchange() override = default;
    SocketExchange(const SocketExchange&) = delete;
    SocketExchange& operator=(const SocketExchange&) = delete;

    Wait open(const Request& request, std::chrono::milliseconds timeout) override;
    int status() const override { return m_head.status; }
    QByteArray header(QByteArrayView name) const override { return m_head.header(name); }
    Wait read(char* to, qint64 size, qint64& got, std::chrono::milliseconds stall) override;
    void interrupt() override;

private:
    void connectPlain(const QString& host, quint16 port, const QByteArray& head);
    void sendWhenEncrypted(const QByteArray& head);
    QSslSocket& tls() { return static_cast<QSslSocket&>(*m_socket); }
    Wait openTunnel(const QString& host, const QByteArray& head, const QDeadlineTimer& deadline);
    Wait readHead(const QDeadlineTimer& deadline);
    Wait waitForSocket(std::chrono::milliseconds timeout);
    void pull(qsizetype limit);
    QByteArrayView pending() const { return QByteArrayView(m_buffer).sliced(m_consumed); }
    bool socketAtEnd() const;

    std::unique_ptr<QTcpSocket> m_socket;
    QByteArray m_buffer; // received from the socket; bytes before m_consumed are used
    qsizetype m_consumed = 0;
    QEventLoop* m_loop = nullptr; // the wait in progress
    bool m_interrupted = false;
    ResponseHead m_head;
    std::optional<BodyDecoder> m_body;
};

Wait SocketExchange::open(const Request& request, std::chrono::milliseconds timeout)
{
    const QDeadlineTimer deadline(timeout);
    const QUrl& url = request.url;
    const bool secure = url.scheme() == u"https";
    if (secure && !QSslSocket::supportsSsl())
        return Wait::Failed;
    const QNetworkProxy proxy =
        request.proxy
            ? QNetworkProxy(QNetworkProxy::HttpProxy, request.proxy->host, request.proxy->port)
            : systemProxy(url);
    const bool viaHttpProxy = isHttpProxy(proxy);
    const QByteArray head = requestHead(request, viaHttpProxy && !secure ? &proxy : nullptr);
    if (head.isEmpty())
        return Wait::Failed;

    m_socket = secure ? std::make_unique<QSslSocket>() : std::make_unique<QTcpSocket>();
    // An http proxy is spoken to by us, with the bounds of every answer; Qt would take in its
    // answer to CONNECT without limit.
    m_socket->setProxy(
        proxy.type() == QNetworkProxy::Socks5Proxy ? proxy : QNetworkProxy(QNetworkProxy::NoProxy));
    // Qt stops reading from the connection while this much is waiting for us.
    m_socket->setReadBufferSize(SocketBufferSize);

    const quint16 port = static_cast<quint16>(url.port(secure ? 443 : 80));
    if (viaHttpProxy && secure) {
        const QByteArray tunnel = connectHead(url, proxy);
        if (tunnel.isEmpty())
            return Wait::Failed;
        connectPlain(proxy.hostName(), proxy.port(), tunnel);
        if (const Wait wait = openTunnel(url.host(), head, deadline); wait != Wait::Ready)
            return wait;
    } else if (viaHttpProxy) {
        connectPlain(proxy.hostName(), proxy.port(), head);
    } else if (secure) {
        sendWhenEncrypted(head);
        tls().connectToHostEncrypted(url.host(), port);
    } else {
        connectPlain(url.host(), port, head);
    }
    if (const Wait wait = readHead(deadline); wait != Wait::Ready)
        return wait;
    m_body = BodyDecoder::forHead(m_head);
    return m_body ? Wait::Ready : Wait::Failed;
}

// Connects without encryption and sends `head` once connected.
void SocketExchange::connectPlain(const QString& host, quint16 port, const QByteArray& head)
{
    QTcpSocket* socket = m_socket.get();
    QObject::connect(socket, &QAbstractSocket::connected, socket,
                     [socket, head] { socket->write(head); });
    socket->connectToHost(host, port);
}

void SocketExchange::sendWhenEncrypted(const QByteArray& head)
{
    QSslSocket* socket = &tls();
    QObject::connect(socket, &QSslSocket::encrypted, socket,
                     [socket, head] { socket->write(head); });
}

// The proxy's answer to CONNECT, read like any head; on a 2xx the connection is the server's,
// and encryption starts on it, checked against the server's name, not the proxy's.
Wait SocketExchange::openTunnel(const QString& host, const QByteArray& head,
                                const QDeadlineTimer& deadline)
{
    if (const Wait wait = readHead(deadline); wait != Wait::Ready)
        return wait;
    // The server speaks only after our first message: anything more came from the proxy.
    if (m_head.status / 100 != 2 || !pending().isEmpty() || m_socket->bytesAvailable() > 0)
        return Wait::Failed;
    sendWhenEncrypted(head);
    tls().setPeerVerifyName(host);
    tls().startClientEncryption();
    return Wait::Ready;
}

// The head of the next answer into m_head, passing over interim (1xx) heads.
Wait SocketExchange::readHead(const QDeadlineTimer& deadline)
{
    for (int interim = 0;;) {
        pull(MaxHeadSize + 1);
        qsizetype used = 0;
        switch (parseHead(pending(), m_head, used)) {
        case HeadParse::Broken:
            return Wait::Failed;
        case HeadParse::Done:
            m_consumed += used;
            if (m_head.status >= 200)
                return Wait::Ready;
            if (++interim > MaxInterimHeads)
                return Wait::Failed;
            continue;
        case HeadParse::NeedMore:
            break;
        }
        if (socketAtEnd())
            return Wait::Failed;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline.remainingTimeAsDuration());
        if (left.count() <= 0)
            return Wait::TimedOut;
        if (const Wait wait = waitForSocket(left); wait != Wait::Ready)
            return wait;
    }
}

Wait SocketExchange::read(char* to, qint64 size, qint64& got, std::chrono::milliseconds stall)
{
    got = 0;
    for (;;) {
        if (m_interrupted)
            return Wait::Interrupted;
        pull(BodyBufferSize);
        const BodyDecoder::Step step = m_body->decode(
            pending(), to, static_cast<qsizetype>(std::min<qint64>(size, BodyBufferSize)));
        m_consumed += step.used;
        got = step.produced;
        if (got > 0 || step.end)
            return Wait::Ready;
        if (step.used > 0)
            continue;
        // A connection that ends early ends the body with what came.
        if (socketAtEnd())
            return Wait::Ready;
        if (const Wait wait = waitForSocket(stall); wait != Wait::Ready)
            return wait;
    }
}

// Moves what the socket holds into the buffer, so that at most `limit` bytes are pending.
void SocketExchange::pull(qsizetype limit)
{
    if (m_consumed > 0) {
        m_buffer.remove(0, m_consumed);
        m_consumed = 0;
    }
    const qsizetype room = limit - m_buffer.size();
    if (room > 0 && m_socket->bytesAvailable() > 0)
        m_buffer += m_socket->read(room);
}

bool SocketExchange::socketAtEnd() const
{
    return m_socket->state() == QAbstractSocket::UnconnectedState &&
           m_socket->bytesAvailable() == 0;
}

Wait SocketExchange::waitForSocket(std::chrono::milliseconds timeout)
{
    if (m_interrupted)
        return Wait::Interrupted;
    QEventLoop loop;
    QTimer timer;
    timer.setSingleShot(true);
    bool timedOut = false;
    QObject::connect(&timer, &QTimer::timeout, &loop, [&] {
        timedOut = true;
        loop.quit();
    });
    QTcpSocket* socket = m_socket.get();
    QObject::connect(socket, &QIODevice::readyRead, &loop, &QEventLoop::quit);
    QObject::connect(socket, &QAbstractSocket::disconnected, &loop, &QEventLoop::quit);
    QObject::connect(socket, &QAbstractSocket::errorOccurred, &loop, &QEventLoop::quit);
    m_loop = &loop;
    timer.start(timeout);
    loop.exec();
    m_loop = nullptr;
    if (m_interrupted)
        return Wait::Interrupted;
    return timedOut ? Wait::TimedOut : Wait::Ready;
}

void SocketExchange::interrupt()
{
    m_interrupted = true;
    if (m_loop)
        m_loop->quit();
}

} // namespace

} // namespace corvane::http

extern "C" Q_DECL_EXPORT corvane::http::Exchange* corvane_http_create_exchange()
{
    return new corvane::http::SocketExchange;
}
