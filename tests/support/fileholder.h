// Another process that holds a file while a test looks at it: open for writing, open for reading,
// locked, or being written to.
#pragma once

#include <QDeadlineTimer>
#include <QProcess>
#include <QString>

class FileHolder
{
public:
    // Shell scripts run with the file's path as $0; each says "ready" once it holds the file.
    static constexpr const char* OpenForWriting = R"(exec 3>>"$0" && echo ready && exec sleep 60)";
    static constexpr const char* OpenForReading = R"(exec 3<"$0" && echo ready && exec sleep 60)";
    static constexpr const char* Locked =
        R"(exec 3<"$0" && flock -x 3 && echo ready && exec sleep 60)";
    static constexpr const char* Appending =
        R"(echo ready; while :; do echo x >>"$0"; sleep 0.01; done)";

    FileHolder() = default;
    FileHolder(const FileHolder&) = delete;
    FileHolder& operator=(const FileHolder&) = delete;
    ~FileHolder() { release(); }

    // Starts the holder and waits (at most ten seconds) until it holds the file.
    bool start(const QString& path, const char* script)
    {
        m_process.start(QStringLiteral("/bin/sh"),
                        {QStringLiteral("-c"), QString::fromLatin1(script), path});
        if (!m_process.waitForStarted(10000))
            return false;
        const QDeadlineTimer deadline(10000);
        QByteArray said;
        while (!said.contains("ready") && !deadline.hasExpired()) {
            m_process.waitForReadyRead(int(deadline.remainingTime()));
            said += m_process.readAllStandardOutput();
        }
        return said.contains("ready");
    }

    // Ends the holder; once this returns, the file is no longer held.
    void release()
    {
        if (m_process.state() == QProcess::NotRunning)
            return;
        m_process.kill();
        m_process.waitForFinished(10000);
    }

private:
    QProcess m_process;
};
