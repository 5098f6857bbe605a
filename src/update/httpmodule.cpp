#include "update/httpexchange.h"

#include "platform/platform.h"

#include <QLibrary>
#include <mutex>

// The first exchange opens the module, and it stays open for the rest of the process. Closing
// it once a check is over would give back only its own 44 KiB, less than the noise of a
// measurement (bench/README.md): Qt Network, which it brings in, has to stay loaded anyway,
// since it keeps a thread for the system's proxy settings running, its host name lookups may
// go on on threads of their own after an exchange has given up on them, and it registers types
// with Qt Core.

namespace corvane::http {

std::unique_ptr<Exchange> createExchange()
{
    using CreateExchange = Exchange* (*)();
    // Plain statics that are never torn down: an exchange may be made by a thread that
    // outlives main().
    static constinit std::mutex mutex;
    static constinit CreateExchange create = nullptr;
    CreateExchange entry = nullptr;
    {
        const std::lock_guard lock(mutex);
        // A module that could not be opened is tried again by the next exchange. QLibrary
        // leaves what it loaded loaded.
        if (!create)
            create = reinterpret_cast<CreateExchange>(QLibrary::resolve(
                platform::programFolder() + u"corvane_http", "corvane_http_create_exchange"));
        entry = create;
    }
    return std::unique_ptr<Exchange>(entry ? entry() : nullptr);
}

} // namespace corvane::http
