#include "faultserver.h"

#include <QTcpSocket>
#include <QTimer>

namespace {

constexpr qint64 Block = 64 * 1024;
constexpr qint64 Gigabyte = qint64(1) << 30;

class Connection final : public QObject
{
public:
    Connection(FaultServer& server, QTcpSocket* socket, QObject* parent)
        : QObject(parent)
        , m_server(server)
        , m_socket(socket)
    {
        m_socket->setParent(this);
        m_server.noteConnection(1);
        connect(m_socket, &QTcpSocket::readyRead, this, [this] { readRequest(); });
        connect(m_socket, &QTcpSocket::bytesWritten, this, [this](qint64 n) {
            m_server.noteSent(n);
            feed();
        });
        connect(m_socket, &QTcpSocket::disconnected, this, [this] { finish(); });
        connect(m_socket, &QTcpSocket::errorOccurred, this, [this] { finish(); });
    }

private:
    void finish()
    {
        if (m_finished)
            return;
        m_finished = true;
        m_server.noteConnection(-1);
        deleteLater();
    }

    void readRequest()
    {
        m_head += m_socket->readAll();
        const qsizetype end = m_head.indexOf("\r\n\r\n");
        if (m_answered || end < 0)
            return;
        m_answered = true;
        const QList<QByteArray> words = m_head.left(m_head.indexOf("\r\n")).split(' ');
        m_server.noteRequest(words.value(1));
        answer(m_server.requests().size(), words.value(0), words.value(1));
    }

    void answer(qsizetype requestNumber, const QByteArray& method, const QByteArray& target)
    {
        switch (m_server.fault()) {
        case Fault::NewerVersion:
            send("HTTP/1.1 200 OK\r\nContent-Length: 3\r\nConnection: close\r\n\r\n5.2");
            m_socket->disconnectFromHost();
            return;
        case Fault::ResetMidBody: {
            // Names the running version, so that the cut-off text means no update either way.
            QByteArray body = "5.1.0.0";
            body.append(20000 - body.size(), ' ');
            send("HTTP/1.1 200 OK\r\nContent-Length: 30000\r\n\r\n" + body);
            m_socket->flush();
            QTimer::singleShot(200, this, [this] {
                resetConnection(*m_socket);
                finish();
            });
            return;
        }
        case Fault::GarbageStatus: {
            static const char garbage[] = "\x16\x03\x01 \xFF\xFEgarbage ICY 9.9.9.9\r\nX: y\r\n\r\n"
                                          "9.9.9.9";
            send(QByteArray(garbage, sizeof garbage - 1));
            m_socket->disconnectFromHost();
            return;
        }
        case Fault::EndlessRedirects:
            send("HTTP/1.1 302 Found\r\nLocation: http://corvane.example/update.ini?hop=" +
                 QByteArray::number(requestNumber) +
                 "\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
            m_socket->disconnectFromHost();
            return;
        case Fault::EndlessHeaders:
            send("HTTP/1.1 200 OK\r\n");
            m_remaining = -1;
            feed();
            return;
        case Fault::EndlessBody:
            // Names the running version: the text up to the size bound counts as the answer.
            send("HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n5.1.0.0\r\n");
            m_remaining = -1;
            feed();
            return;
        case Fault::GigabyteBody:
            send("HTTP/1.1 200 OK\r\nContent-Length: " + QByteArray::number(Gigabyte) +
                 "\r\n\r\n9.9.9.9");
            m_remaining = Gigabyte - 7;
            feed();
            return;
        case Fault::HrefRepetition: {
            // 80 KB; each link copied whole, they took 800 MB.
            const QByteArray body = "5.1" + QByteArray("<A HREF=").repeated(10000) + ">\"";
            send("HTTP/1.1 200 OK\r\nContent-Length: " + QByteArray::number(body.size()) +
                 "\r\nConnection: close\r\n\r\n" + body);
            m_socket->disconnectFromHost();
            return;
        }
        case Fault::ConnectFlood:
            if (method == "CONNECT") {
                send("HTTP/1.1 200 Connection established\r\n");
                m_remaining = -1;
                feed();
                return;
            }
            send("HTTP/1.1 302 Found\r\nLocation: https" + target.mid(4) +
                 "\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
            m_socket->disconnectFromHost();
            return;
        case Fault::SlowDrip: {
            send("HTTP/1.1 200 OK\r\nContent-Length: 30000\r\n\r\n");
            auto* drip = new QTimer(this);
            connect(drip, &QTimer::timeout, this, [this] { send("5"); });
            drip->start(1000);
            return;
        }
        }
    }

    void send(const QByteArray& bytes) { m_socket->write(bytes); }

    // Tops up what is queued for the socket, one block at a time, while there is more to send.
    void feed()
    {
        if (m_remaining == 0 || m_finished || m_socket->bytesToWrite() >= Block)
            return;
        static const QByteArray filler(Block, 'x');
        static const QByteArray headerLines = [] {
            QByteArray lines;
            while (lines.size() < Block)
                lines += "X-Filler: " + QByteArray(1000, 'h') + "\r\n";
            return lines;
        }();
        if (m_server.fault() == Fault::EndlessHeaders || m_server.fault() == Fault::ConnectFlood) {
            send(headerLines);
            return;
        }
        const qint64 n = m_remaining < 0 ? Block : qMin(m_remaining, Block);
        send(filler.left(n));
        if (m_remaining > 0)
            m_remaining -= n;
    }

    FaultServer& m_server;
    QTcpSocket* m_socket;
    QByteArray m_head;
    bool m_answered = false;
    bool m_finished = false;
    qint64 m_remaining = 0; // body bytes still to send; -1 without end
};

} // namespace

FaultServer::FaultServer(Fault fault)
    : m_fault(fault)
{
    startListening();
}

FaultServer::~FaultServer()
{
    stopListening();
}

QList<QByteArray> FaultServer::requests() const
{
    const QMutexLocker lock(&m_mutex);
    return m_requests;
}

int FaultServer::openConnections() const
{
    const QMutexLocker lock(&m_mutex);
    return m_open;
}

qint64 FaultServer::bytesSent() const
{
    const QMutexLocker lock(&m_mutex);
    return m_sent;
}

void FaultServer::noteRequest(const QByteArray& target)
{
    const QMutexLocker lock(&m_mutex);
    m_requests.append(target);
}

void FaultServer::noteConnection(int delta)
{
    const QMutexLocker lock(&m_mutex);
    m_open += delta;
}

void FaultServer::noteSent(qint64 bytes)
{
    const QMutexLocker lock(&m_mutex);
    m_sent += bytes;
}

void FaultServer::serve(QTcpSocket* socket, QObject* parent)
{
    new Connection(*this, socket, parent);
}
