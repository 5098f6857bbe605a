#include "update/httpexchange.h"

#include "platform/platform.h"

#include <QLibrary>
#include <QMutex>
#include <QMutexLocker>
#include <dlfcn.h>

// The module is open while an exchange of it exists: the first exchange opens it and the last
// one to go closes it again, so that a finished update check leaves none of its code mapped.
// Qt Network, which the module brings in, stays loaded for the rest of the process: it keeps
// a thread for the system's proxy settings running, its host name lookups may go on on threads
// of its own after an exchange has given up on them, and it registers types with Qt Core;
// none of that survives its code being unmapped (bench/README.md has the figures). The
// module's own code is used only by its exchanges.

namespace corvane::http {

namespace {

using CreateExchange = Exchange* (*)();

class Module
{
public:
    static Module& instance()
    {
        // Never destroyed: an exchange may be released by a thread that outlives main().
        static auto* module = new Module;
        return *module;
    }

    /// A new exchange of the module, which stays open until release(); nullptr when the
    /// module cannot be opened.
    Exchange* acquire()
    {
        const QMutexLocker lock(&m_mutex);
        if (m_users == 0 && !open())
            return nullptr;
        Exchange* exchange = m_create();
        if (exchange)
            ++m_users;
        else if (m_users == 0)
            close();
        return exchange;
    }

    /// After an exchange of acquire() has been destroyed.
    void release()
    {
        const QMutexLocker lock(&m_mutex);
        if (--m_users == 0)
            close();
    }

private:
    Module() = default;

    bool open()
    {
        if (!m_library.load())
            return false;
        pinQtNetwork();
        m_create =
            reinterpret_cast<CreateExchange>(m_library.resolve("corvane_http_create_exchange"));
        if (!m_create)
            close();
        return m_create != nullptr;
    }

    void close()
    {
        m_create = nullptr;
        m_library.unload();
    }

    static void pinQtNetwork()
    {
        // Already loaded as the module's dependency: this only marks it as never to be
        // unloaded, and drops the extra reference again.
        if (void* network =
                ::dlopen(CORVANE_QT_NETWORK_SONAME, RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE))
            ::dlclose(network);
    }

    QMutex m_mutex;
    QLibrary m_library{platform::programFolder() + u"corvane_http"};
    CreateExchange m_create = nullptr;
    int m_users = 0; // exchanges alive
};

// What the fetcher holds: the module's exchange, and with it a claim on the module.
class ModuleExchange final : public Exchange
{
public:
    explicit ModuleExchange(Exchange* exchange)
        : m_exchange(exchange)
    {}
    ~ModuleExchange() override
    {
        m_exchange.reset(); // the module's code, which must run before the module may close
        Module::instance().release();
    }
    ModuleExchange(const ModuleExchange&) = delete;
    ModuleExchange& operator=(const ModuleExchange&) = delete;

    Wait open(const Request& request, std::chrono::milliseconds timeout) override
    {
        return m_exchange->open(request, timeout);
    }
    int status() const override { return m_exchange->status(); }
    QByteArray header(QByteArrayView name) const override { return m_exchange->header(name); }
    Wait read(char* to, qint64 size, qint64& got, std::chrono::milliseconds stall) override
    {
        return m_exchange->read(to, size, got, stall);
    }
    void interrupt() override { m_exchange->interrupt(); }

private:
    std::unique_ptr<Exchange> m_exchange;
};

} // namespace

std::unique_ptr<Exchange> createExchange()
{
    Exchange* exchange = Module::instance().acquire();
    return exchange ? std::make_unique<ModuleExchange>(exchange) : nullptr;
}

} // namespace corvane::http
