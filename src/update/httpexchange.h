#pragma once

// One HTTP/1.1 GET, for the fetcher's worker thread. The implementation lives in a module of
// its own (libcorvane_http, beside the executable) that brings Qt Network with it; the
// launcher opens it only when an update check starts, so that a start without a check never
// loads Qt Network and the libraries it pulls in.
//
// Every part of the answer is bounded: the head (status line and headers) by size and line
// count, each wait by a timeout, and the bytes held in memory by a read buffer, however the
// server or a proxy behaves.

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>
#include <QUrl>
#include <chrono>
#include <memory>
#include <optional>
#include <utility>

namespace corvane::http {

struct ProxyAddress
{
    QString host;
    quint16 port = 80;
};

struct Request
{
    QUrl url; ///< http or https, without user info
    /// Sent after Host; names and values must hold no control characters.
    QList<std::pair<QByteArray, QByteArray>> headers;
    /// Empty: the system's proxy settings for the address (http_proxy, no_proxy, …).
    std::optional<ProxyAddress> proxy;
};

enum class Wait {
    Ready,       ///< done; for read() also at the end of the body
    TimedOut,    ///< nothing arrived in time
    Interrupted, ///< interrupt() was called
    Failed       ///< no connection, or the answer is not HTTP or breaks a bound
};

/// Lives on one thread (the fetcher's worker) and is used only there.
class Exchange
{
public:
    virtual ~Exchange() = default;

    /// Sends `request` and waits until the head of the answer is in (1xx heads are passed
    /// over). `timeout` covers resolving, connecting, the request and the head.
    virtual Wait open(const Request& request, std::chrono::milliseconds timeout) = 0;
    /// After open() returned Ready.
    virtual int status() const = 0;
    /// The first value of header `name` (compared without regard to case), empty when absent.
    virtual QByteArray header(QByteArrayView name) const = 0;
    /// Copies up to `size` body bytes (chunked framing removed) into `to` and sets `got`;
    /// waits up to `stall` when none are there. Ready with `got` 0 is the end of the body: a
    /// connection that ends early ends the body there.
    virtual Wait read(char* to, qint64 size, qint64& got, std::chrono::milliseconds stall) = 0;
    /// Called on the exchange's thread from inside one of its waits (a queued call): ends
    /// that wait, and every later one, with Interrupted.
    virtual void interrupt() = 0;
};

/// A new exchange, or nullptr when the module cannot be opened. Any thread. The first call
/// opens the module, which stays open from then on.
std::unique_ptr<Exchange> createExchange();

} // namespace corvane::http

/// The module's entry point. The caller owns the result.
extern "C" corvane::http::Exchange* corvane_http_create_exchange();
