// The running copy's socket, seen from the outside: which requests it answers, which it drops,
// that no caller can hold it up or pile up connections, what becomes of the socket file, and
// that a stuck copy, an unusable lock file or another user's socket holds up no start.

#include "environmentoverride.h"
#include "platform/handles.h"
#include "platform/singlecopy.h"
#include "testfiles.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <future>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>

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

// A process of the user nobody: it listens at `listenAt` for a start of ours, or connects to
// `connectTo` as a start would. It ends with 1 when anything came to it, with 0 otherwise.
pid_t stranger(const QString& listenAt, const QString& connectTo)
{
    const sockaddr_un address = addressOf(listenAt.isEmpty() ? connectTo : listenAt);
    const auto* to = reinterpret_cast<const sockaddr*>(&address);
    const pid_t pid = ::fork();
    if (pid != 0)
        return pid;
    int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    if (::setgid(65534) != 0 || ::setuid(65534) != 0)
        ::_exit(2);
    pollfd ready{fd, POLLIN, 0};
    if (!listenAt.isEmpty()) {
        if (::bind(fd, to, sizeof address) != 0 || ::listen(fd, 4) != 0)
            ::_exit(2);
        if (::poll(&ready, 1, 2000) != 1)
            ::_exit(0);
        ready.fd = fd = ::accept(fd, nullptr, nullptr);
    } else if (::connect(fd, to, sizeof address) != 0 ||
               ::send(fd, "activate stolen\n", 16, MSG_NOSIGNAL) != 16) {
        ::_exit(0);
    }
    char byte = 0;
    ::_exit(::poll(&ready, 1, 2000) == 1 && ::read(fd, &byte, 1) == 1 ? 1 : 0);
}

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
    void stuckOrUnusableClaim_data();
    void stuckOrUnusableClaim();
    void strangers_data();
    void strangers();

private:
    /// Claims the place of the running copy and listens, counting the activations.
    std::unique_ptr<SingleCopy> startPrimary()
    {
        auto copy = std::make_unique<SingleCopy>(Key);
        if (copy->claimOrHandOver() != SingleCopy::Outcome::Primary)
            return nullptr;
        copy->listen([this](const QByteArray& token) {
            ++m_activations;
            m_token = token;
        });
        return copy;
    }

    std::unique_ptr<QTemporaryDir> m_runtime;
    std::unique_ptr<EnvironmentOverride> m_environment;
    int m_activations = 0;
    QByteArray m_token; // the last activation's
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
    m_token.clear();
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
    QTest::addColumn<QByteArray>("token");      // what the activation got

    const QByteArray longest = QByteArray(4096 - 10, 't'); // "activate " + token + "\n": 4096
    QTest::newRow("a start's request")
        << QByteArrayList{"activate id-1_TIME42\n"} << false << true << QByteArray("id-1_TIME42");
    QTest::newRow("no token") << QByteArrayList{"activate \n"} << false << true << QByteArray();
    QTest::newRow("control character in the token")
        << QByteArrayList{"activate id\x1b]2;x\n"} << false << true << QByteArray();
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
    QCOMPARE(m_token, token);
    // Never where a tool started later would inherit it.
    QVERIFY(!qEnvironmentVariableIsSet("DESKTOP_STARTUP_ID"));
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

void TestSingleCopySocket::stuckOrUnusableClaim_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<SingleCopy::Outcome>("outcome");
    QTest::newRow("copy that takes no connection, its queue full")
        << u"queue"_s << SingleCopy::Outcome::NotResponding;
    QTest::newRow("folder at the lock path") << u"folder"_s << SingleCopy::Outcome::Failed;
    QTest::newRow("dangling link at the lock path") << u"link"_s << SingleCopy::Outcome::Failed;
}

void TestSingleCopySocket::stuckOrUnusableClaim()
{
    QFETCH(QString, kind);
    QFETCH(SingleCopy::Outcome, outcome);
    SingleCopy stuck(Key); // holds the claim, never takes a connection: stopped, or hung
    const QString lock = stuck.socketPath() + u".lock"_s;
    std::vector<Client> queued;
    if (kind == u"queue") {
        QCOMPARE(stuck.claimOrHandOver(), SingleCopy::Outcome::Primary);
        while (queued.size() < 1000 && queued.emplace_back(stuck.socketPath()).isConnected()) {
        }
        QVERIFY(!queued.back().isConnected());
    } else {
        QVERIFY(kind == u"folder" ? QDir().mkdir(lock)
                                  : QFile::link(m_runtime->filePath(u"gone"_s), lock));
    }

    QElapsedTimer clock;
    clock.start();
    SingleCopy later(Key);
    QCOMPARE(later.claimOrHandOver(), outcome);
    QVERIFY(clock.elapsed() < (outcome == SingleCopy::Outcome::Failed ? 1000 : 10000));
    if (outcome == SingleCopy::Outcome::Failed)
        QVERIFY(later.failure().startsWith(lock + u": "));
}

void TestSingleCopySocket::strangers_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("socket in a runtime folder that others may write to") << u"shared"_s;
    QTest::newRow("socket of another user in the private folder") << u"private"_s;
    QTest::newRow("another user connects") << u"client"_s;
}

void TestSingleCopySocket::strangers()
{
    if (::getuid() != 0)
        QSKIP("acting as a second user needs root");
    QFETCH(QString, kind);
    const QString shared = m_runtime->filePath(u"shared"_s);
    QVERIFY(QDir().mkdir(shared) && ::chmod(QFile::encodeName(shared).constData(), 01777) == 0);
    // Others may pass through the private folder, never write to it.
    QVERIFY(::chmod(QFile::encodeName(m_runtime->path()).constData(), 0711) == 0);
    // A display of this process alone: the shared folder's start runs in the fallback folder.
    const EnvironmentOverride environment{
        {"DISPLAY", ":" + QByteArray::number(::getpid())},
        {"XDG_RUNTIME_DIR", QFile::encodeName(kind == u"shared" ? shared : m_runtime->path())}};
    const QString name = QFileInfo(SingleCopy(Key).socketPath()).fileName();

    std::unique_ptr<SingleCopy> primary;
    pid_t pid = 0;
    if (kind == u"client") {
        primary = startPrimary();
        QVERIFY(primary);
        QVERIFY(::chmod(QFile::encodeName(primary->socketPath()).constData(), 0666) == 0);
        pid = stranger({}, primary->socketPath());
    } else {
        pid = stranger(shared + u'/' + name, {});
        QTRY_VERIFY(QFile::exists(shared + u'/' + name));
        if (kind == u"private")
            QVERIFY(QFile::rename(shared + u'/' + name, m_runtime->filePath(name)));
        primary = startPrimary(); // nothing of ours answered: this start runs
        QVERIFY(primary);
        QVERIFY(!primary->socketPath().startsWith(shared));
    }
    int status = -1;
    bool ended = false; // reaped once, while the event loop serves the socket
    QTRY_VERIFY(ended || (ended = ::waitpid(pid, &status, WNOHANG) == pid));
    QCOMPARE(status, 0); // the stranger ended by itself, having got no token and no answer
    QCOMPARE(m_activations, 0);
}

QTEST_GUILESS_MAIN(TestSingleCopySocket)
#include "test_singlecopysocket.moc"
