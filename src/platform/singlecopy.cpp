#include "platform/singlecopy.h"

#include "platform/handles.h"

#include <QByteArray>
#include <QDeadlineTimer>
#include <QFile>
#include <QObject>
#include <QSocketNotifier>
#include <QThread>
#include <QTimer>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <list>
#include <optional>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace corvane::platform {

namespace {

constexpr int ClaimTimeoutMs = 5000;  // how long a start waits for a copy that is starting up
constexpr int AnswerTimeoutMs = 2000; // how long it waits for a running copy's answer
constexpr char RequestWord[] = "activate ";
constexpr char Answer[] = "ok\n";

// The running copy's side. A request is one line, its line end included within the limit.
// A connection that has not sent its line in time is closed: longer than a start waits for
// the answer, so a slow start is still served. Few connections wait at once; a new one pushes
// out the one that has waited longest.
constexpr qsizetype RequestLimit = 4096;
constexpr int RequestTimeoutMs = 3000;
constexpr std::size_t WaitingLimit = 16;
constexpr int AcceptPauseMs = 250; // after running out of descriptors or memory

// The desktop session: the Wayland display, else the X display without its screen number.
QString displayKey()
{
    QString display = qEnvironmentVariable("WAYLAND_DISPLAY");
    if (display.isEmpty()) {
        display = qEnvironmentVariable("DISPLAY");
        const qsizetype colon = display.lastIndexOf(u':');
        const qsizetype dot = display.indexOf(u'.', colon < 0 ? 0 : colon);
        if (dot >= 0)
            display.truncate(dot);
    }
    if (display.isEmpty())
        display = QStringLiteral("none");
    for (QChar& c : display) {
        if (!c.isLetterOrNumber() && c != u'-' && c != u'.')
            c = u'_';
    }
    return display;
}

// A private folder for the socket: the user's runtime folder, or one of our own in /tmp that
// nobody else can have made for us.
QString runtimeFolder()
{
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    struct stat info
    {
    };
    if (!runtime.isEmpty() && ::stat(QFile::encodeName(runtime).constData(), &info) == 0 &&
        S_ISDIR(info.st_mode) && info.st_uid == ::getuid())
        return runtime;
    const QString folder = u"/tmp/corvane-" + QString::number(::getuid());
    const QByteArray path = QFile::encodeName(folder);
    ::mkdir(path.constData(), 0700);
    if (::lstat(path.constData(), &info) == 0 && S_ISDIR(info.st_mode) &&
        info.st_uid == ::getuid() && (info.st_mode & 077) == 0)
        return folder;
    return {};
}

// Waits until `fd` is ready for `events` or the deadline passes.
bool waitFor(int fd, short events, const QDeadlineTimer& deadline)
{
    pollfd entry{fd, events, 0};
    for (;;) {
        const int left = static_cast<int>(qMax<qint64>(0, deadline.remainingTime()));
        const int ready = ::poll(&entry, 1, left);
        if (ready > 0)
            return true;
        if (ready == 0 || errno != EINTR)
            return false;
    }
}

// The address of the socket at `path`, or nothing when the path is too long for one.
std::optional<sockaddr_un> socketAddress(const QByteArray& path)
{
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.isEmpty() || path.size() >= static_cast<qsizetype>(sizeof(address.sun_path)))
        return std::nullopt;
    std::memcpy(address.sun_path, path.constData(), static_cast<std::size_t>(path.size()));
    return address;
}

// Removes a socket that nobody listens on any more. Whatever else has the name is not ours to
// delete, and a link is not followed.
void removeStaleSocket(const QByteArray& path)
{
    struct stat info
    {
    };
    if (::lstat(path.constData(), &info) == 0 && S_ISSOCK(info.st_mode))
        ::unlink(path.constData());
}

