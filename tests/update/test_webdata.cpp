#include "platform/platform.h"
#include "testfiles.h"
#include "testhttpserver.h"
#include "update/webdata.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QMutex>
#include <QProcess>
#include <QSslKey>
#include <QSslSocket>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <memory>
#include <optional>
#include <stdexcept>
#include <sys/stat.h>

using namespace corvane;
using namespace std::chrono_literals;

Q_DECLARE_METATYPE(TestRoute)

namespace {

// Everything a run reports, from whichever thread raises it.
class Recorder
{
public:
    explicit Recorder(TWebData& web)
    {
        web.OnProgress = [this](TWebData*, int i) {
            add(QStringLiteral("progress %1").arg(i), false);
            if (i == m_throwAt)
                throw std::runtime_error("handler failure");
        };
        web.OnData = [this](TWebData* sender, int i, const QString& data) {
            const TWebDataItem* item = sender->Data().Items(i);
            const QMutexLocker lock(&m_mutex);
            m_data.append(data);
            m_fileDuringData.append(item && QFile::exists(item->LocalFile));
            m_events.append(QStringLiteral("data %1").arg(i));
            noteThread(false);
        };
        web.OnCollectError = [this](TWebData*, int i, int code) {
            add(QStringLiteral("error %1:%2").arg(i).arg(code), false);
        };
        web.OnCollectDone = [this](TWebData*) { add(QStringLiteral("done"), true); };
    }

    void throwInProgressOf(int item) { m_throwAt = item; }

    QStringList events() const
    {
        const QMutexLocker lock(&m_mutex);
        return m_events;
    }
    QStringList data() const
    {
        const QMutexLocker lock(&m_mutex);
        return m_data;
    }
    QList<bool> fileDuringData() const
    {
        const QMutexLocker lock(&m_mutex);
        return m_fileDuringData;
    }
    bool done() const { return events().contains(QStringLiteral("done")); }
    bool threadsAsPromised() const
    {
        const QMutexLocker lock(&m_mutex);
        return !m_wrongThread;
    }

private:
    void add(const QString& event, bool onComponentThread)
    {
        const QMutexLocker lock(&m_mutex);
        m_events.append(event);
        noteThread(onComponentThread);
    }
    void noteThread(bool onComponentThread)
    {
        const bool onMain = QThread::currentThread() == QCoreApplication::instance()->thread();
        if (onMain != onComponentThread)
            m_wrongThread = true;
    }

    mutable QMutex m_mutex;
    QStringList m_events;
    QStringList m_data;
    QList<bool> m_fileDuringData;
    bool m_wrongThread = false;
    int m_throwAt = -1;
};

TestRoute route(int status, const QByteArray& body)
{
    TestRoute r;
    r.status = status;
    r.body = body;
    return r;
}

TestRoute redirect(int status, const QByteArray& location)
{
    TestRoute r;
    r.status = status;
    r.headers.append({QByteArrayLiteral("Location"), location});
    return r;
}

// The requests whose path (origin or absolute form) is `path`.
QList<RecordedRequest> requestsFor(const TestHttpServer& server, const QByteArray& path)
{
    QList<RecordedRequest> found;
    const QList<RecordedRequest> all = server.requests();
    for (const RecordedRequest& request : all) {
        if (request.target == path || request.target.endsWith(path))
            found.append(request);
    }
    return found;
}

// An environment variable set for one scope.
class ScopedEnv
{
public:
    ScopedEnv(const char* name, const QByteArray& value)
        : m_name(name)
        , m_had(qEnvironmentVariableIsSet(name))
        , m_old(qgetenv(name))
    {
        qputenv(name, value);
    }
    ~ScopedEnv()
    {
        if (m_had)
            qputenv(m_name, m_old);
        else
            qunsetenv(m_name);
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    const char* m_name;
    bool m_had;
    QByteArray m_old;
};

// The test server's TLS setup with one of the certificates of tests/support/certs.
QSslConfiguration serverTls(const QString& certificate)
{
    const QString folder = QStringLiteral(CORVANE_TEST_CERTS_DIR "/");
    QSslConfiguration tls;
    tls.setLocalCertificate(QSslCertificate::fromPath(folder + certificate + u".pem").value(0));
    QFile key(folder + QStringLiteral("server.key"));
    if (key.open(QIODevice::ReadOnly))
        tls.setPrivateKey(QSslKey(&key, QSsl::Ec));
    return tls;
}

// Child mode: start a fetch against a server that never answers, then leave the event loop
// while it runs. "destroy" deletes the component first; "owned" leaves it to the application.
int fetchAndExit(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QString url = QString::fromLocal8Bit(argv[2]);
    const bool destroyFirst = qstrcmp(argv[3], "destroy") == 0;
    auto* web = new TWebData(&app);
    web->Data().Add()->URL = url;
    web->OnData = [](TWebData*, int, const QString&) { qFatal("data after exit"); };
    web->Collect();
    QTimer::singleShot(300, &app, [&] {
        if (destroyFirst)
            delete web;
        app.quit();
    });
    return app.exec();
}

} // namespace

class TestWebData : public QObject
{
    Q_OBJECT

private:
    QString tempFolder() const { return m_tmp->path(); }
    QStringList wdFiles() const
    {
        return QDir(tempFolder()).entryList({QStringLiteral("WD*")}, QDir::Files | QDir::Hidden);
    }
    static void runToEnd(TWebData& web, const Recorder& recorder)
    {
        web.Collect();
        QTRY_VERIFY_WITH_TIMEOUT(recorder.done(), 10000);
    }

