#include "update/webdata.h"

#include "platform/platform.h"
#include "update/httpexchange.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QMutexLocker>
#include <QPointer>
#include <QThread>
#include <QUrl>
#include <algorithm>
#include <optional>
#include <set>

// How a run and its component stay apart: the component's properties and items are copied
// when Collect() starts a run, so the worker reads nothing of the component afterwards. The
// worker writes results and raises events only while holding the link's mutex and only while
// the link still names the component; the destructor clears that name under the same mutex.
// Waiting on the network happens in event loops of the HTTP exchange on the worker thread,
// which a cancellation (a queued call to the run object) wakes at once.

namespace corvane {

namespace {

constexpr qint64 BlockSize = 4096;
// WinINet follows redirects by itself; we do it by hand (see download()) and as often.
constexpr int MaxRedirects = 10;
constexpr int CannotOpen = -1;
// At exit a cancelled run needs only to tear down its connection; do not wait forever for
// one that sits in a handler.
constexpr std::chrono::seconds ExitGrace{2};

bool isHttpScheme(const QUrl& url)
{
    return url.scheme() == u"http" || url.scheme() == u"https";
}

bool isSameOrigin(const QUrl& a, const QUrl& b)
{
    return a.scheme() == b.scheme() && a.host() == b.host() &&
           a.port(a.scheme() == u"https" ? 443 : 80) == b.port(b.scheme() == u"https" ? 443 : 80);
}

bool isRedirect(int status)
{
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

// The fetcher's status rule: everything below 300, and 500, whose body is taken like a 200's
// (pages that report a server error still carry the document their callers look for).
bool isAccepted(int status)
{
    return status < 300 || status == 500;
}

bool isExistingFile(const QString& path)
{
    return !path.isEmpty() && QFileInfo(path).isFile();
}

// Header values come from the owner's properties; a line break in them must not become a
// header of its own.
QByteArray headerValue(const QString& text)
{
    QByteArray value = text.toUtf8();
    for (char& c : value) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
            c = ' ';
    }
    return value;
}

// "host:port", "host" or "http://host:port/". Anything else gives no proxy and so no session.
std::optional<http::ProxyAddress> parseProxy(const QString& text)
{
    QString address = text.trimmed();
    if (!address.contains(u"://"))
        address.prepend(u"http://");
    const QUrl url(address, QUrl::StrictMode);
    if (!url.isValid() || url.scheme() != u"http" || url.host().isEmpty() ||
        !url.userInfo().isEmpty() || (!url.path().isEmpty() && url.path() != u"/") ||
        url.hasQuery() || url.hasFragment())
        return std::nullopt;
    return http::ProxyAddress{url.host(), static_cast<quint16>(url.port(80))};
}

// An item's address as it is requested: without user info, which goes into a Basic
// authorization instead.
struct PreparedAddress
{
    QUrl url;
    QByteArray authorization;
};

// Nothing when `address` is not one the fetcher can open (an http or https address with a host).
// The proxy credentials go into http addresses. They are set as the address's user info rather
// than pasted in as text, so that a '@', '/' or '#' in them cannot change the host. User info
// never travels in the request line: it is sent as Basic authorization, at once and only to
// the address's own origin (not to a host a redirect leads to).
std::optional<PreparedAddress> prepareAddress(const QString& address, const QString& proxyUserID,
                                              const QString& proxyPassword)
{
    QUrl url(address);
    if (!proxyUserID.isEmpty() && address.startsWith(u"http://", Qt::CaseInsensitive)) {
        url.setUserName(proxyUserID, QUrl::DecodedMode);
        url.setPassword(proxyPassword, QUrl::DecodedMode);
    }
    if (!url.isValid() || !isHttpScheme(url) || url.host().isEmpty())
        return std::nullopt;
    QByteArray authorization;
    if (!url.userInfo().isEmpty()) {
        const QString credentials =
            url.userName(QUrl::FullyDecoded) + u':' + url.password(QUrl::FullyDecoded);
        authorization = "Basic " + credentials.toUtf8().toBase64();
        url.setUserInfo(QString());
    }
    return PreparedAddress{url, authorization};
}

} // namespace

// What a run needs of its component, copied on the component's thread by Collect().
struct WebDataSettings
{
    QString agent;
    QString proxy;
    QString proxyUserID;
    QString proxyPassword;
    QString hyperLinkType;
    TImageType imageType = itAll;
    qint64 maxBodySize = 0;
    std::chrono::milliseconds connectTimeout{0};
    std::chrono::milliseconds stallTimeout{0};
};

struct WebDataItemPlan
{
    QString url;
    QString scanFirst;
    QString scanFrom;
    QString scanTo;
    QString localFile;
    bool autoDelete = true;
    bool enable = true;
};

struct WebDataLink
{
    QMutex mutex;
    TWebData* component = nullptr; // null once the component is being destroyed
    std::vector<WebDataRun*> runs; // runs in progress, each living on its worker thread

