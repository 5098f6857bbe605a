#pragma once

// One running copy per user and desktop session. The first copy holds a lock file and
// listens on a local socket named after the window class, the user and the display; a
// second start finds the socket, asks the running copy to come forward and quits. Every wait
// is bounded, and a lock or socket left behind by a killed copy is taken over. The socket is a
// plain Unix socket watched from the main thread's event loop, so that serving later starts
// costs the launcher no network library at start-up.

#include "platform/handles.h"

#include <QString>
#include <functional>
#include <memory>

namespace corvane::platform {

class SingleCopy
{
public:
    /// `key` names the program (the window class name).
    explicit SingleCopy(const QString& key);
    ~SingleCopy();
    SingleCopy(const SingleCopy&) = delete;
    SingleCopy& operator=(const SingleCopy&) = delete;

    enum class Outcome {
        Primary,   ///< this process is the running copy from now on
        HandedOver ///< another copy runs (or holds the claim and did not answer in time)
    };

    /// Either claims the running copy's place or hands over to the copy that holds it. Needs
    /// no application object, so a second start costs next to nothing.
    Outcome claimOrHandOver();

    /// Starts answering later starts; `activate` runs on the calling (main) thread for each
    /// of them. Call after the application object exists and only as the primary copy. The
    /// socket file goes when this object does, unless something else has taken its name.
    void listen(std::function<void()> activate);

    /// The socket's path, for tests and diagnostics.
    const QString& socketPath() const { return m_socketPath; }

private:
    class Listener;

    bool handOver() const;

    QString m_socketPath;
    bool m_enabled = false;               // a safe folder for the lock and the socket exists
    FileDescriptor m_lock;                // open while this copy holds the claim
    std::unique_ptr<Listener> m_listener; // goes before the lock is released
};

} // namespace corvane::platform