    std::unique_ptr<QTemporaryDir> m_tmp;
    std::unique_ptr<TestHttpServer> m_server;

private Q_SLOTS:
    void initTestCase()
    {
        m_tmp = std::make_unique<QTemporaryDir>();
        QVERIFY(m_tmp->isValid());
        qputenv("TMPDIR", QFile::encodeName(m_tmp->path()));
        qunsetenv("http_proxy");
        qunsetenv("HTTP_PROXY");
        qunsetenv("all_proxy");
        qunsetenv("https_proxy");
        qunsetenv("HTTPS_PROXY");
        qunsetenv("no_proxy");
        // Only the test CA is trusted, by every TLS connection of this process.
        QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
        tls.setCaCertificates(
            QSslCertificate::fromPath(QStringLiteral(CORVANE_TEST_CERTS_DIR "/ca.pem")));
        QCOMPARE(tls.caCertificates().size(), 1);
        QSslConfiguration::setDefaultConfiguration(tls);
    }

    void init() { m_server = std::make_unique<TestHttpServer>(); }

    void cleanup()
    {
        // Whatever a test did, no temporary "WD" file stays behind.
        QTRY_VERIFY_WITH_TIMEOUT(wdFiles().isEmpty(), 5000);
        m_server.reset();
    }

    void versionAndItems()
    {
        TWebData web(nullptr);
        QCOMPARE(web.Data().GetOwner(), &web);
        web.setVersion(QStringLiteral("9.9.9.9"));
        QCOMPARE(web.Version(), QStringLiteral("1.2.3.0"));

        TWebDataItem* item = web.Data().Add();
        item->URL = QStringLiteral("http://server/f");
        QCOMPARE(item->GetDisplayName(), item->URL);
        QCOMPARE(web.Data().Items(0), item);
        QCOMPARE(web.Data().Items(1), nullptr);
        QCOMPARE(web.Data().Items(-1), nullptr);
    }

    void emptyDataOnlyEnds()
    {
        TWebData web(nullptr);
        Recorder recorder(web);
        runToEnd(web, recorder);
        QCOMPARE(recorder.events(), QStringList{QStringLiteral("done")});
        QCOMPARE(m_server->requestCount(), 0);
        QVERIFY(recorder.threadsAsPromised());
    }

    void fetchesOneDocument()
    {
        m_server->setRoute("/doc", route(200, QByteArrayLiteral("Gr\xfc\xdf 5.2")));
        TWebData web(nullptr);
        TWebDataItem* item = web.Data().Add();
        item->URL = m_server->url(QStringLiteral("/doc"));
        Recorder recorder(web);
        runToEnd(web, recorder);

        QCOMPARE(recorder.events(),
                 (QStringList{QStringLiteral("progress 0"), QStringLiteral("data 0"),
                              QStringLiteral("done")}));
        const QString text =
            QStringLiteral("Gr") + QChar(0xfc) + QChar(0xdf) + QStringLiteral(" 5.2");
        QCOMPARE(recorder.data(), QStringList{text});
        QCOMPARE(recorder.fileDuringData(), QList<bool>{true});
        QVERIFY(recorder.threadsAsPromised());
        QVERIFY(item->Found);
        QCOMPARE(item->ScanResult, text);
        QCOMPARE(item->Content, text);
        QVERIFY(item->LocalFile.startsWith(tempFolder() + QStringLiteral("/WD")));
        QVERIFY(!QFile::exists(item->LocalFile));

        const QList<RecordedRequest> requests = m_server->requests();
        QCOMPARE(requests.size(), 1);
        const RecordedRequest& request = requests.first();
        QCOMPARE(request.method, QByteArrayLiteral("GET"));
        QCOMPARE(request.target, QByteArrayLiteral("/doc"));
        QCOMPARE(request.values("User-Agent"), QList<QByteArray>{"WebData"});
        QCOMPARE(request.values("Pragma"), QList<QByteArray>{"no-cache"});
        QCOMPARE(request.values("Cache-Control"), QList<QByteArray>{"no-cache"});
        QVERIFY(request.values("Authorization").isEmpty());
    }

    void agentCannotAddHeaders()
    {
        m_server->setRoute("/doc", route(200, "x"));
        TWebData web(nullptr);
        web.setAgent(QStringLiteral("Corvane/5.1\r\nX-Injected: 1"));
        web.Data().Add()->URL = m_server->url(QStringLiteral("/doc"));
        Recorder recorder(web);
        runToEnd(web, recorder);
        const QList<RecordedRequest> requests = m_server->requests();
        QCOMPARE(requests.size(), 1);
        QVERIFY(requests.first().values("X-Injected").isEmpty());
        QCOMPARE(requests.first().values("User-Agent"),
                 QList<QByteArray>{"Corvane/5.1  X-Injected: 1"});
    }

    void statuses_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QStringList>("events");

