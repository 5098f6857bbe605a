#pragma once

// A QTcpServer on 127.0.0.1 that runs on a thread of its own, so that it answers while the
// test's thread blocks or waits. A subclass serves each connection in serve(), on that thread.

#include <QHostAddress>
#include <QSemaphore>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <sys/socket.h>

/// Ends `socket`'s connection with a reset (RST) instead of an orderly close.
inline void resetConnection(QTcpSocket& socket)
{
    const linger hard{1, 0};
    ::setsockopt(static_cast<int>(socket.socketDescriptor()), SOL_SOCKET, SO_LINGER, &hard,
                 sizeof hard);
    socket.abort();
}

class ServerThread : public QThread
{
public:
    quint16 port() const { return m_port; }

protected:
    ServerThread() = default;

    /// Starts the thread and returns once it listens. The last step of a subclass's
    /// constructor: connections may be served from then on.
    void startListening()
    {
        start();
        m_ready.acquire();
    }
    /// Ends the thread; connections still open go with the server. The first step of a
    /// subclass's destructor.
    void stopListening()
    {
        quit();
        wait();
    }

    /// Server thread: takes over `socket`, typically by giving it to an object with `parent`,
    /// which lives as long as the server.
    virtual void serve(QTcpSocket* socket, QObject* parent) = 0;

private:
    void run() override
    {
        QTcpServer server;
        server.listen(QHostAddress::LocalHost, 0);
        QObject::connect(&server, &QTcpServer::newConnection, &server, [&server, this] {
            while (QTcpSocket* socket = server.nextPendingConnection())
                serve(socket, &server);
        });
        m_port = server.serverPort();
        m_ready.release();
        exec();
    }

    QSemaphore m_ready;
    quint16 m_port = 0; // written before m_ready is released
};
