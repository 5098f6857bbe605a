// The running copy's socket, seen from the outside: which requests it answers, which it drops,
// that no caller can hold it up or pile up connections, and what becomes of the socket file.

#include "platform/handles.h"
#include "platform/singlecopy.h"
#include "testhelpers.h"

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTest>

#include <future>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>

using namespace Qt::StringLiterals;
using namespace corvane::test;
using corvane::platform::FileDescriptor;
using corvane::platform::SingleCopy;

namespace {

const QString Key = u"SocketTest"_s;

sockaddr_un addressOf(const QString& path)
{
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray bytes = QFile::encodeName(path);
    std::memcpy(address.sun_path, bytes.constData(),
                std::min(sizeof address.sun_path - 1, std::size_t(bytes.size())));
    return address;
}

// One end of a connection to the running copy, as a later start or a stray program holds it.
// Nothing here blocks, so the running copy can be served by the same thread meanwhile.
class Client
{
public:
    explicit Client(const QString& path)
        : m_fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0))
    {
        const sockaddr_un address = addressOf(path);
        if (::connect(m_fd.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
            m_fd.reset();
    }

    bool isConnected() const { return m_fd.isOpen(); }

    void send(QByteArrayView bytes) const
    {
        // What does not fit is of no interest: the far end has stopped reading by then.
        [[maybe_unused]] const ssize_t sent =
            ::send(m_fd.get(), bytes.data(), size_t(bytes.size()), MSG_NOSIGNAL | MSG_DONTWAIT);
    }
    void finishSending() const { ::shutdown(m_fd.get(), SHUT_WR); }

    /// Takes what has arrived; true once the far end has closed the connection.
    bool closedByPeer()
    {
        while (!m_closed) {
            char chunk[256];
            const ssize_t n = ::recv(m_fd.get(), chunk, sizeof chunk, MSG_DONTWAIT);
            if (n > 0)
                m_received.append(chunk, n);
            else if (n == 0 || (errno != EAGAIN && errno != EINTR))
                m_closed = true;
            else if (errno == EAGAIN)
                break;
        }
        return m_closed;
    }
    const QByteArray& received() const { return m_received; }

private:
    FileDescriptor m_fd;
    QByteArray m_received;
    bool m_closed = false;
};

template <typename T> bool isReady(const std::future<T>& future)
{
    return future.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
}

} // namespace

class TestSingleCopySocket : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();
    void requests_data();
    void requests();
    void silentClientHoldsUpNobody();
    void waitingConnectionsAreCapped();
    void socketFileBelongsToTheRunningCopy();
    void leftoversAtTheSocketPath_data();
    void leftoversAtTheSocketPath();

private:
    /// Claims the place of the running copy and listens, counting the activations.
    std::unique_ptr<SingleCopy> startPrimary()
    {
        auto copy = std::make_unique<SingleCopy>(Key);
        if (copy->claimOrHandOver() != SingleCopy::Outcome::Primary)
            return nullptr;
        copy->listen([this] { ++m_activations; });
        return copy;
    }

    std::unique_ptr<QTemporaryDir> m_runtime;
    std::unique_ptr<EnvironmentOverride> m_environment;
    int m_activations = 0;
};

void TestSingleCopySocket::init()
{
    m_runtime = std::make_unique<QTemporaryDir>();
    QVERIFY(m_runtime->isValid());
    m_environment.reset(
        new EnvironmentOverride{{"XDG_RUNTIME_DIR", QFile::encodeName(m_runtime->path())},
                                {"DISPLAY", ":7"},
                                {"WAYLAND_DISPLAY", std::nullopt},
                                {"DESKTOP_STARTUP_ID", std::nullopt},
                                {"XDG_ACTIVATION_TOKEN", std::nullopt}});
    m_activations = 0;
}

void TestSingleCopySocket::cleanup()
{
    m_environment.reset();
    m_runtime.reset();
}