        const QStringList parsed{QStringLiteral("progress 0"), QStringLiteral("data 0"),
                                 QStringLiteral("done")};
        auto refused = [](int status) {
            return QStringList{QStringLiteral("error 0:%1").arg(status), QStringLiteral("done")};
        };
        QTest::newRow("200") << 200 << QByteArray("ok") << parsed;
        QTest::newRow("203") << 203 << QByteArray("ok") << parsed;
        QTest::newRow("299") << 299 << QByteArray("ok") << parsed;
        QTest::newRow("500 with a body") << 500 << QByteArray("server error page") << parsed;
        QTest::newRow("200 with an empty body")
            << 200 << QByteArray() << QStringList{QStringLiteral("done")};
        QTest::newRow("300 without a Location") << 300 << QByteArray("choose") << refused(300);
        QTest::newRow("302 without a Location") << 302 << QByteArray("moved") << refused(302);
        QTest::newRow("304") << 304 << QByteArray() << refused(304);
        QTest::newRow("403") << 403 << QByteArray("no") << refused(403);
        QTest::newRow("404") << 404 << QByteArray("missing") << refused(404);
        QTest::newRow("501") << 501 << QByteArray("no") << refused(501);
        QTest::newRow("503") << 503 << QByteArray("busy") << refused(503);
    }

    void statuses()
    {
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(QStringList, events);
        m_server->setRoute("/s", route(status, body));
        TWebData web(nullptr);
        TWebDataItem* item = web.Data().Add();
        item->URL = m_server->url(QStringLiteral("/s"));
        Recorder recorder(web);
        runToEnd(web, recorder);
        QCOMPARE(recorder.events(), events);
        QCOMPARE(item->Found, events.contains(QStringLiteral("data 0")));
        if (item->Found)
            QCOMPARE(recorder.data(), QStringList{QString::fromLatin1(body)});
        // The item's temporary file was created and is gone again.
        QVERIFY(item->LocalFile.startsWith(tempFolder() + QStringLiteral("/WD")));
        QVERIFY(!QFile::exists(item->LocalFile));
    }

    // How the body's end is found, and answers whose head cannot be trusted.
    void framing_data()
    {
        QTest::addColumn<TestRoute>("serverRoute");
        QTest::addColumn<QString>("data"); // empty: the fetch fails (-1)

        auto raw = [](int status, QList<std::pair<QByteArray, QByteArray>> headers,
                      const QByteArray& body) {
            TestRoute r = route(status, body);
            r.headers = std::move(headers);
            r.sendContentLength = false;
            return r;
        };
        QTest::newRow("chunked, with extension and trailer")
            << raw(200, {{"Transfer-Encoding", "chunked"}},
                   "4\r\nWiki\r\n5;x=1\r\npedia\r\n0\r\nT: 1\r\n\r\nnot the body")
            << QStringLiteral("Wikipedia");
        QTest::newRow("chunked, bare line feeds")
            << raw(200, {{"Transfer-Encoding", "gzip, chunked"}}, "3\nabc\n0\n\n")
            << QStringLiteral("abc");
        QTest::newRow("chunk cut short")
            << raw(200, {{"Transfer-Encoding", "chunked"}}, "9\r\nab") << QStringLiteral("ab");
        QTest::newRow("length shorter than what is sent")
            << raw(200, {{"Content-Length", "3"}}, "abcdef") << QStringLiteral("abc");
        QTest::newRow("interim answer first")
            << raw(100, {}, "HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nhello world")
            << QStringLiteral("hello");
        QTest::newRow("two different lengths")
            << raw(200, {{"Content-Length", "3"}, {"Content-Length", "4"}}, "abcd") << QString();
        QTest::newRow("a length that is no number")
            << raw(200, {{"Content-Length", "3x"}}, "abc") << QString();
        QTest::newRow("head over its bound")
            << raw(200, {{"X-Filler", QByteArray(70 * 1024, 'h')}}, "body") << QString();
        QTest::newRow("too many header lines")
            << raw(200, QList<std::pair<QByteArray, QByteArray>>(300, {"X-Line", "1"}), "body")
            << QString();
    }

    void framing()
    {
        QFETCH(TestRoute, serverRoute);
        QFETCH(QString, data);
        m_server->setRoute("/f", serverRoute);
        TWebData web(nullptr);
        web.Data().Add()->URL = m_server->url(QStringLiteral("/f"));
        Recorder recorder(web);
        runToEnd(web, recorder);
        if (data.isEmpty())
            QCOMPARE(recorder.events(),
                     (QStringList{QStringLiteral("error 0:-1"), QStringLiteral("done")}));
        else
            QCOMPARE(recorder.data(), QStringList{data});
    }

    void repeatedAddressSharesTheDownload()
    {
        m_server->setRoute("/same", route(200, "shared"));
        TWebData web(nullptr);
        for (int i = 0; i < 2; ++i)
            web.Data().Add()->URL = m_server->url(QStringLiteral("/same"));
        Recorder recorder(web);
        runToEnd(web, recorder);
        QCOMPARE(m_server->requestCount(), 1);
        QCOMPARE(recorder.events(),
                 (QStringList{QStringLiteral("progress 0"), QStringLiteral("data 0"),
                              QStringLiteral("progress 1"), QStringLiteral("data 1"),
                              QStringLiteral("done")}));
        QCOMPARE(recorder.fileDuringData(), (QList<bool>{true, true}));
        QCOMPARE(web.Data().Items(0)->LocalFile, web.Data().Items(1)->LocalFile);
        QVERIFY(!QFile::exists(web.Data().Items(0)->LocalFile));
    }