    void cancel();
};

// One run over the items, on the worker thread; created and destroyed there.
class WebDataRun final : public QObject
{
public:
    WebDataRun(std::shared_ptr<WebDataLink> link, WebDataSettings settings,
               std::vector<WebDataItemPlan> items);
    ~WebDataRun() override;
    WebDataRun(const WebDataRun&) = delete;
    WebDataRun& operator=(const WebDataRun&) = delete;

    void execute();
    /// Worker thread, through a queued call from WebDataLink::cancel().
    void cancelNow();

private:
    enum class End { None, Error, Cancelled };
    enum class Fetch { Succeeded, Failed, Stop };
    bool chooseProxy();
    void runItems();
    Fetch download(int index, const QString& address, const QString& localFile);
    /// Nothing when the answer's body is ready to be read; otherwise how the fetch ended.
    std::optional<Fetch> openFollowingRedirects(int index, const PreparedAddress& address);
    Fetch copyBody(const QString& localFile);
    /// Reports `errcode` for the item: the fetch has failed.
    Fetch refuse(int index, int errcode);
    bool parse(int index, const QString& localFile);
    template <typename Action> bool withComponent(Action action);
    http::Request makeRequest(const QUrl& url, const QByteArray& authorization) const;
    Fetch cancelled();
    /// The local file could not be written: the run ends.
    Fetch fileError();
    void removeLocalFile(const QString& path);
    void cleanUp(const QString& currentFile);

