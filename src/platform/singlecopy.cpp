#include "platform/singlecopy.h"

#include "platform/handles.h"

#include <QByteArray>
#include <QDeadlineTimer>
#include <QFile>
#include <QObject>
#include <QSocketNotifier>
#include <QThread>
#include <QTimer>

#include <algorithm>
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

// How long a start waits in all for the copy that holds the claim: for it to listen while it
// starts up, to take the connection and to answer. A copy that is stopped or hung takes no
// longer to find out about.
constexpr int StartBoundMs = 5000;
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

// The desktop session: the Wayland display, else the X display. An X display is the same
// however it is spelled: "unix" or no host both mean the local socket, and the screen number
// does not change the server, so ":0", "unix:0" and ":0.1" all give one key.
QString displayKey()
{
    QString display = qEnvironmentVariable("WAYLAND_DISPLAY");
    if (display.isEmpty()) {
        display = qEnvironmentVariable("DISPLAY");
        const qsizetype colon = display.lastIndexOf(u':');
        if (colon >= 0) {
            const qsizetype dot = display.indexOf(u'.', colon);
            if (dot >= 0)
                display.truncate(dot);
            const QStringView host = QStringView(display).left(colon);
            if (host == u"unix")
                display.remove(0, colon);
        }
    }
    if (display.isEmpty())
        display = QStringLiteral("none");
    for (QChar& c : display) {
        if (!c.isLetterOrNumber() && c != u'-' && c != u'.')
            c = u'_';
    }
    return display;
}