    void failedFetchIsNotShared()
    {
        m_server->setRoute("/gone", route(404, "gone"));
        TWebData web(nullptr);
        web.Data().Add()->URL = m_server->url(QStringLiteral("/gone"));
        web.Data().Add()->URL = m_server->url(QStringLiteral("/gone"));
        web.Data().Add(); // no address: must not parse the failed fetch's file
        Recorder recorder(web);
        runToEnd(web, recorder);
        QCOMPARE(m_server->requestCount(), 2);
        QCOMPARE(recorder.events(),
                 (QStringList{QStringLiteral("error 0:404"), QStringLiteral("error 1:404"),
                              QStringLiteral("error 2:-1"), QStringLiteral("done")}));
    }

    void localFilesAndAutoDelete()
    {
        m_server->setRoute("/a", route(200, "A"));
        m_server->setRoute("/b", route(200, "B"));
        m_server->setRoute("/c", route(200, "C"));
        const QString kept = tempFolder() + QStringLiteral("/kept.htm");
        const QString dropped = tempFolder() + QStringLiteral("/dropped.htm");
        QVERIFY(test::writeFile(kept, "older and longer content"));
        TWebData web(nullptr);
        TWebDataItem* first = web.Data().Add();
        first->URL = m_server->url(QStringLiteral("/a"));
        first->LocalFile = kept;
        first->AutoDelete = false;
        TWebDataItem* second = web.Data().Add();
        second->URL = m_server->url(QStringLiteral("/b"));
        second->LocalFile = dropped; // AutoDelete: removed before the next download
        TWebDataItem* third = web.Data().Add();
        third->URL = m_server->url(QStringLiteral("/c"));
        Recorder recorder(web);
        runToEnd(web, recorder);

        QCOMPARE(recorder.data(),
                 (QStringList{QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("C")}));
        QFile keptFile(kept);
        QVERIFY(keptFile.open(QIODevice::ReadOnly));
        QCOMPARE(keptFile.readAll(), QByteArrayLiteral("A"));
        QVERIFY(!QFile::exists(dropped));
        QCOMPARE(first->LocalFile, kept);
        QCOMPARE(second->LocalFile, dropped);
        QVERIFY(third->LocalFile.startsWith(tempFolder() + QStringLiteral("/WD")));
        QVERIFY(!QFile::exists(third->LocalFile));
        QVERIFY(QFile::remove(kept));
    }

    void disabledItemIsSkipped()
    {
        m_server->setRoute("/a", route(200, "A"));
        m_server->setRoute("/b", route(200, "B"));
        TWebData web(nullptr);
        TWebDataItem* off = web.Data().Add();
        off->URL = m_server->url(QStringLiteral("/a"));
        off->Enable = false;
        off->Found = true; // cleared by the run even though skipped
        web.Data().Add()->URL = m_server->url(QStringLiteral("/b"));
        Recorder recorder(web);
        runToEnd(web, recorder);
        QCOMPARE(recorder.events(),
                 (QStringList{QStringLiteral("progress 1"), QStringLiteral("data 1"),
                              QStringLiteral("done")}));
        QVERIFY(requestsFor(*m_server, "/a").isEmpty());
        QVERIFY(!off->Found);
        QVERIFY(off->LocalFile.isEmpty());
    }

    void markersCutTheData()
    {
        m_server->setRoute("/t", route(200, "<html><head><title lang=\"en\">Hello</title>"));
        TWebData web(nullptr);
        for (int i = 0; i < 2; ++i) {
            TWebDataItem* item = web.Data().Add();
            item->URL = m_server->url(QStringLiteral("/t"));
            item->ScanFirst = QStringLiteral("<title");
            item->ScanFrom = i == 0 ? QStringLiteral(">") : QString();
            item->ScanTo = QStringLiteral("</title>");
        }
        Recorder recorder(web);
        runToEnd(web, recorder);
        QCOMPARE(recorder.events(),
                 (QStringList{QStringLiteral("progress 0"), QStringLiteral("data 0"),
                              QStringLiteral("progress 1"), QStringLiteral("done")}));
        QCOMPARE(recorder.data(), QStringList{QStringLiteral("Hello")});
        QCOMPARE(web.Data().Items(0)->ScanResult, QStringLiteral("Hello"));
        QVERIFY(web.Data().Items(0)->Found);
        QVERIFY(!web.Data().Items(1)->Found);
        QVERIFY(web.Data().Items(1)->ScanResult.isEmpty());
        QCOMPARE(web.Data().Items(1)->Content, web.Data().Items(0)->Content);
    }