    std::shared_ptr<WebDataLink> m_link;
    WebDataSettings m_settings;
    std::vector<WebDataItemPlan> m_items;
    std::optional<http::ProxyAddress> m_proxy;  // none: the system's settings
    std::unique_ptr<http::Exchange> m_exchange; // the request in progress
    std::set<QString> m_temporaryFiles;         // created by this run and not removed yet
    bool m_cancelled = false;
    End m_end = End::None;
};

void WebDataLink::cancel()
{
    const QMutexLocker lock(&mutex);
    component = nullptr;
    for (WebDataRun* run : runs)
        QMetaObject::invokeMethod(
            run, [run] { run->cancelNow(); }, Qt::QueuedConnection);
}

WebDataRun::WebDataRun(std::shared_ptr<WebDataLink> link, WebDataSettings settings,
                       std::vector<WebDataItemPlan> items)
    : m_link(std::move(link))
    , m_settings(std::move(settings))
    , m_items(std::move(items))
{
    const QMutexLocker lock(&m_link->mutex);
    m_link->runs.push_back(this);
    if (!m_link->component)
        m_end = End::Cancelled;
}

WebDataRun::~WebDataRun()
{
    const QMutexLocker lock(&m_link->mutex);
    std::erase(m_link->runs, this);
}

void WebDataRun::cancelNow()
{
    m_cancelled = true;
    if (m_exchange)
        m_exchange->interrupt();
}

template <typename Action> bool WebDataRun::withComponent(Action action)
{
    const QMutexLocker lock(&m_link->mutex);
    if (!m_link->component) {
        m_end = End::Cancelled;
        return false;
    }
    try {
        action(*m_link->component);
    } catch (...) {
        // A handler that throws ends the run as a file error would.
        m_end = End::Error;
        return false;
    }
    return true;
}

void WebDataRun::execute()
{
    if (m_end == End::Cancelled || m_items.empty())
        return;
    if (!withComponent([](TWebData& c) {
            c.m_images.clear();
            c.m_hyperLinks.clear();
        }))
        return;
    if (!chooseProxy())
        return;
    runItems();
}

bool WebDataRun::chooseProxy()
{
    if (m_settings.proxy.isEmpty())
        return true;
    m_proxy = parseProxy(m_settings.proxy);
    return m_proxy.has_value();
}

void WebDataRun::runItems()
{
    QString lastAddress; // of the last successful fetch
    QString currentFile;
    const int count = static_cast<int>(m_items.size());
    for (int i = 0; i < count && m_end == End::None; ++i) {
        const WebDataItemPlan& plan = m_items[static_cast<size_t>(i)];
        if (!withComponent([i](TWebData& c) {
                if (TWebDataItem* item = c.m_data.Items(i))
                    item->Found = false;
            }))
            break;
        if (!plan.enable)
            continue;

        // Only a successful fetch is shared: an address repeated after a failure, or an
        // empty one, is fetched (and fails) on its own instead of parsing a stale file.
        bool fetched = !lastAddress.isEmpty() && plan.url == lastAddress;
        if (!fetched) {
            if (!currentFile.isEmpty() && i > 0 && m_items[static_cast<size_t>(i - 1)].autoDelete)
                removeLocalFile(currentFile);
            currentFile = plan.localFile;
            if (currentFile.isEmpty()) {
                currentFile = platform::createTemporaryFile(u"WD");
                if (currentFile.isEmpty()) {
                    m_end = End::Error;
                    break;
                }
                m_temporaryFiles.insert(currentFile);
            }
            const Fetch fetch = download(i, plan.url, currentFile);
            if (fetch == Fetch::Stop)
                break;
            fetched = fetch == Fetch::Succeeded;
        }
        if (!withComponent([i, &currentFile](TWebData& c) {
                if (TWebDataItem* item = c.m_data.Items(i))
                    item->LocalFile = currentFile;
            }))
            break;
        lastAddress = fetched ? plan.url : QString();
        if (fetched && isExistingFile(currentFile) && !parse(i, currentFile))
            break;
    }
    if (m_end == End::None) {
        if (isExistingFile(currentFile) && m_items.back().autoDelete)
            removeLocalFile(currentFile);
    } else {
        cleanUp(currentFile);
    }
}

void WebDataRun::cleanUp(const QString& currentFile)
{
    if (m_end == End::Cancelled) {
        // Nobody is left to use any file of this run.
        const std::set<QString> files = m_temporaryFiles;
        for (const QString& file : files)
            removeLocalFile(file);
    } else if (m_temporaryFiles.contains(currentFile)) {
        removeLocalFile(currentFile);
    }
}

void WebDataRun::removeLocalFile(const QString& path)
{
    QFile::remove(path); // a failure leaves the file where it is
    m_temporaryFiles.erase(path);
}

http::Request WebDataRun::makeRequest(const QUrl& url, const QByteArray& authorization) const
{
    http::Request request;
    request.url = url;
    request.proxy = m_proxy;
    request.headers = {{"User-Agent", headerValue(m_settings.agent)},
                       {"Pragma", "no-cache"},
                       {"Cache-Control", "no-cache"},
                       // The body as the server sends it, so that the size bound counts what
                       // is stored.
                       {"Accept-Encoding", "identity"}};
    if (!authorization.isEmpty())
        request.headers.append({"Authorization", authorization});
    return request;
}

WebDataRun::Fetch WebDataRun::cancelled()
{
    m_exchange.reset();
    m_end = End::Cancelled;
    return Fetch::Stop;
}

WebDataRun::Fetch WebDataRun::fileError()
{
    m_exchange.reset();
    m_end = End::Error;
    return Fetch::Stop;
}

WebDataRun::Fetch WebDataRun::refuse(int index, int errcode)
{
    m_exchange.reset();
    if (!withComponent([index, errcode](TWebData& c) {
            if (c.OnCollectError)
                c.OnCollectError(&c, index, errcode);
        }))
        return Fetch::Stop;
    return Fetch::Failed;
}

WebDataRun::Fetch WebDataRun::download(int index, const QString& address, const QString& localFile)
{
    const std::optional<PreparedAddress> prepared =
        prepareAddress(address, m_settings.proxyUserID, m_settings.proxyPassword);
    if (!prepared)
        return refuse(index, CannotOpen);
    if (const std::optional<Fetch> failed = openFollowingRedirects(index, *prepared))
        return *failed;
    return copyBody(localFile);
}

std::optional<WebDataRun::Fetch> WebDataRun::openFollowingRedirects(int index,
                                                                    const PreparedAddress& address)
{
    QUrl current = address.url;
    int status = 0;
    for (int redirects = 0;; ++redirects) {
        if (m_cancelled)
            return cancelled();
        m_exchange = http::createExchange();
        if (!m_exchange)
            return refuse(index, CannotOpen);
        const bool sameOrigin = isSameOrigin(current, address.url);
        const http::Wait wait = m_exchange->open(
            makeRequest(current, sameOrigin ? address.authorization : QByteArray()),
            m_settings.connectTimeout);
        if (wait == http::Wait::Interrupted)
            return cancelled();
        if (wait != http::Wait::Ready)
            return refuse(index, CannotOpen);
        status = m_exchange->status();
        if (!isRedirect(status) || redirects == MaxRedirects)
            break;
        // Never from https to plain http.
        const QByteArray location = m_exchange->header("Location");
        const QUrl next = current.resolved(QUrl::fromEncoded(location));
        if (location.isEmpty() || !next.isValid() || !isHttpScheme(next) || next.host().isEmpty() ||
            (current.scheme() == u"https" && next.scheme() == u"http"))
            break;
        current = next;
        current.setUserInfo(QString());
    }
    if (!isAccepted(status))
        return refuse(index, status);
    bool lengthKnown = false;
    const qint64 announced = m_exchange->header("Content-Length").toLongLong(&lengthKnown);
    if (lengthKnown && announced > m_settings.maxBodySize)
        return refuse(index, CannotOpen);
    return std::nullopt;
}

WebDataRun::Fetch WebDataRun::copyBody(const QString& localFile)
{
    QFile file(localFile);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return fileError();
    // A body that ends early keeps what came as the document: the connection breaks, nothing
    // arrives within the stall bound, or the size bound is reached (the bytes beyond it are
    // not kept).
    qint64 total = 0;
    char block[BlockSize];
    for (;;) {
        qint64 got = 0;
        const http::Wait wait = m_exchange->read(block, BlockSize, got, m_settings.stallTimeout);
        if (wait == http::Wait::Interrupted)
            return cancelled();
        if (wait != http::Wait::Ready)
            break;
        const qint64 kept = std::min(got, std::max<qint64>(m_settings.maxBodySize - total, 0));
        if (file.write(block, kept) != kept)
            return fileError();
        total += kept;
        if (got == 0 || kept < got)
            break;
    }
    m_exchange.reset();
    if (!file.flush())
        return fileError();
    file.close();
    if (file.error() != QFileDevice::NoError)
        return fileError();
    // An empty body, or one whose first read failed, is no document; nothing is reported.
    return total > 0 ? Fetch::Succeeded : Fetch::Failed;
}

bool WebDataRun::parse(int index, const QString& localFile)
{
    QFile file(localFile);
    if (!file.open(QIODevice::ReadOnly)) {
        m_end = End::Error;
        return false;
    }
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        m_end = End::Error;
        return false;
    }
    file.close();