void TestSingleCopySocket::requests_data()
{
    QTest::addColumn<QByteArrayList>("pieces"); // sent one after the other
    QTest::addColumn<bool>("finishSending");    // whether the client ends its side afterwards
    QTest::addColumn<bool>("answered");         // "ok\n" and one activation, or neither
    QTest::addColumn<QByteArray>("token");      // DESKTOP_STARTUP_ID afterwards; null: unset

    const QByteArray longest = QByteArray(4096 - 10, 't'); // "activate " + token + "\n": 4096
    QTest::newRow("a start's request")
        << QByteArrayList{"activate id-1_TIME42\n"} << false << true << QByteArray("id-1_TIME42");
    QTest::newRow("no token") << QByteArrayList{"activate \n"} << false << true << QByteArray();
    QTest::newRow("in pieces") << QByteArrayList{"activ", "ate ab", "c\n"} << false << true
                               << QByteArray("abc");
    QTest::newRow("longest line") << QByteArrayList{"activate " + longest + "\n"} << false << true
                                  << longest;
    QTest::newRow("one byte too long")
        << QByteArrayList{"activate " + longest + "x\n"} << false << false << QByteArray();
    QTest::newRow("endless line") << QByteArrayList{"activate " + QByteArray(100000, 'x')} << false
                                  << false << QByteArray();
    QTest::newRow("ended before the line end")
        << QByteArrayList{"activate abc"} << true << false << QByteArray();
    QTest::newRow("some other request")
        << QByteArrayList{"quit now\n"} << false << false << QByteArray();
}

void TestSingleCopySocket::requests()
{
    QFETCH(QByteArrayList, pieces);
    QFETCH(bool, finishSending);
    QFETCH(bool, answered);
    QFETCH(QByteArray, token);

    const auto primary = startPrimary();
    QVERIFY(primary);
    Client client(primary->socketPath());
    QVERIFY(client.isConnected());
    for (const QByteArray& piece : std::as_const(pieces)) {
        client.send(piece);
        QTest::qWait(20);
    }
    if (finishSending)
        client.finishSending();

    // Dropped or answered, the running copy closes the connection well before its time runs
    // out for a silent client.
    QElapsedTimer clock;
    clock.start();
    QTRY_VERIFY(client.closedByPeer());
    QVERIFY(clock.elapsed() < 2000);
    QCOMPARE(client.received(), answered ? QByteArray("ok\n") : QByteArray());
    QCOMPARE(m_activations, answered ? 1 : 0);
    QCOMPARE(qEnvironmentVariableIsSet("DESKTOP_STARTUP_ID"), !token.isNull());
    QCOMPARE(qgetenv("DESKTOP_STARTUP_ID"), token);
}

void TestSingleCopySocket::silentClientHoldsUpNobody()
{
    const auto primary = startPrimary();
    QVERIFY(primary);
    Client silent(primary->socketPath());
    QVERIFY(silent.isConnected());
    QTest::qWait(50); // the running copy has taken the connection by now

    // A later start, through the same claim the launcher makes, on a thread of its own: it
    // waits for the answer, which this thread's event loop gives.
    auto later = std::async(std::launch::async, [] {
        QElapsedTimer clock;
        clock.start();
        SingleCopy copy(Key);
        const SingleCopy::Outcome outcome = copy.claimOrHandOver();
        return std::pair(outcome, clock.elapsed());
    });
    QTRY_VERIFY(isReady(later));
    const auto [outcome, elapsed] = later.get();
    QCOMPARE(outcome, SingleCopy::Outcome::HandedOver);
    QCOMPARE(m_activations, 1);
    // A start that gets no answer gives up after two seconds.
    QVERIFY2(elapsed < 2000, "the later start had to wait for the answer");

    // The silent client is let go after a while, having got nothing.
    QTRY_VERIFY_WITH_TIMEOUT(silent.closedByPeer(), 10000);
    QCOMPARE(silent.received(), QByteArray());
    QCOMPARE(m_activations, 1);
}

