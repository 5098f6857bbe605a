// The HTTP module: one GET per connection ("Connection: close"), over a QTcpSocket, or a
// QSslSocket for https. We speak HTTP ourselves instead of using QNetworkAccessManager because
// its reply gives no hold on the head: a server or proxy that sends header lines without end
// made it buffer hundreds of megabytes before any timeout could fire. Here the head is read
// into a buffer of fixed size, and the body leaves the socket in blocks.

#include "update/httpexchange.h"

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QNetworkProxy>
#include <QNetworkProxyFactory>
#include <QSslSocket>
#include <QTcpSocket>
#include <QTimer>
#include <algorithm>
#include <cstring>

namespace corvane::http {

namespace {

constexpr qsizetype MaxHeadSize = 64 * 1024; // status line and headers of one answer
constexpr int MaxHeaderLines = 256;
constexpr int MaxInterimHeads = 16;      // "100 Continue" and the like before the answer
constexpr qsizetype MaxChunkLine = 4096; // a chunk-size line or a trailer line
constexpr qint64 SocketBufferSize = 64 * 1024;
constexpr qsizetype BodyBufferSize = 64 * 1024;

enum class Framing { None, Length, Chunked, UntilClose };
enum class ChunkPart { Size, Data, DataEnd, Trailer, Done };
enum class Produced { Bytes, End, NeedMore };

bool isPrintable(QByteArrayView bytes)
{
    return std::none_of(bytes.begin(), bytes.end(), [](char c) {
        const auto u = static_cast<unsigned char>(c);
        return u < 0x20 || u == 0x7f;
    });
}

// Where the head ends (just past its blank line), or -1. Bare LF line ends are accepted.
qsizetype headEnd(QByteArrayView bytes)
{
    for (qsizetype i = bytes.indexOf('\n'); i >= 0; i = bytes.indexOf('\n', i + 1)) {
        qsizetype next = i + 1;
        if (next < bytes.size() && bytes[next] == '\r')
            ++next;
        if (next < bytes.size() && bytes[next] == '\n')
            return next + 1;
    }
    return -1;
}

QByteArrayView withoutCarriageReturn(QByteArrayView line)
{
    return line.endsWith('\r') ? line.chopped(1) : line;
}

// "HTTP/1.x NNN reason" → NNN, or 0.
int parseStatusLine(QByteArrayView line)
{
    if (line.size() < 12 || !line.startsWith("HTTP/1.") || line[8] != ' ')
        return 0;
    if (line.size() > 12 && line[12] != ' ')
        return 0;
    int status = 0;
    for (qsizetype i = 9; i < 12; ++i) {
        if (line[i] < '0' || line[i] > '9')
            return 0;
        status = status * 10 + (line[i] - '0');
    }
    return status >= 100 ? status : 0;
}

QNetworkProxy systemProxy(const QUrl& url)
{
    const QList<QNetworkProxy> proxies =
        QNetworkProxyFactory::systemProxyForQuery(QNetworkProxyQuery(url));
    return proxies.isEmpty() ? QNetworkProxy(QNetworkProxy::NoProxy) : proxies.first();
}

class SocketExchange final : public Exchange
{
public:
    SocketExchange() = default;
    ~SocketExchange() override = default;
    SocketExchange(const SocketExchange&) = delete;
    SocketExchange& operator=(const SocketExchange&) = delete;

    Wait open(const Request& request, std::chrono::milliseconds timeout) override;
    int status() const override { return m_status; }
    QByteArray header(QByteArrayView name) const override;
    Wait read(char* to, qint64 size, qint64& got, std::chrono::milliseconds stall) override;
    void interrupt() override;

private:
    Wait waitForSocket(std::chrono::milliseconds timeout);
    void pull(qsizetype limit);
    QByteArrayView pending() const { return QByteArrayView(m_buffer).sliced(m_consumed); }
    bool socketAtEnd() const;
    bool parseHead(QByteArrayView head);
    bool chooseFraming();
    Produced produce(char* to, qint64 size, qint64& got);
    Produced produceChunked(char* to, qint64 size, qint64& got);
    qint64 take(char* to, qint64 size);
    std::optional<QByteArrayView> takeLine();

