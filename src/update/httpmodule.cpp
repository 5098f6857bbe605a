#include "update/httpexchange.h"

#include "platform/platform.h"

#include <QLibrary>

namespace corvane::http {

namespace {

using CreateExchange = Exchange* (*)();

CreateExchange openModule()
{
    // Never unloaded: the exchanges it makes, and the threads Qt Network starts, may live
    // until the process ends.
    QLibrary module(platform::programFolder() + u"corvane_http");
    return reinterpret_cast<CreateExchange>(module.resolve("corvane_http_create_exchange"));
}

} // namespace

std::unique_ptr<Exchange> createExchange()
{
    static const CreateExchange create = openModule();
    return std::unique_ptr<Exchange>(create ? create() : nullptr);
}

} // namespace corvane::http
