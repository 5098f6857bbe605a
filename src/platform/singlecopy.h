#pragma once

// One running copy per user and desktop session. The first copy holds a lock file and
// listens on a local socket named after the window class, the user and the display; a
// second start finds the socket, asks the running copy to come forward and quits. Every wait
// is bounded, only peers of the same user are talked to, and a lock or socket left behind by
// a killed copy is taken over. The socket is a plain Unix socket watched from the main
// thread's event loop, so that serving later starts costs the launcher no network library at
// start-up.

#include <QByteArray>
#include <QString>
#include <functional>
#include <memory>

class QDeadlineTimer;

namespace corvane::platform {

class FileDescriptor;

class SingleCopy
{
public:
    /// `key` names the program (the window class name).
    explicit SingleCopy(const QString& key);
    ~SingleCopy();
    SingleCopy(const SingleCopy&) = delete;
    SingleCopy& operator=(const SingleCopy&) = delete;

    enum class Outcome {
        Primary,       ///< this process is the running copy from now on
        HandedOver,    ///< the running copy answered and comes forward
        NotResponding, ///< a copy holds the claim but did not answer in time
        Failed         ///< the claim could not be checked; failure() says why
    };

    /// Either claims the running copy's place or hands over to the copy that holds it, within
    /// a few seconds whatever the other copy does. As the primary copy the socket already
    /// takes connections, which wait until listen(). Needs no application object, so a second
    /// start costs next to nothing.
    Outcome claimOrHandOver();

    /// What went wrong when the claim Failed: the path and the system's reason.
    const QString& failure() const { return m_failure; }

    /// Starts answering later starts; `activate` runs on the calling (main) thread for each
    /// of them, with the desktop's activation token that start brought (empty without one).
    /// Call after the application object exists and only as the primary copy.
    void listen(std::function<void(const QByteArray& token)> activate);

    /// Gives the claim up: stops listening and removes the socket and the lock file, so that
    /// the next start runs on its own even while this process is still ending. A socket or
    /// lock file that something else has put under the name meanwhile stays.
    void release();

    /// Gives the claim up for a process that ends at once, from any thread: removes the socket
    /// and the lock file as release() does and leaves the rest to the end of the process.
    void releaseForExit() const;

    /// The socket's path, for tests and diagnostics.
    const QString& socketPath() const { return m_socketPath; }

private:
    class Listener;

    /// Asks the copy that listens on the socket to come forward; true once it has answered.
    bool handOver(const QDeadlineTimer& deadline) const;
    void removeLockName() const;

    QString m_socketPath;
    QString m_failure;
    bool m_enabled = false;               // a safe folder for the lock and the socket exists
    std::unique_ptr<FileDescriptor> m_lock; // while this copy holds the claim
    std::unique_ptr<Listener> m_listener;   // goes before the lock is released
};

} // namespace corvane::platform