    if (!withComponent([index](TWebData& c) {
            if (TWebDataItem* item = c.m_data.Items(index))
                item->ScanResult.clear();
            if (c.OnProgress)
                c.OnProgress(&c, index);
        }))
        return false;

    const QString text = QString::fromLatin1(bytes);
    if (!withComponent([index, &text](TWebData& c) {
            if (TWebDataItem* item = c.m_data.Items(index))
                item->Content = text;
        }))
        return false;

    const WebDataItemPlan& plan = m_items[static_cast<size_t>(index)];
    if (const std::optional<QString> data =
            extractFragment(text, plan.scanFirst, plan.scanFrom, plan.scanTo)) {
        if (!withComponent([index, &data](TWebData& c) {
                if (TWebDataItem* item = c.m_data.Items(index)) {
                    item->ScanResult = *data;
                    item->Found = true;
                }
                if (c.OnData)
                    c.OnData(&c, index, *data);
            }))
            return false;
    }

    const QStringList images = scanImages(text, plan.url, m_settings.imageType);
    const QStringList links = scanHyperLinks(text, plan.url, m_settings.hyperLinkType);
    return withComponent([&images, &links](TWebData& c) {
        c.m_images += images;
        c.m_hyperLinks += links;
    });
}

// ---- The worker thread and its bookkeeping --------------------------------------------------

// Runs one collection and ends by itself. It is deleted on the main thread once it has
// finished, or at the latest when the application object goes away.
class TWDInetThread final : public QThread
{
public:
    TWDInetThread(std::shared_ptr<WebDataLink> link, QPointer<TWebData> owner,
                  WebDataSettings settings, std::vector<WebDataItemPlan> items)
        : m_link(std::move(link))
        , m_owner(std::move(owner))
        , m_settings(std::move(settings))
        , m_items(std::move(items))
    {}