    void imagesAndLinksOfARun()
    {
        m_server->setRoute("/x/index.htm",
                           route(200, "<img src=\"pics/a.GIF\"><img src=\"b.jpg\">"
                                      "<a href=\"/top.htm\">t</a><a href=\"f.zip\">z</a>"));
        m_server->setRoute("/y/two.htm", route(200, "<IMG SRC=\"c.gif\"><A HREF=\"g.ZIP\">"));
        TWebData web(nullptr);
        web.setImageType(itGIF);
        web.setHyperLinkType(QStringLiteral(".zip"));
        web.Data().Add()->URL = m_server->url(QStringLiteral("/x/index.htm"));
        web.Data().Add()->URL = m_server->url(QStringLiteral("/y/two.htm"));
        const QString host =
            QStringLiteral("HTTP://127.0.0.1:") + QString::number(m_server->port());
        const QStringList images{host + QStringLiteral("/x/pics/a.GIF"),
                                 host + QStringLiteral("/y/c.gif")};
        const QStringList links{host + QStringLiteral("/x/f.zip"),
                                host + QStringLiteral("/y/g.ZIP")};
        for (int run = 0; run < 2; ++run) { // a new run starts with empty lists
            Recorder recorder(web);
            runToEnd(web, recorder);
            QCOMPARE(web.Images(), images);
            QCOMPARE(web.HyperLinks(), links);
        }
    }

    void credentialsGoToTheServer_data()
    {
        QTest::addColumn<QString>("user");
        QTest::addColumn<QString>("password");
        QTest::addColumn<QString>("scheme");
        QTest::addColumn<QByteArray>("authorization");

        QTest::newRow("user, empty password")
            << QStringLiteral("u") << QString() << QStringLiteral("http://")
            << QByteArray("Basic " + QByteArray("u:").toBase64());
        QTest::newRow("scheme in capitals")
            << QStringLiteral("u") << QStringLiteral("p") << QStringLiteral("HTTP://")
            << QByteArray("Basic " + QByteArray("u:p").toBase64());
        QTest::newRow("characters that would change the host")
            << QStringLiteral("u@x") << QStringLiteral("p@evil.test/#") << QStringLiteral("http://")
            << QByteArray("Basic " + QByteArray("u@x:p@evil.test/#").toBase64());
        QTest::newRow("no user, nothing sent")
            << QString() << QStringLiteral("p") << QStringLiteral("http://") << QByteArray();
    }

    void credentialsGoToTheServer()
    {
        QFETCH(QString, user);
        QFETCH(QString, password);
        QFETCH(QString, scheme);
        QFETCH(QByteArray, authorization);
        m_server->setRoute("/f", route(200, "f"));
        TWebData web(nullptr);
        web.setProxyUserID(user);
        web.setProxyPassword(password);
        web.Data().Add()->URL = scheme + QStringLiteral("127.0.0.1:") +
                                QString::number(m_server->port()) + QStringLiteral("/f");
        Recorder recorder(web);
        runToEnd(web, recorder);
        QCOMPARE(recorder.data(), QStringList{QStringLiteral("f")});
        const QList<RecordedRequest> requests = m_server->requests();
        QCOMPARE(requests.size(), 1);
        QCOMPARE(requests.first().target, QByteArrayLiteral("/f"));
        const QList<QByteArray> sent = requests.first().values("Authorization");
        QCOMPARE(sent,
                 authorization.isEmpty() ? QList<QByteArray>() : QList<QByteArray>{authorization});
    }

    void credentialsStayWithTheirHost()
    {
        TestHttpServer other;
        other.setRoute("/f", route(200, "elsewhere"));
        m_server->setRoute("/r", redirect(302, other.url(QStringLiteral("/f")).toLatin1()));
        TWebData web(nullptr);
        web.setProxyUserID(QStringLiteral("u"));
        web.setProxyPassword(QStringLiteral("secret"));
        web.Data().Add()->URL = m_server->url(QStringLiteral("/r"));
        Recorder recorder(web);
        runToEnd(web, recorder);
        QCOMPARE(recorder.data(), QStringList{QStringLiteral("elsewhere")});
        QCOMPARE(m_server->requests().value(0).values("Authorization").size(), 1);
        QCOMPARE(other.requestCount(), 1);
        QVERIFY(other.requests().first().values("Authorization").isEmpty());
    }

    void givenProxyIsUsed_data()
    {
        QTest::addColumn<QString>("proxyForm");
        QTest::newRow("host:port") << QStringLiteral("127.0.0.1:%1");
        QTest::newRow("http address") << QStringLiteral("http://127.0.0.1:%1/");
    }

    void givenProxyIsUsed()
    {
        QFETCH(QString, proxyForm);
        m_server->setRoute("/f", route(200, "via proxy"));
        TWebData web(nullptr);
        web.setProxy(proxyForm.arg(m_server->port()));
        web.Data().Add()->URL = QStringLiteral("http://corvane.test/f");
        Recorder recorder(web);
        runToEnd(web, recorder);
        QCOMPARE(recorder.data(), QStringList{QStringLiteral("via proxy")});
        QCOMPARE(m_server->requests().value(0).target, QByteArrayLiteral("http://corvane.test/f"));
    }

