#pragma once

// A private X session for process-level tests: an Xvfb server on a free display, optionally
// with a window manager, and small helpers around xdotool and xprop to look at windows.

#include "testfiles.h"

#include <QDir>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

namespace corvane::test {

class XSession
{
public:
    explicit XSession(bool withWindowManager)
    {
        // -displayfd lets the server pick a free display and tell us which. -noreset keeps
        // it from resetting whenever its last client leaves, which would turn away a
        // launcher that connects at that moment.
        m_server.setProgram(QStringLiteral("Xvfb"));
        m_server.setArguments({QStringLiteral("-noreset"), QStringLiteral("-displayfd"),
                               QStringLiteral("1"), QStringLiteral("-screen"), QStringLiteral("0"),
                               QStringLiteral("1024x768x24"), QStringLiteral("-nolisten"),
                               QStringLiteral("tcp")});
        m_server.start();
        if (!m_server.waitForStarted(5000) || !m_server.waitForReadyRead(10000))
            return;
        m_display = u':' + QString::fromLatin1(m_server.readLine().trimmed());

        m_environment = QProcessEnvironment::systemEnvironment();
        m_environment.insert(QStringLiteral("DISPLAY"), m_display);
        m_environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
        m_environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        m_environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_runtime.path());
        m_environment.insert(QStringLiteral("XDG_CONFIG_HOME"), m_config.path());
        m_environment.insert(QStringLiteral("TMPDIR"), m_runtime.path());
        // No session bus: Qt looks for one as the launcher starts, libdbus then forks a helper
        // to start a bus, and under the sanitizers that child can hang for ever in malloc.
        m_environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"),
                             QStringLiteral("unix:path=/nonexistent"));
        QDir().mkpath(m_config.path());
        // No network from these tests.
        [[maybe_unused]] const bool written = writeFile(
            m_config.path() + QStringLiteral("/corvane.ini"), "[Corvane]\nAutoUpdate=0\n");

        if (withWindowManager) {
            m_windowManager.setProcessEnvironment(m_environment);
            m_windowManager.start(QStringLiteral("openbox"), {});
            m_windowManager.waitForStarted(5000);
            QTest::qWait(300);
        }
    }

    ~XSession()
    {
        for (QProcess* process : {&m_windowManager, &m_server}) {
            process->kill();
            process->waitForFinished(5000);
        }
    }

    bool isRunning() const { return !m_display.isEmpty(); }
    QProcessEnvironment environment() const { return m_environment; }
    QString configFolder() const { return m_config.path(); }

    /// Runs a helper command in the session and returns its standard output, trimmed.
    QString run(const QString& program, const QStringList& arguments, int timeoutMs = 10000) const
    {
        QProcess process;
        process.setProcessEnvironment(m_environment);
        process.start(program, arguments);
        process.waitForFinished(timeoutMs);
        return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
    }

    /// Visible top-level windows whose WM_CLASS matches `windowClass`.
    QStringList windows(const QString& windowClass) const
    {
        const QString out = run(QStringLiteral("xdotool"),
                                {QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                                 QStringLiteral("--class"), windowClass});
        return out.isEmpty() ? QStringList() : out.split(u'\n');
    }

    /// Waits up to `timeoutMs` for such a window and returns its id, or an empty text.
    QString waitForWindow(const QString& windowClass, int timeoutMs = 15000) const
    {
        QDeadlineTimer deadline(timeoutMs);
        while (!deadline.hasExpired()) {
            const QStringList found = windows(windowClass);
            if (!found.isEmpty())
                return found.first();
            QTest::qWait(50);
        }
        return {};
    }

    QString xdotool(const QStringList& arguments) const
    {
        return run(QStringLiteral("xdotool"), arguments);
    }

    QString property(const QString& window, const QString& name) const
    {
        return run(QStringLiteral("xprop"), {QStringLiteral("-id"), window, name});
    }

    QString activeWindow() const
    {
        return run(QStringLiteral("xdotool"), {QStringLiteral("getactivewindow")});
    }

private:
    QProcess m_server;
    QProcess m_windowManager;
    QString m_display;
    QTemporaryDir m_runtime;
    QTemporaryDir m_config;
    QProcessEnvironment m_environment;
};

} // namespace corvane::test