    std::unique_ptr<QTcpSocket> m_socket;
    QByteArray m_buffer; // received from the socket; bytes before m_consumed are used
    qsizetype m_consumed = 0;
    QEventLoop* m_loop = nullptr; // the wait in progress
    bool m_interrupted = false;
    int m_status = 0;
    QList<std::pair<QByteArray, QByteArray>> m_headers;
    Framing m_framing = Framing::None;
    ChunkPart m_chunkPart = ChunkPart::Size;
    qint64 m_remaining = 0; // of the content length, or of the current chunk
    int m_trailerLines = 0;
};

// The request's head, or nothing when a part of it could smuggle in a line of its own.
QByteArray requestHead(const Request& request, bool absoluteForm)
{
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
    head += "Connection: close\r\n\r\n";
    return head;
}

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
    QString host = url.host();
    quint16 port = static_cast<quint16>(url.port(secure ? 443 : 80));
    bool absoluteForm = false;
    m_socket = secure ? std::make_unique<QSslSocket>() : std::make_unique<QTcpSocket>();
    switch (proxy.type()) {
    case QNetworkProxy::HttpProxy:
    case QNetworkProxy::HttpCachingProxy:
        if (secure) {
            // Through a CONNECT tunnel, which the socket opens itself.
            m_socket->setProxy(QNetworkProxy(QNetworkProxy::HttpProxy, proxy.hostName(),
                                             proxy.port(), proxy.user(), proxy.password()));
        } else {
            m_socket->setProxy(QNetworkProxy::NoProxy);
            host = proxy.hostName();
            port = proxy.port();
            absoluteForm = true;
        }
        break;
    case QNetworkProxy::Socks5Proxy:
        m_socket->setProxy(proxy);
        break;
    default:
        m_socket->setProxy(QNetworkProxy::NoProxy);
        break;
    }
    // Qt stops reading from the connection while this much is waiting for us.
    m_socket->setReadBufferSize(SocketBufferSize);

    const QByteArray head = requestHead(request, absoluteForm);
    if (head.isEmpty())
        return Wait::Failed;
    if (secure) {
        auto* tls = static_cast<QSslSocket*>(m_socket.get());
        QObject::connect(tls, &QSslSocket::encrypted, tls, [tls, head] { tls->write(head); });
        tls->connectToHostEncrypted(host, port);
    } else {
        QTcpSocket* plain = m_socket.get();
        QObject::connect(plain, &QAbstractSocket::connected, plain,
                         [plain, head] { plain->write(head); });
        plain->connectToHost(host, port);
    }

    for (int interim = 0;;) {
        pull(MaxHeadSize + 1);
        // Blank lines before a status line are passed over, as the protocol allows.
        while (pending().startsWith("\r\n") || pending().startsWith("\n"))
            m_consumed += pending().startsWith('\r') ? 2 : 1;
        const qsizetype end = headEnd(pending());
        if (end >= 0) {
            const bool parsed = parseHead(pending().first(end));
            m_consumed += end;
            if (!parsed)
                return Wait::Failed;
            if (m_status >= 200)
                return chooseFraming() ? Wait::Ready : Wait::Failed;
            if (++interim > MaxInterimHeads)
                return Wait::Failed;
            continue;
        }
        if (pending().size() > MaxHeadSize || socketAtEnd())
            return Wait::Failed;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline.remainingTimeAsDuration());
        if (left.count() <= 0)
            return Wait::TimedOut;
        if (const Wait wait = waitForSocket(left); wait != Wait::Ready)
            return wait;
    }
}

bool SocketExchange::parseHead(QByteArrayView head)
{
    m_status = 0;
    m_headers.clear();
    qsizetype lineStart = 0;
    bool first = true;
    while (lineStart < head.size()) {
        qsizetype lineEnd = head.indexOf('\n', lineStart);
        if (lineEnd < 0)
            lineEnd = head.size();
        const QByteArrayView line =
            withoutCarriageReturn(head.sliced(lineStart, lineEnd - lineStart));
        lineStart = lineEnd + 1;
        if (first) {
            m_status = parseStatusLine(line);
            if (m_status == 0)
                return false;
            first = false;
            continue;
        }
        if (line.isEmpty())
            break;
        if ((line[0] == ' ' || line[0] == '\t') && !m_headers.isEmpty()) {
            // A folded line continues the header before it.
            m_headers.last().second += ' ' + line.trimmed().toByteArray();
            continue;
        }
        const qsizetype colon = line.indexOf(':');
        if (colon <= 0)
            continue; // not a header; a lenient reader passes over it
        if (m_headers.size() == MaxHeaderLines)
            return false;
        m_headers.append({line.first(colon).trimmed().toByteArray(),
                          line.sliced(colon + 1).trimmed().toByteArray()});
    }
    return true;
}

QByteArray SocketExchange::header(QByteArrayView name) const
{
    for (const auto& [headerName, value] : m_headers) {
        if (headerName.compare(name, Qt::CaseInsensitive) == 0)
            return value;
    }
    return {};
}