// The claim: an flock on the lock file, which the kernel drops when its holder ends, however it
// ends, so no lock is ever stale. Nothing is written into the file and nothing is synced: a
// start costs no disk write.
FileDescriptor lockFile(const QByteArray& path)
{
    FileDescriptor fd(::open(path.constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600));
    if (!fd.isOpen() || ::flock(fd.get(), LOCK_EX | LOCK_NB) != 0)
        return {};
    // The holder before removes the file on its way out; a lock on a removed file claims
    // nothing.
    struct stat held
    {
    };
    struct stat named
    {
    };
    if (::fstat(fd.get(), &held) != 0 || ::lstat(path.constData(), &named) != 0 ||
        held.st_dev != named.st_dev || held.st_ino != named.st_ino)
        return {};
    return fd;
}

enum class ReadState { Incomplete, Complete, Refused };

// Reads what has arrived of a request. Complete leaves the line without its end in `line`;
// Refused stands for a line that is too long or a connection that ended or failed first.
ReadState readRequest(int fd, QByteArray& line)
{
    char chunk[RequestLimit];
    while (line.size() < RequestLimit) {
        const ssize_t n =
            ::recv(fd, chunk, static_cast<std::size_t>(RequestLimit - line.size()), 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return errno == EAGAIN || errno == EWOULDBLOCK ? ReadState::Incomplete
                                                           : ReadState::Refused;
        if (n == 0)
            return ReadState::Refused;
        const qsizetype searchFrom = line.size();
        line.append(chunk, n);
        const qsizetype end = line.indexOf('\n', searchFrom);
        if (end >= 0) {
            line.truncate(end);
            return ReadState::Complete;
        }
    }
    return ReadState::Refused;
}

// Hands the token of the start that asked to the windowing system's activation request.
void useActivationToken(const QByteArray& token)
{
    if (token.isEmpty())
        return;
    if (qEnvironmentVariableIsSet("WAYLAND_DISPLAY"))
        qputenv("XDG_ACTIVATION_TOKEN", token);
    else
        qputenv("DESKTOP_STARTUP_ID", token);
}

} // namespace

SingleCopy::SingleCopy(const QString& key)
{
    const QString folder = runtimeFolder();
    if (folder.isEmpty())
        return; // no safe place: every start runs on its own
    m_socketPath = folder + u'/' + key + u'-' + QString::number(::getuid()) + u'-' + displayKey();
    m_enabled = true;
}

// The listening socket of the primary copy and the connections whose request is still coming
// in. Everything runs on the main thread, from its event loop; nothing here waits.
class SingleCopy::Listener
{
public:
    static std::unique_ptr<Listener> open(const QByteArray& path, std::function<void()> activate);
    ~Listener();
    Listener(const Listener&) = delete;
    Listener& operator=(const Listener&) = delete;

private:
    // A connection whose request line has not come in whole. The notifier and the timer are
    // its children, so that deleteLater() ends all three after the event that finished it.
    struct WaitingConnection : QObject
    {
        FileDescriptor fd;
        QByteArray line;
        QSocketNotifier* readable = nullptr;
        QTimer* timeout = nullptr;
    };

    Listener(FileDescriptor socket, QByteArray path, const struct stat& bound,
             std::function<void()> activate);
    void acceptAll();
    void readMore(WaitingConnection* waiting);
    void stopWaiting(WaitingConnection* waiting);
    void answer(const FileDescriptor& fd, QByteArrayView line);

    FileDescriptor m_socket;
    QByteArray m_path;
    dev_t m_device;
    ino_t m_inode;
    std::function<void()> m_activate;
    std::list<WaitingConnection*> m_waiting; // oldest first
    QObject m_owner; // parent of every notifier, timer and waiting connection
    QSocketNotifier* m_incoming;
    QTimer* m_acceptPause; // lets the notifier rest when accepting fails for want of resources
};