    void systemProxyFromTheEnvironment_data()
    {
        QTest::addColumn<QByteArray>("userInfo");
        QTest::addColumn<QList<QByteArray>>("proxyAuthorization");
        QTest::newRow("open proxy") << QByteArray() << QList<QByteArray>{};
        // user:p@ss w0rd, percent-encoded in the variable as it must be
        QTest::newRow("proxy with credentials")
            << QByteArray("user:p%40ss%20w0rd@")
            << QList<QByteArray>{"Basic " + QByteArray("user:p@ss w0rd").toBase64()};
    }

    void systemProxyFromTheEnvironment()
    {
        QFETCH(QByteArray, userInfo);
        QFETCH(QList<QByteArray>, proxyAuthorization);
        m_server->setRoute("/update.ini", route(200, "5.2"));
        const ScopedEnv proxy("http_proxy", "http://" + userInfo + "127.0.0.1:" +
                                                QByteArray::number(m_server->port()) + '/');
        const ScopedEnv noProxy("no_proxy", "");
        TWebData web(nullptr);
        web.Data().Add()->URL = QStringLiteral("http://corvane.test/update.ini");
        Recorder recorder(web);
        runToEnd(web, recorder);
        QCOMPARE(recorder.data(), QStringList{QStringLiteral("5.2")});
        const RecordedRequest request = m_server->requests().value(0);
        QCOMPARE(request.target, QByteArrayLiteral("http://corvane.test/update.ini"));
        QCOMPARE(request.values("Proxy-Authorization"), proxyAuthorization);
        QVERIFY(request.values("Authorization").isEmpty()); // meant for the proxy alone
    }

    void unusableProxyGivesNoSession()
    {
        m_server->setRoute("/f", route(200, "f"));
        TWebData web(nullptr);
        web.setProxy(QStringLiteral("not a proxy"));
        web.Data().Add()->URL = m_server->url(QStringLiteral("/f"));
        Recorder recorder(web);
        runToEnd(web, recorder);
        QCOMPARE(recorder.events(), QStringList{QStringLiteral("done")});
        QCOMPARE(m_server->requestCount(), 0);
    }

