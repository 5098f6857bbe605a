#pragma once

// A web server on 127.0.0.1 that misbehaves in one chosen way, on a thread of its own. The
// launcher reaches it as its proxy, so every request names the update address in full. Large
// and endless answers are made as the connection drains, from one block, never whole.

#include "serverthread.h"

#include <QByteArray>
#include <QList>
#include <QMutex>

enum class Fault {
    NewerVersion,     ///< a well-formed answer naming a newer version (the control case)
    ResetMidBody,     ///< part of the announced body, then a connection reset
    GarbageStatus,    ///< a status line that is no HTTP
    EndlessRedirects, ///< every answer sends the client somewhere new
    EndlessHeaders,   ///< header lines, as fast as they are taken, with no end
    EndlessBody,      ///< a body without length that never ends
    GigabyteBody,     ///< a body of 1 GiB, announced as such
    SlowDrip,         ///< a long body, one byte a second
    HrefRepetition,   ///< "<A HREF=" over and over: every link runs to the same end
    ConnectFlood,     ///< a redirect to https, then header lines without end after CONNECT
};

class FaultServer final : public ServerThread
{
public:
    explicit FaultServer(Fault fault);
    ~FaultServer() override;

    /// The request targets received so far (host:port for CONNECT).
    QList<QByteArray> requests() const;
    /// Connections accepted and not yet closed by either side.
    int openConnections() const;
    qint64 bytesSent() const;

    // Server thread.
    Fault fault() const { return m_fault; }
    void noteRequest(const QByteArray& target);
    void noteConnection(int delta);
    void noteSent(qint64 bytes);

protected:
    void serve(QTcpSocket* socket, QObject* parent) override;

private:
    const Fault m_fault;
    mutable QMutex m_mutex;
    QList<QByteArray> m_requests;
    int m_open = 0;
    qint64 m_sent = 0;
};