std::unique_ptr<SingleCopy::Listener> SingleCopy::Listener::open(const QByteArray& path,
                                                                 std::function<void()> activate)
{
    const std::optional<sockaddr_un> address = socketAddress(path);
    if (!address)
        return nullptr;
    FileDescriptor socket(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    if (!socket.isOpen() ||
        ::bind(socket.get(), reinterpret_cast<const sockaddr*>(&*address), sizeof *address) != 0)
        return nullptr;
    // The folder is private already; the socket is made the user's alone as well. What we
    // bound is remembered, so that only our own socket is removed at the end.
    struct stat bound
    {
    };
    if (::lstat(path.constData(), &bound) != 0 || !S_ISSOCK(bound.st_mode))
        return nullptr;
    if (::chmod(path.constData(), S_IRUSR | S_IWUSR) != 0 || ::listen(socket.get(), 64) != 0) {
        ::unlink(path.constData());
        return nullptr;
    }
    return std::unique_ptr<Listener>(
        new Listener(std::move(socket), path, bound, std::move(activate)));
}

SingleCopy::Listener::Listener(FileDescriptor socket, QByteArray path, const struct stat& bound,
                               std::function<void()> activate)
    : m_socket(std::move(socket))
    , m_path(std::move(path))
    , m_device(bound.st_dev)
    , m_inode(bound.st_ino)
    , m_activate(std::move(activate))
    , m_incoming(new QSocketNotifier(m_socket.get(), QSocketNotifier::Read, &m_owner))
    , m_acceptPause(new QTimer(&m_owner))
{
    QObject::connect(m_incoming, &QSocketNotifier::activated, &m_owner, [this] { acceptAll(); });
    m_acceptPause->setSingleShot(true);
    m_acceptPause->setInterval(AcceptPauseMs);
    QObject::connect(m_acceptPause, &QTimer::timeout, &m_owner,
                     [this] { m_incoming->setEnabled(true); });
}

SingleCopy::Listener::~Listener()
{
    m_incoming->setEnabled(false);
    m_socket.reset();
    // A later copy may have taken the name over meanwhile; its socket stays.
    struct stat info
    {
    };
    if (::lstat(m_path.constData(), &info) == 0 && S_ISSOCK(info.st_mode) &&
        info.st_dev == m_device && info.st_ino == m_inode)
        ::unlink(m_path.constData());
}

void SingleCopy::Listener::acceptAll()
{
    for (;;) {
        FileDescriptor fd(
            ::accept4(m_socket.get(), nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK));
        if (!fd.isOpen()) {
            if (errno == EINTR || errno == ECONNABORTED)
                continue;
            if (errno != EAGAIN && errno != EWOULDBLOCK) {
                // Out of descriptors or memory. The socket stays readable while connections
                // queue up: give the loop a rest rather than spin until one is free again.
                m_incoming->setEnabled(false);
                m_acceptPause->start();
            }
            return;
        }

        // A start sends its request right after connecting; most are answered here at once.
        QByteArray line;
        switch (readRequest(fd.get(), line)) {
        case ReadState::Complete:
            answer(fd, line);
            continue;
        case ReadState::Refused:
            continue;
        case ReadState::Incomplete:
            break;
        }

        if (m_waiting.size() >= WaitingLimit)
            stopWaiting(m_waiting.front());
        auto* waiting = new WaitingConnection;
        waiting->setParent(&m_owner);
        waiting->fd = std::move(fd);
        waiting->line = std::move(line);
        waiting->readable = new QSocketNotifier(waiting->fd.get(), QSocketNotifier::Read, waiting);
        QObject::connect(waiting->readable, &QSocketNotifier::activated, waiting,
                         [this, waiting] { readMore(waiting); });
        waiting->timeout = new QTimer(waiting);
        waiting->timeout->setSingleShot(true);
        QObject::connect(waiting->timeout, &QTimer::timeout, waiting,
                         [this, waiting] { stopWaiting(waiting); });
        waiting->timeout->start(RequestTimeoutMs);
        m_waiting.push_back(waiting);
    }
}

void SingleCopy::Listener::readMore(WaitingConnection* waiting)
{
    const ReadState state = readRequest(waiting->fd.get(), waiting->line);
    if (state == ReadState::Incomplete)
        return;
    // Finished with before the activation runs, so that nothing it does can reach this
    // connection a second time.
    const FileDescriptor fd = std::move(waiting->fd);
    const QByteArray line = std::move(waiting->line);
    stopWaiting(waiting);
    if (state == ReadState::Complete)
        answer(fd, line);
}

void SingleCopy::Listener::stopWaiting(WaitingConnection* waiting)
{
    m_waiting.remove(waiting);
    // Quiet before the descriptor closes: its number may come back with the next connection.
    waiting->readable->setEnabled(false);
    waiting->timeout->stop();
    waiting->fd.reset();
    waiting->deleteLater();
}

void SingleCopy::Listener::answer(const FileDescriptor& fd, QByteArrayView line)
{
    if (!line.startsWith(QByteArrayView(RequestWord)))
        return; // not a start of ours: no answer
    useActivationToken(line.sliced(sizeof RequestWord - 1).trimmed().toByteArray());
    m_activate();
    // A fresh connection has room for the few bytes; a start that has gone meanwhile is fine.
    [[maybe_unused]] const ssize_t sent =
        ::send(fd.get(), Answer, sizeof Answer - 1, MSG_NOSIGNAL | MSG_DONTWAIT);
}

SingleCopy::~SingleCopy()
{
    m_listener.reset();
    // Removed while still held, so that a start that opens the file from now on finds a new
    // one; a start that opened this one before sees it gone once it holds the lock.
    if (m_lock.isOpen())
        ::unlink(QFile::encodeName(m_socketPath + u".lock").constData());
}

bool SingleCopy::handOver() const
{
    const std::optional<sockaddr_un> address = socketAddress(QFile::encodeName(m_socketPath));
    if (!address)
        return false;

    FileDescriptor fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (fd.get() < 0 ||
        ::connect(fd.get(), reinterpret_cast<const sockaddr*>(&*address), sizeof *address) != 0)
        return false;

    // Connected: a copy runs. Whatever it answers, or if it does not answer in time, this
    // start has handed over.
    // The desktop's activation token of this start lets the running copy take the focus.
    QByteArray token = qgetenv("XDG_ACTIVATION_TOKEN");
    if (token.isEmpty())
        token = qgetenv("DESKTOP_STARTUP_ID");
    const QByteArray request = RequestWord + token.replace('\n', "") + '\n';
    const QDeadlineTimer deadline(AnswerTimeoutMs);
    if (::send(fd.get(), request.constData(), static_cast<std::size_t>(request.size()),
               MSG_NOSIGNAL) < 0)
        return true;
    char answer[sizeof Answer] = {};
    std::size_t got = 0;
    while (got < sizeof Answer - 1 && waitFor(fd.get(), POLLIN, deadline)) {
        const ssize_t n = ::recv(fd.get(), answer + got, sizeof Answer - 1 - got, 0);
        if (n <= 0)
            break;
        got += static_cast<std::size_t>(n);
    }
    return true;
}

SingleCopy::Outcome SingleCopy::claimOrHandOver()
{
    if (!m_enabled)
        return Outcome::Primary;
    const QByteArray lockPath = QFile::encodeName(m_socketPath + u".lock");
    const QDeadlineTimer deadline(ClaimTimeoutMs);
    for (;;) {
        if (handOver())
            return Outcome::HandedOver;
        m_lock = lockFile(lockPath);
        if (m_lock.isOpen()) {
            // A socket file left behind by a killed copy would make our listen fail.
            removeStaleSocket(QFile::encodeName(m_socketPath));
            return Outcome::Primary;
        }
        // Another copy holds the claim but does not listen yet: it is starting up.
        if (deadline.hasExpired())
            return Outcome::HandedOver;
        QThread::msleep(10);
    }
}

void SingleCopy::listen(std::function<void()> activate)
{
    if (!m_lock.isOpen())
        return;
    m_listener = Listener::open(QFile::encodeName(m_socketPath), std::move(activate));
}

} // namespace corvane::platform
