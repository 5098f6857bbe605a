#pragma once

// A QTcpServer on 127.0.0.1 that runs on a thread of its own, so that it answers while the
// test's thread blocks or waits. A subclass serves each connection in serve(), on that thread.
// With a TLS configuration it is a QSslServer, and serve() gets each connection once its
// handshake is done.

#include <QHostAddress>
#include <QSemaphore>
#include <QSslConfiguration>
#include <QSslServer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <memory>
#include <optional>
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
    void startListening(std::optional<QSslConfiguration> tls = std::nullopt)
    {
        m_tls = std::move(tls);
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
        const std::unique_ptr<QTcpServer> server =
            m_tls ? std::make_unique<QSslServer>() : std::make_unique<QTcpServer>();
        if (m_tls)
            static_cast<QSslServer&>(*server).setSslConfiguration(*m_tls);
        QTcpServer* listener = server.get();
        listener->listen(QHostAddress::LocalHost, 0);
        QObject::connect(listener, &QTcpServer::pendingConnectionAvailable, listener,
                         [listener, this] {
                             while (QTcpSocket* socket = listener->nextPendingConnection())
                                 serve(socket, listener);
                         });
        m_port = listener->serverPort();
        m_ready.release();
        exec();
    }

    std::optional<QSslConfiguration> m_tls; // written before the thread starts
    QSemaphore m_ready;
    quint16 m_port = 0; // written before m_ready is released
};