    WebDataLink& link() { return *m_link; }

protected:
    void run() override
    {
        {
            WebDataRun run(m_link, std::move(m_settings), std::move(m_items));
            run.execute();
        }
        const QMutexLocker lock(&m_link->mutex);
        if (TWebData* component = m_link->component) {
            QMetaObject::invokeMethod(
                component,
                [owner = m_owner] {
                    if (!owner)
                        return;
                    // A copy: the handler may destroy the component and with it OnCollectDone.
                    const TThreadCollectDoneEvent handler = owner->OnCollectDone;
                    if (handler)
                        handler(owner.data());
                },
                Qt::QueuedConnection);
        }
    }

private:
    std::shared_ptr<WebDataLink> m_link;
    QPointer<TWebData> m_owner;
    WebDataSettings m_settings;
    std::vector<WebDataItemPlan> m_items;
};

namespace {

// Every worker thread that has not been deleted yet. When the application object is destroyed
// the runs still going are cancelled and given a moment to end, so that no thread outlives
// Qt's own state and no thread object is destroyed while running.
class RunRegistry
{
public:
    static RunRegistry& instance()
    {
        // Never destroyed: a thread that outstays the exit grace may still look here.
        static auto* registry = new RunRegistry;
        return *registry;
    }

    void add(TWDInetThread* thread)
    {
        const QMutexLocker lock(&m_mutex);
        m_threads.push_back(thread);
        if (!m_postRoutineAdded) {
            qAddPostRoutine(&RunRegistry::stopAll);
            m_postRoutineAdded = true;
        }
    }

    // Main thread, once the thread has finished.
    void reap(TWDInetThread* thread)
    {
        {
            const QMutexLocker lock(&m_mutex);
            if (std::erase(m_threads, thread) == 0)
                return;
        }
        thread->wait();
        delete thread;
    }

private:
    static void stopAll()
    {
        std::vector<TWDInetThread*> threads;
        {
            RunRegistry& self = instance();
            const QMutexLocker lock(&self.m_mutex);
            threads.swap(self.m_threads);
            self.m_postRoutineAdded = false;
        }
        for (TWDInetThread* thread : threads)
            thread->link().cancel();
        const QDeadlineTimer deadline(ExitGrace);
        for (TWDInetThread* thread : threads) {
            if (thread->wait(deadline))
                delete thread;
        }
    }

    QMutex m_mutex;
    std::vector<TWDInetThread*> m_threads;
    bool m_postRoutineAdded = false;
};

} // namespace

// ---- The component --------------------------------------------------------------------------

TWebDataItem* TWebDataCollection::Add()
{
    m_items.push_back(std::make_unique<TWebDataItem>());
    return m_items.back().get();
}

TWebDataItem* TWebDataCollection::Items(int index) const
{
    if (index < 0 || index >= Count())
        return nullptr;
    return m_items[static_cast<size_t>(index)].get();
}

TWebData::TWebData(QObject* owner)
    : QObject(owner)
    , m_link(std::make_shared<WebDataLink>())
{
    m_link->component = this;
}

TWebData::~TWebData()
{
    m_link->cancel();
}

QString TWebData::Version() const
{
    constexpr quint32 version = 0x01020300;
    return QString::number((version >> 24) & 0xff) + u'.' +
           QString::number((version >> 16) & 0xff) + u'.' + QString::number((version >> 8) & 0xff) +
           u'.' + QString::number(version & 0xff);
}

void TWebData::Collect()
{
    WebDataSettings settings;
    settings.agent = m_agent;
    settings.proxy = m_proxy;
    settings.proxyUserID = m_proxyUserID;
    settings.proxyPassword = m_proxyPassword;
    settings.hyperLinkType = m_hyperLinkType;
    settings.imageType = m_imageType;
    settings.maxBodySize = m_maxBodySize;
    settings.connectTimeout = m_connectTimeout;
    settings.stallTimeout = m_stallTimeout;

    std::vector<WebDataItemPlan> items;
    items.reserve(static_cast<size_t>(m_data.Count()));
    for (int i = 0; i < m_data.Count(); ++i) {
        const TWebDataItem& item = *m_data.Items(i);
        items.push_back({item.URL, item.ScanFirst, item.ScanFrom, item.ScanTo, item.LocalFile,
                         item.AutoDelete, item.Enable});
    }

    auto* thread =
        new TWDInetThread(m_link, QPointer<TWebData>(this), std::move(settings), std::move(items));
    RunRegistry::instance().add(thread);
    if (QCoreApplication* app = QCoreApplication::instance()) {
        QObject::connect(thread, &QThread::finished, app,
                         [thread] { RunRegistry::instance().reap(thread); });
    }
    thread->start();
}

} // namespace corvane
