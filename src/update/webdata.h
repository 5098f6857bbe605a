#pragma once

// The web document fetcher. A TWebData fetches the documents listed in Data() on a worker
// thread of its own: each body goes into a local file, is read back one byte per character
// (ISO 8859-1), optionally cut between marker texts, and scanned for image sources and links
// (see webscan.h). Results are written into the items and lists and announced through the
// events; the owner reads them from OnCollectDone on, or inside a worker-thread event for the
// item at hand.
//
// Each run gets its own thread, which fetches step by step through the HTTP module (see
// httpexchange.h): open the address, check the status, copy the body in 4096-byte blocks.
// Nothing is cached.
// A run ends by itself; destroying the component mid-run cancels it instead of waiting for the
// network, and no event of a cancelled run is raised any more.
//
// Usage (main thread):
//     auto* web = new TWebData(owner);
//     web->Data().Add()->URL = address;
//     web->OnData = [](TWebData* sender, int iItem, const QString& data) { ... };
//     web->Collect();

#include "update/webscan.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <chrono>
#include <functional>
#include <memory>
#include <vector>

namespace corvane {

class TWebData;
struct WebDataLink;
class WebDataRun;

/// A document has been loaded and is about to be parsed. Worker thread.
using TWebDataProgressEvent = std::function<void(TWebData* Sender, int iItem)>;
/// A document's data (the fragment, or the whole text) is ready. Worker thread.
using TWebDataDataEvent = std::function<void(TWebData* Sender, int iItem, const QString& data)>;
/// The run has ended. The component's own thread.
using TThreadCollectDoneEvent = std::function<void(TWebData* Sender)>;
/// A document could not be fetched: `errcode` is the HTTP status that was refused, or -1 when
/// the address could not be opened, no answer came in time, or the answer announced a body
/// over the size bound. A body that is empty, or that ends before its first byte, is reported
/// by no event. Worker thread.
using TCollectErrorEvent = std::function<void(TWebData* Sender, int iItem, int errcode)>;

/// One document to fetch, and what the last run found in it.
class TWebDataItem
{
public:
    QString URL;       ///< address of the document
    QString ScanFirst; ///< first marker; empty: the whole text is the data
    QString ScanFrom;  ///< second marker
    QString ScanTo;    ///< end marker
    QString ScanResult;
    bool Found = false;
    QString LocalFile; ///< file for the body; empty: a temporary "WD" file, named here after a run
    bool AutoDelete = true;
    bool Enable = true;
    qint32 Tag = 0;
    QString Content;

    QString GetDisplayName() const { return URL; }
};

/// The documents of a TWebData, in fetch order.
class TWebDataCollection
{
public:
    explicit TWebDataCollection(TWebData* owner)
        : m_owner(owner)
    {}
    TWebDataCollection(const TWebDataCollection&) = delete;
    TWebDataCollection& operator=(const TWebDataCollection&) = delete;

    /// Appends an item with the initial values and returns it; the collection owns it.
    TWebDataItem* Add();
    /// The item at zero-based `index`, or nullptr when there is none.
    TWebDataItem* Items(int index) const;
    int Count() const { return static_cast<int>(m_items.size()); }
    TWebData* GetOwner() const { return m_owner; }

private:
    TWebData* m_owner;
    std::vector<std::unique_ptr<TWebDataItem>> m_items;
};

class TWebData : public QObject
{
    Q_OBJECT

public:
    explicit TWebData(QObject* owner);
    /// Returns at once. A run in progress is cancelled: its connection is closed on its own
    /// thread, its temporary files are removed, and none of its events is raised any more.
    /// When a worker-thread handler is running, waits for that handler to return, so handlers
    /// must not wait for the component's thread.
    ~TWebData() override;

    /// Starts a run over Data() on a new worker thread and returns at once. Until
    /// OnCollectDone, the owner leaves the items, lists and properties alone. Needs a
    /// QCoreApplication; OnCollectDone is delivered by this object's thread's event loop.
    void Collect();

    const QString& Agent() const { return m_agent; }
    void setAgent(const QString& agent) { m_agent = agent; }
    TImageType ImageType() const { return m_imageType; }
    void setImageType(TImageType type) { m_imageType = type; }
    const QString& HyperLinkType() const { return m_hyperLinkType; }
    void setHyperLinkType(const QString& type) { m_hyperLinkType = type; }
    /// Empty: the system's settings (on Linux the http_proxy and no_proxy variables).
    /// Otherwise "host:port" (an "http://" in front is allowed; the port defaults to 80).
    const QString& Proxy() const { return m_proxy; }
    void setProxy(const QString& proxy) { m_proxy = proxy; }
    /// Credentials written into http addresses; the server receives them as Basic
    /// authorization, preemptively (see webdata.cpp).
    const QString& ProxyUserID() const { return m_proxyUserID; }
    void setProxyUserID(const QString& user) { m_proxyUserID = user; }
    const QString& ProxyPassword() const { return m_proxyPassword; }
    void setProxyPassword(const QString& password) { m_proxyPassword = password; }

    /// Always "1.2.3.0"; assigning has no effect.
    QString Version() const;
    void setVersion(const QString&) {}

    /// A body announced longer than this many bytes fails its fetch; one that turns out longer
    /// is cut here, and what came up to this bound is the document.
    qint64 MaxBodySize() const { return m_maxBodySize; }
    void setMaxBodySize(qint64 bytes) { m_maxBodySize = bytes; }
    /// How long to wait for the response headers once a fetch has started.
    std::chrono::milliseconds ConnectTimeout() const { return m_connectTimeout; }
    void setConnectTimeout(std::chrono::milliseconds timeout) { m_connectTimeout = timeout; }
    /// How long the body may stall without a byte. It then ends there: what came so far is the
    /// document, and a fetch that got no body byte has none (no event reports it).
    std::chrono::milliseconds StallTimeout() const { return m_stallTimeout; }
    void setStallTimeout(std::chrono::milliseconds timeout) { m_stallTimeout = timeout; }

    TWebDataCollection& Data() { return m_data; }
    const TWebDataCollection& Data() const { return m_data; }
    /// Image addresses found by the last run.
    const QStringList& Images() const { return m_images; }
    /// Link addresses found by the last run.
    const QStringList& HyperLinks() const { return m_hyperLinks; }

    // Events; an empty one is skipped. See the types for their threads.
    TWebDataDataEvent OnData;
    TWebDataProgressEvent OnProgress;
    TThreadCollectDoneEvent OnCollectDone;
    TCollectErrorEvent OnCollectError;

private:
    friend class WebDataRun;

    QString m_agent = QStringLiteral("WebData");
    TImageType m_imageType = itAll;
    QStringList m_images;
    QStringList m_hyperLinks;
    QString m_hyperLinkType;
    QString m_proxy;
    QString m_proxyUserID;
    QString m_proxyPassword;
    TWebDataCollection m_data{this};
    qint64 m_maxBodySize = 16 * 1024 * 1024;
    std::chrono::milliseconds m_connectTimeout{60'000};
    std::chrono::milliseconds m_stallTimeout{60'000};

    // Shared with the runs: tells them whether this object still exists.
    std::shared_ptr<WebDataLink> m_link;
};

} // namespace corvane