bool SocketExchange::chooseFraming()
{
    m_remaining = 0;
    m_chunkPart = ChunkPart::Size;
    if (m_status == 204 || m_status == 304) {
        m_framing = Framing::None;
        return true;
    }
    const QByteArray coding = header("Transfer-Encoding");
    if (!coding.isEmpty()) {
        const QByteArray last = coding.mid(coding.lastIndexOf(',') + 1).trimmed();
        m_framing = last.compare("chunked", Qt::CaseInsensitive) == 0 ? Framing::Chunked
                                                                      : Framing::UntilClose;
        return true;
    }
    bool lengthSeen = false;
    for (const auto& [name, value] : m_headers) {
        if (name.compare("Content-Length", Qt::CaseInsensitive) != 0)
            continue;
        bool ok = false;
        const qint64 length = value.toLongLong(&ok);
        // Two different lengths leave the body's end unknown: refuse the answer.
        if (!ok || length < 0 || (lengthSeen && length != m_remaining))
            return false;
        m_remaining = length;
        lengthSeen = true;
    }
    m_framing = lengthSeen ? Framing::Length : Framing::UntilClose;
    return true;
}

Wait SocketExchange::read(char* to, qint64 size, qint64& got, std::chrono::milliseconds stall)
{
    got = 0;
    for (;;) {
        if (m_interrupted)
            return Wait::Interrupted;
        pull(BodyBufferSize);
        switch (produce(to, size, got)) {
        case Produced::Bytes:
        case Produced::End:
            return Wait::Ready;
        case Produced::NeedMore:
            break;
        }
        // A connection that ends early ends the body with what came.
        if (socketAtEnd())
            return Wait::Ready;
        if (const Wait wait = waitForSocket(stall); wait != Wait::Ready)
            return wait;
    }
}

Produced SocketExchange::produce(char* to, qint64 size, qint64& got)
{
    switch (m_framing) {
    case Framing::None:
        return Produced::End;
    case Framing::Length:
        if (m_remaining == 0)
            return Produced::End;
        got = take(to, std::min(size, m_remaining));
        m_remaining -= got;
        return got > 0 ? Produced::Bytes : Produced::NeedMore;
    case Framing::UntilClose:
        got = take(to, size);
        return got > 0 ? Produced::Bytes : Produced::NeedMore;
    case Framing::Chunked:
        return produceChunked(to, size, got);
    }
    return Produced::End;
}

Produced SocketExchange::produceChunked(char* to, qint64 size, qint64& got)
{
    for (;;) {
        switch (m_chunkPart) {
        case ChunkPart::Size: {
            const std::optional<QByteArrayView> line = takeLine();
            if (!line)
                return pending().size() > MaxChunkLine ? Produced::End : Produced::NeedMore;
            // Hex digits, then perhaps extensions after ';', which we do not use.
            qint64 chunk = 0;
            qsizetype digits = 0;
            for (const char c : line->trimmed()) {
                const int value = c >= '0' && c <= '9'   ? c - '0'
                                  : c >= 'a' && c <= 'f' ? c - 'a' + 10
                                  : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                                         : -1;
                if (value < 0)
                    break;
                if (++digits > 15)
                    return Produced::End; // no sane chunk is that long
                chunk = chunk * 16 + value;
            }
            if (digits == 0)
                return Produced::End; // broken framing ends the body here
            m_remaining = chunk;
            m_chunkPart = chunk == 0 ? ChunkPart::Trailer : ChunkPart::Data;
            break;
        }
        case ChunkPart::Data:
            got = take(to, std::min(size, m_remaining));
            m_remaining -= got;
            if (m_remaining == 0)
                m_chunkPart = ChunkPart::DataEnd;
            return got > 0 ? Produced::Bytes : Produced::NeedMore;
        case ChunkPart::DataEnd: {
            const std::optional<QByteArrayView> line = takeLine();
            if (!line)
                return pending().size() >= 2 ? Produced::End : Produced::NeedMore;
            if (!line->isEmpty())
                return Produced::End;
            m_chunkPart = ChunkPart::Size;
            break;
        }
        case ChunkPart::Trailer: {
            const std::optional<QByteArrayView> line = takeLine();
            if (!line)
                return pending().size() > MaxChunkLine ? Produced::End : Produced::NeedMore;
            if (line->isEmpty() || ++m_trailerLines > MaxHeaderLines)
                m_chunkPart = ChunkPart::Done;
            break;
        }
        case ChunkPart::Done:
            return Produced::End;
        }
    }
}

qint64 SocketExchange::take(char* to, qint64 size)
{
    const qint64 n = std::min<qint64>(size, pending().size());
    if (n > 0)
        std::memcpy(to, pending().data(), static_cast<size_t>(n));
    m_consumed += n;
    return n;
}

// The next whole line without its line end, or nothing when it has not fully arrived.
std::optional<QByteArrayView> SocketExchange::takeLine()
{
    const QByteArrayView bytes = pending();
    const qsizetype end = bytes.indexOf('\n');
    if (end < 0)
        return std::nullopt;
    m_consumed += end + 1;
    return withoutCarriageReturn(bytes.first(end));
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