// True when `info` describes a folder of this user that nobody else may write to: nobody else
// can put a socket or a lock file of their own into it.
bool isPrivateFolder(const struct stat& info)
{
    return S_ISDIR(info.st_mode) && info.st_uid == ::getuid() &&
           (info.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

// A private folder for the socket: the user's runtime folder, or one of our own in /tmp that
// nobody else can have made for us. A runtime folder that others may write to is passed over:
// a stranger's socket there would take this user's starts and their tokens.
QString runtimeFolder()
{
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    struct stat info
    {
    };
    if (runtime.startsWith(u'/') && ::stat(QFile::encodeName(runtime).constData(), &info) == 0 &&
        isPrivateFolder(info))
        return runtime;
    const QString folder = u"/tmp/corvane-" + QString::number(::getuid());
    const QByteArray path = QFile::encodeName(folder);
    ::mkdir(path.constData(), 0700);
    if (::lstat(path.constData(), &info) == 0 && isPrivateFolder(info) && (info.st_mode & 077) == 0)
        return folder;
    return {};
}

// True when the process at the other end of the connected socket `fd` runs as this user.
bool isSameUser(int fd)
{
    ucred peer{};
    socklen_t size = sizeof peer;
    return ::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &size) == 0 && size == sizeof peer &&
           peer.uid == ::getuid();
}

// A desktop activation token as this program passes it on: printable ASCII without blanks,
// which is what the desktops hand out, short enough for a request line, so that it goes into
// the requests and the window system's messages without quoting trouble. Anything else is no
// token.
QByteArray usableToken(const QByteArray& token)
{
    const bool usable =
        token.size() + qsizetype(sizeof RequestWord) <= RequestLimit && // with the line end
        std::all_of(token.begin(), token.end(), [](char c) { return c > ' ' && c < 0x7F; });
    return usable ? token : QByteArray();
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

// Whether `fd` is still the file at `path`: a file that was removed (and perhaps made anew by
// somebody else) is not.
bool isFileAt(int fd, const QByteArray& path)
{
    struct stat held
    {
    };
    struct stat named
    {
    };
    return ::fstat(fd, &held) == 0 && ::lstat(path.constData(), &named) == 0 &&
           held.st_dev == named.st_dev && held.st_ino == named.st_ino;
}

// The claim: an flock on the lock file, which the kernel drops when its holder ends, however it
// ends, so no lock is ever stale. Nothing is written into the file and nothing is synced: a
// start costs no disk write. Gives no descriptor while another copy holds the claim, and sets
// `error` when the file cannot be opened or locked at all (a folder or a link in its place).
FileDescriptor lockFile(const QByteArray& path, int& error)
{
    error = 0;
    FileDescriptor fd(::open(path.constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600));
    if (!fd.isOpen()) {
        error = errno;
        return {};
    }
    if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) {
        if (errno != EWOULDBLOCK && errno != EINTR)
            error = errno;
        return {};
    }
    // The holder before removes the file on its way out; a lock on a removed file claims
    // nothing.
    if (!isFileAt(fd.get(), path))
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
// in. It listens from the moment the claim is made, so that a start during this copy's own
// start-up waits for its answer instead of polling; it accepts from start() on. Everything
// runs on the main thread, from its event loop; nothing here waits.
class SingleCopy::Listener
{
public:
    static std::unique_ptr<Listener> open(const QByteArray& path);
    ~Listener();
    Listener(const Listener&) = delete;
    Listener& operator=(const Listener&) = delete;

    void start(std::function<void(const QByteArray& token)> activate);

    /// Removes the socket's name unless another copy's socket has taken it. Touches no Qt
    /// object, so that any thread may call it.
    void removeName() const;

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

    Listener(FileDescriptor socket, QByteArray path, const struct stat& bound);
    void acceptAll();
    void readMore(WaitingConnection* waiting);
    void stopWaiting(WaitingConnection* waiting);
    void answer(const FileDescriptor& fd, QByteArrayView line);

    FileDescriptor m_socket;
    QByteArray m_path;
    dev_t m_device;
    ino_t m_inode;
    std::function<void(const QByteArray& token)> m_activate;
    std::list<WaitingConnection*> m_waiting; // oldest first
    QObject m_owner; // parent of every notifier, timer and waiting connection
    QSocketNotifier* m_incoming = nullptr;
    // Rests the notifier when accepting fails for want of resources.
    QTimer* m_acceptPause = nullptr;
};

std::unique_ptr<SingleCopy::Listener> SingleCopy::Listener::open(const QByteArray& path)
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
    return std::unique_ptr<Listener>(new Listener(std::move(socket), path, bound));
}

SingleCopy::Listener::Listener(FileDescriptor socket, QByteArray path, const struct stat& bound)
    : m_socket(std::move(socket))
    , m_path(std::move(path))
    , m_device(bound.st_dev)
    , m_inode(bound.st_ino)
{}

void SingleCopy::Listener::start(std::function<void(const QByteArray& token)> activate)
{
    m_activate = std::move(activate);
    m_incoming = new QSocketNotifier(m_socket.get(), QSocketNotifier::Read, &m_owner);
    QObject::connect(m_incoming, &QSocketNotifier::activated, &m_owner, [this] { acceptAll(); });
    m_acceptPause = new QTimer(&m_owner);
    m_acceptPause->setSingleShot(true);
    m_acceptPause->setInterval(AcceptPauseMs);
    QObject::connect(m_acceptPause, &QTimer::timeout, &m_owner,
                     [this] { m_incoming->setEnabled(true); });
}

SingleCopy::Listener::~Listener()
{
    if (m_incoming)
        m_incoming->setEnabled(false);
    m_socket.reset();
    removeName();
}

void SingleCopy::Listener::removeName() const
{
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
        // Only this user's own starts may bring the window up.
        if (!isSameUser(fd.get()))
            continue;

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
    // The token goes to the activation alone, never into this process's environment, from
    // where every tool started later would inherit it.
    m_activate(usableToken(line.sliced(sizeof RequestWord - 1).trimmed().toByteArray()));
    // A fresh connection has room for the few bytes; a start that has gone meanwhile is fine.
    [[maybe_unused]] const ssize_t sent =
        ::send(fd.get(), Answer, sizeof Answer - 1, MSG_NOSIGNAL | MSG_DONTWAIT);
}

SingleCopy::~SingleCopy()
{
    release();
}

void SingleCopy::release()
{
    m_listener.reset();
    removeLockName();
    m_lock.reset();
}

void SingleCopy::releaseForExit() const
{
    if (m_listener)
        m_listener->removeName();
    removeLockName();
}

void SingleCopy::removeLockName() const
{
    if (!m_lock)
        return;
    // Removed while still held, so that a start that opens the file from now on finds a new
    // one; a start that opened this one before sees it gone once it holds the lock.
    const QByteArray lockPath = QFile::encodeName(m_socketPath + u".lock");
    if (isFileAt(m_lock->get(), lockPath))
        ::unlink(lockPath.constData());
}

bool SingleCopy::handOver(const QDeadlineTimer& deadline) const
{
    const std::optional<sockaddr_un> address = socketAddress(QFile::encodeName(m_socketPath));
    if (!address)
        return false;
    // Not blocking: a copy that is stopped or hung with its queue of connections full would
    // otherwise hold this start in connect() for ever. Such a queue makes connect() fail.
    FileDescriptor fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    if (!fd.isOpen() ||
        ::connect(fd.get(), reinterpret_cast<const sockaddr*>(&*address), sizeof *address) != 0)
        return false;
    // A socket of somebody else under our name is no copy of ours and gets no token.
    if (!isSameUser(fd.get()))
        return false;

    // The desktop's activation token of this start lets the running copy take the focus.
    QByteArray token = qgetenv("XDG_ACTIVATION_TOKEN");
    if (token.isEmpty())
        token = qgetenv("DESKTOP_STARTUP_ID");
    const QByteArray request = RequestWord + usableToken(token) + '\n';
    if (::send(fd.get(), request.constData(), static_cast<std::size_t>(request.size()),
               MSG_NOSIGNAL | MSG_DONTWAIT) != request.size())
        return false;

    // A copy that closes the connection unanswered is on its way out.
    char answer[sizeof Answer - 1];
    std::size_t got = 0;
    while (got < sizeof answer && waitFor(fd.get(), POLLIN, deadline)) {
        const ssize_t n = ::recv(fd.get(), answer + got, sizeof answer - got, MSG_DONTWAIT);
        if (n > 0)
            got += static_cast<std::size_t>(n);
        else if (n == 0 || (errno != EINTR && errno != EAGAIN))
            return false;
    }
    return got == sizeof answer && std::memcmp(answer, Answer, sizeof answer) == 0;
}

SingleCopy::Outcome SingleCopy::claimOrHandOver()
{
    if (!m_enabled)
        return Outcome::Primary;
    const QByteArray socketPath = QFile::encodeName(m_socketPath);
    const QByteArray lockPath = QFile::encodeName(m_socketPath + u".lock");
    const QDeadlineTimer deadline(StartBoundMs);
    for (;;) {
        if (handOver(deadline))
            return Outcome::HandedOver;
        // Also after a copy took the request and kept silent: it may have given the claim up
        // meanwhile, and then this start runs normally.
        int error = 0;
        FileDescriptor lock = lockFile(lockPath, error);
        if (lock.isOpen()) {
            m_lock = std::make_unique<FileDescriptor>(std::move(lock));
            // A socket file left behind by a killed copy would make our listen fail.
            removeStaleSocket(socketPath);
            m_listener = Listener::open(socketPath);
            return Outcome::Primary;
        }
        if (error != 0) {
            m_failure = m_socketPath + u".lock: " + QString::fromLocal8Bit(std::strerror(error));
            return Outcome::Failed;
        }
        // Another copy holds the claim: it is starting up or ending, its queue is full, or it
        // has not answered.
        if (deadline.hasExpired())
            return Outcome::NotResponding;
        QThread::msleep(10);
    }
}

void SingleCopy::listen(std::function<void(const QByteArray& token)> activate)
{
    if (m_listener)
        m_listener->start(std::move(activate));
}

} // namespace corvane::platform