    void redirectsAreFollowed_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<bool>("absolute");
        QTest::newRow("301 absolute") << 301 << true;
        QTest::newRow("302 relative") << 302 << false;
        QTest::newRow("303 relative") << 303 << false;
        QTest::newRow("307 absolute") << 307 << true;
        QTest::newRow("308 relative") << 308 << false;
    }

    void redirectsAreFollowed()
    {
        QFETCH(int, status);
        QFETCH(bool, absolute);
        m_server->setRoute("/new", route(200, "moved here"));
        m_server->setRoute(
            "/old", redirect(status, absolute ? m_server->url(QStringLiteral("/new")).toLatin1()
                                              : QByteArray("/new")));
        TWebData web(nullptr);
        TWebDataItem* item = web.Data().Add();
        item->URL = m_server->url(QStringLiteral("/old"));
        Recorder recorder(web);
        runToEnd(web, recorder);
        QCOMPARE(recorder.data(), QStringList{QStringLiteral("moved here")});
        QCOMPARE(m_server->requestCount(), 2);
        QCOMPARE(item->URL, m_server->url(QStringLiteral("/old")));
    }

    // Against a TLS server on 127.0.0.1, directly or through a tunnel of a proxy that takes
    // every host for 127.0.0.1. A failure is silent: no data, no temporary file left.
    void https_data()
    {
        QTest::addColumn<QString>("certificate");
        QTest::addColumn<QString>("host");
        QTest::addColumn<QString>("proxy"); // "given", "system" (with credentials), or none
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("error"); // none: fetched
        const auto row = [](const char* name, const char* certificate, const char* host,
                            const char* proxy, const char* path, const char* error) {
            QTest::newRow(name) << QString::fromLatin1(certificate) << QString::fromLatin1(host)
                                << QString::fromLatin1(proxy) << QString::fromLatin1(path)
                                << QString::fromLatin1(error);
        };
        row("trusted", "good", "127.0.0.1", "", "/doc", "");
        row("self-signed", "selfsigned", "127.0.0.1", "", "/doc", "-1");
        row("for another host", "wronghost", "127.0.0.1", "", "/doc", "-1");
        row("expired", "expired", "127.0.0.1", "", "/doc", "-1");
        row("redirect to http", "good", "127.0.0.1", "", "/to-http", "302");
        row("tunnel", "good", "corvane.test", "given", "/doc", "");
        // The certificate names the proxy's address too; the server's name must match.
        row("tunnel to another host", "good", "other.test", "given", "/doc", "-1");
        row("tunnel, system's proxy", "good", "corvane.test", "system", "/doc", "");
    }

    void https()
    {
        QFETCH(QString, certificate);
        QFETCH(QString, host);
        QFETCH(QString, proxy);
        QFETCH(QString, path);
        QFETCH(QString, error);
        TestHttpServer server(serverTls(certificate));
        server.setRoute("/doc", route(200, "over TLS"));
        server.setRoute("/to-http",
                        redirect(302, m_server->url(QStringLiteral("/doc")).toLatin1()));
        TestHttpServer tunnel;
        const QByteArray tunnelAddress = "127.0.0.1:" + QByteArray::number(tunnel.port());
        std::optional<ScopedEnv> systemProxy;
        if (proxy == u"system")
            systemProxy.emplace("http_proxy", "http://u:p@" + tunnelAddress);
        TWebData web(nullptr);
        if (proxy == u"given")
            web.setProxy(QString::fromLatin1(tunnelAddress));
        const QString authority = host + u':' + QString::number(server.port());
        web.Data().Add()->URL = u"https://" + authority + path;
        Recorder recorder(web);
        runToEnd(web, recorder);

        QCOMPARE(recorder.data(),
                 error.isEmpty() ? QStringList{QStringLiteral("over TLS")} : QStringList{});
        QCOMPARE(recorder.events().contains(u"error 0:" + error), !error.isEmpty());
        QCOMPARE(m_server->requestCount(), 0);
        const RecordedRequest connect = tunnel.requests().value(0);
        QCOMPARE(connect.target, proxy.isEmpty() ? QByteArray() : authority.toLatin1());
        QCOMPARE(connect.values("Proxy-Authorization").size(), proxy == u"system" ? 1 : 0);
        QVERIFY(server.requests().value(0).values("Proxy-Authorization").isEmpty());
    }

    void redirectLoopIsBounded()
    {
        m_server->setRoute("/loop", redirect(302, "/loop"));
        TWebData web(nullptr);
        web.Data().Add()->URL = m_server->url(QStringLiteral("/loop"));
        Recorder recorder(web);
        runToEnd(web, recorder);
        QCOMPARE(recorder.events(),
                 (QStringList{QStringLiteral("error 0:302"), QStringLiteral("done")}));
        QCOMPARE(m_server->requestCount(), 11);
    }

    void resetKeepsTheBytesSoFar()
    {
        QByteArray body;
        for (int i = 0; i < 10000; ++i)
            body += char('a' + i % 26);
        TestRoute r = route(200, body);
        r.resetAfterBytes = 6000;
        m_server->setRoute("/cut", r);
        TWebData web(nullptr);
        web.Data().Add()->URL = m_server->url(QStringLiteral("/cut"));
        Recorder recorder(web);
        runToEnd(web, recorder);
        QCOMPARE(recorder.data(), QStringList{QString::fromLatin1(body.left(6000))});
    }

    void failedTransfers_data()
    {
        QTest::addColumn<TestRoute>("serverRoute");
        QTest::addColumn<QString>("address"); // empty: the route on the test server
        QTest::addColumn<QStringList>("events");

        const QStringList cannotOpen{QStringLiteral("error 0:-1"), QStringLiteral("done")};
        TestRoute silent;
        silent.stallBeforeAnswer = true;
        TestRoute stall = route(200, QByteArray(100, 's'));
        stall.stallAfterBytes = 10;
        TestRoute stallFirst = stall;
        stallFirst.stallAfterBytes = 0;
        TestRoute large = route(200, QByteArray(5000, 'l'));
        TestRoute largeUnannounced = large;
        largeUnannounced.sendContentLength = false;
        const TestRoute atBound = route(200, QByteArray(1000, 'b'));

        QTest::newRow("no answer") << silent << QString() << cannotOpen;
        const QStringList parsed{QStringLiteral("progress 0"), QStringLiteral("data 0"),
                                 QStringLiteral("done")};
        QTest::newRow("body stalls before its first byte")
            << stallFirst << QString() << QStringList{QStringLiteral("done")};
        QTest::newRow("body stalls") << stall << QString() << parsed;
        QTest::newRow("body over the bound, announced") << large << QString() << cannotOpen;
        QTest::newRow("body over the bound, not announced")
            << largeUnannounced << QString() << parsed;
        QTest::newRow("body at the bound") << atBound << QString() << parsed;
        QTest::newRow("connection refused")
            << TestRoute() << QStringLiteral("refused") << cannotOpen;
        QTest::newRow("file address")
            << TestRoute() << QStringLiteral("file:///etc/hostname") << cannotOpen;
        QTest::newRow("ftp address")
            << TestRoute() << QStringLiteral("ftp://127.0.0.1/x") << cannotOpen;
        QTest::newRow("not an address") << TestRoute() << QStringLiteral("http://") << cannotOpen;
        QTest::newRow("empty address") << TestRoute() << QStringLiteral("empty") << cannotOpen;
    }

    void failedTransfers()
    {
        QFETCH(TestRoute, serverRoute);
        QFETCH(QString, address);
        QFETCH(QStringList, events);
        m_server->setRoute("/t", serverRoute);
        TWebData web(nullptr);
        web.setConnectTimeout(400ms);
        web.setStallTimeout(400ms);
        web.setMaxBodySize(1000);
        TWebDataItem* item = web.Data().Add();
        if (address.isEmpty()) {
            item->URL = m_server->url(QStringLiteral("/t"));
        } else if (address == u"refused") {
            QTcpServer closed;
            QVERIFY(closed.listen(QHostAddress::LocalHost));
            item->URL = QStringLiteral("http://127.0.0.1:") + QString::number(closed.serverPort()) +
                        QStringLiteral("/t");
        } else if (address != u"empty") {
            item->URL = address;
        }
        Recorder recorder(web);
        runToEnd(web, recorder);
        QCOMPARE(recorder.events(), events);
        QCOMPARE(item->Found, events.contains(QStringLiteral("data 0")));
        // The document is what came before the body ended, up to the size bound.
        const qsizetype came =
            serverRoute.stallAfterBytes < 0 ? serverRoute.body.size() : serverRoute.stallAfterBytes;
        if (item->Found)
            QCOMPARE(item->Content, QString::fromLatin1(serverRoute.body.left(qMin(came, 1000))));
    }

    void fileErrorEndsTheRun()
    {
        m_server->setRoute("/a", route(200, "A"));
        m_server->setRoute("/b", route(200, "B"));
        TWebData web(nullptr);
        TWebDataItem* first = web.Data().Add();
        first->URL = m_server->url(QStringLiteral("/a"));
        first->LocalFile = tempFolder() + QStringLiteral("/no-such-folder/a.htm");
        web.Data().Add()->URL = m_server->url(QStringLiteral("/b"));
        Recorder recorder(web);
        runToEnd(web, recorder);
        QCOMPARE(recorder.events(), QStringList{QStringLiteral("done")});
        QVERIFY(requestsFor(*m_server, "/b").isEmpty());
    }

    void throwingHandlerEndsTheRun()
    {
        m_server->setRoute("/a", route(200, "A"));
        m_server->setRoute("/b", route(200, "B"));
        TWebData web(nullptr);
        web.Data().Add()->URL = m_server->url(QStringLiteral("/a"));
        web.Data().Add()->URL = m_server->url(QStringLiteral("/b"));
        Recorder recorder(web);
        recorder.throwInProgressOf(0);
        runToEnd(web, recorder);
        QCOMPARE(recorder.events(),
                 (QStringList{QStringLiteral("progress 0"), QStringLiteral("done")}));
        QVERIFY(requestsFor(*m_server, "/b").isEmpty());
        // cleanup() checks that its temporary file went too.
    }

    void destroyedDuringRun_data()
    {
        QTest::addColumn<TestRoute>("serverRoute");
        TestRoute silent;
        silent.stallBeforeAnswer = true;
        TestRoute stall = route(200, QByteArray(100, 's'));
        stall.stallAfterBytes = 10;
        QTest::newRow("server never answers") << silent;
        QTest::newRow("body stalls") << stall;
    }

    void destroyedDuringRun()
    {
        QFETCH(TestRoute, serverRoute);
        m_server->setRoute("/stall", serverRoute);
        auto* web = new TWebData(nullptr);
        web->Data().Add()->URL = m_server->url(QStringLiteral("/stall"));
        Recorder recorder(*web);
        QElapsedTimer timer;
        timer.start();
        web->Collect();
        QVERIFY(timer.elapsed() < 500);
        QTRY_COMPARE(m_server->requestCount(), 1);
        QTest::qWait(100); // let the worker get into the body
        timer.restart();
        delete web;
        QVERIFY2(timer.elapsed() < 500, "destroying the component waited for the network");
        QTest::qWait(300);
        QVERIFY(recorder.events().isEmpty());
    }

    void processExitsDuringRun_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::newRow("component destroyed first") << QStringLiteral("destroy");
        QTest::newRow("component owned by the application") << QStringLiteral("owned");
    }

    void processExitsDuringRun()
    {
        QFETCH(QString, mode);
        TestRoute silent;
        silent.stallBeforeAnswer = true;
        m_server->setRoute("/stall", silent);
        QProcess child;
        QElapsedTimer timer;
        timer.start();
        child.start(
            QCoreApplication::applicationFilePath(),
            {QStringLiteral("--fetch-and-exit"), m_server->url(QStringLiteral("/stall")), mode});
        QVERIFY(child.waitForFinished(15000));
        const QByteArray errors = child.readAllStandardError();
        QVERIFY2(child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0,
                 errors.constData());
        QVERIFY2(!errors.contains("QThread"), errors.constData());
        QCOMPARE(m_server->requestCount(), 1);
        QVERIFY2(timer.elapsed() < 5000, "exit waited for the network");
    }

    void temporaryFiles()
    {
        const QString first = platform::createTemporaryFile(u"WD");
        const QString second = platform::createTemporaryFile(u"WD");
        QVERIFY(!first.isEmpty() && !second.isEmpty());
        QVERIFY(first != second);
        QVERIFY(first.startsWith(tempFolder() + QStringLiteral("/WD")));
        struct stat info
        {
        };
        QCOMPARE(::stat(QFile::encodeName(first).constData(), &info), 0);
        QCOMPARE(info.st_size, 0);
        QCOMPARE(info.st_mode & 07777, 0600u);
        QVERIFY(QFile::remove(first));
        QVERIFY(QFile::remove(second));
        QVERIFY(platform::createTemporaryFile(u"a/WD").isEmpty());

        // An unusable TMPDIR falls back to /tmp.
        const ScopedEnv relative("TMPDIR", "relative/folder");
        const QString fallback = platform::createTemporaryFile(u"WD");
        QVERIFY(fallback.startsWith(QStringLiteral("/tmp/WD")));
        QVERIFY(QFile::remove(fallback));
    }
};

int main(int argc, char** argv)
{
    if (argc == 4 && qstrcmp(argv[1], "--fetch-and-exit") == 0)
        return fetchAndExit(argc, argv);
    QCoreApplication app(argc, argv);
    TestWebData test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_webdata.moc"
