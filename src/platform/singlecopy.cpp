#include "platform/singlecopy.h"

#include "platform/handles.h"

#include <QByteArray>
#include <QDeadlineTimer>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QThread>

#include <cerrno>
#include <cstring>
#include <poll.h>
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
    m_lock = std::make_unique<QLockFile>(m_socketPath + u".lock");
    m_lock->setStaleLockTime(0); // stale only when its owner is gone, never by age
}

SingleCopy::~SingleCopy() = default;

bool SingleCopy::handOver() const
{
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray path = QFile::encodeName(m_socketPath);
    if (path.size() >= static_cast<qsizetype>(sizeof(address.sun_path)))
        return false;
    std::memcpy(address.sun_path, path.constData(), static_cast<std::size_t>(path.size()));

    FileDescriptor fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (fd.get() < 0 ||
        ::connect(fd.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
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
    if (!m_lock)
        return Outcome::Primary;
    const QDeadlineTimer deadline(ClaimTimeoutMs);
    for (;;) {
        if (handOver())
            return Outcome::HandedOver;
        if (m_lock->tryLock(0)) {
            // A socket file left behind by a killed copy would make our listen fail.
            QLocalServer::removeServer(m_socketPath);
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
    if (!m_lock)
        return;
    m_server = std::make_unique<QLocalServer>();
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!m_server->listen(m_socketPath))
        return;
    m_activate = std::move(activate);
    QObject::connect(m_server.get(), &QLocalServer::newConnection, m_server.get(), [this] {
        while (QLocalSocket* socket = m_server->nextPendingConnection()) {
            QObject::connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            QObject::connect(socket, &QLocalSocket::readyRead, socket,
                             [this, socket] { answer(*socket); });
        }
    });
}

void SingleCopy::answer(QLocalSocket& socket)
{
    if (!socket.canReadLine())
        return;
    useActivationToken(socket.readLine(4096).mid(sizeof RequestWord - 1).trimmed());
    m_activate();
    socket.write(Answer, sizeof Answer - 1);
    socket.disconnectFromServer();
}

} // namespace corvane::platform