void TestSingleCopySocket::waitingConnectionsAreCapped()
{
    const auto primary = startPrimary();
    QVERIFY(primary);
    constexpr int Silent = 60;
    std::vector<Client> silent;
    for (int i = 0; i < Silent; ++i) {
        silent.emplace_back(primary->socketPath());
        QVERIFY(silent.back().isConnected());
        if (i % 10 == 9)
            QTest::qWait(10); // leave room in the queue of connections to be taken
    }
    // The running copy keeps a few of them waiting, not all: most are closed at once.
    const auto closed = [&silent] {
        return std::count_if(silent.begin(), silent.end(),
                             [](Client& client) { return client.closedByPeer(); });
    };
    QTRY_VERIFY(closed() >= Silent - 16);
    QVERIFY(closed() < Silent);

    // A start that comes now is still answered at once.
    Client start(primary->socketPath());
    start.send("activate \n");
    QTRY_VERIFY(start.closedByPeer());
    QCOMPARE(start.received(), QByteArray("ok\n"));
    QCOMPARE(m_activations, 1);
    QTRY_COMPARE_WITH_TIMEOUT(int(closed()), Silent, 10000);
}

void TestSingleCopySocket::socketFileBelongsToTheRunningCopy()
{
    QString path;
    {
        const auto primary = startPrimary();
        QVERIFY(primary);
        path = primary->socketPath();
        struct stat info;
        QCOMPARE(::lstat(QFile::encodeName(path).constData(), &info), 0);
        QVERIFY(S_ISSOCK(info.st_mode));
        QCOMPARE(info.st_mode & 077, mode_t(0));
    }
    QVERIFY(!QFile::exists(path));

    // Somebody else's file under the same name by the time the copy ends is left alone.
    {
        const auto primary = startPrimary();
        QVERIFY(primary);
        QVERIFY(QFile::remove(path));
        QVERIFY(writeFile(path, "not the socket"));
    }
    QCOMPARE(readFile(path), QByteArray("not the socket"));
}

void TestSingleCopySocket::leftoversAtTheSocketPath_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<bool>("answered"); // the new copy listens, and so answers starts

    QTest::newRow("socket of a killed copy") << u"socket"_s << true;
    QTest::newRow("link to such a socket") << u"link"_s << false;
    QTest::newRow("regular file") << u"file"_s << false;
}

void TestSingleCopySocket::leftoversAtTheSocketPath()
{
    QFETCH(QString, kind);
    QFETCH(bool, answered);

    const QString path = SingleCopy(Key).socketPath();
    const QString elsewhere = m_runtime->filePath(u"elsewhere"_s);
    const auto makeDeadSocket = [](const QString& at) {
        const FileDescriptor fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
        const sockaddr_un address = addressOf(at);
        return ::bind(fd.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    };
    if (kind == u"socket")
        QVERIFY(makeDeadSocket(path));
    else if (kind == u"link")
        QVERIFY(makeDeadSocket(elsewhere) && QFile::link(elsewhere, path));
    else
        QVERIFY(writeFile(path, "somebody's"));

    // Nobody answers there, so the start becomes the running copy without waiting out the
    // five seconds it gives a copy that is starting up.
    QElapsedTimer clock;
    clock.start();
    const auto primary = startPrimary();
    QVERIFY(primary);
    QVERIFY(clock.elapsed() < 2000);

    Client client(path);
    if (answered) {
        client.send("activate \n");
        QTRY_VERIFY(client.closedByPeer());
        QCOMPARE(client.received(), QByteArray("ok\n"));
    } else {
        // What is not a socket, or only links to one, is neither removed nor followed.
        QVERIFY(!client.isConnected());
        QVERIFY(kind == u"link" ? isSymbolicLink(path) && QFile::exists(elsewhere)
                                : readFile(path) == "somebody's");
    }
}

QTEST_GUILESS_MAIN(TestSingleCopySocket)
#include "test_singlecopysocket.moc"
