// Xvfb and openbox for one test, each waited for on the line it writes when ready.
#include "xdisplay.h"

#include <QDeadlineTimer>

namespace {

// The first line of the process's output that `ready` accepts; empty when none comes in 15 s.
QString readyLine(QProcess& process, bool (*ready)(const QString&))
{
    const QDeadlineTimer deadline(15000);
    process.waitForStarted(15000);
    while (process.state() == QProcess::Running && !deadline.hasExpired()) {
        while (process.canReadLine()) {
            const QString line = QString::fromLocal8Bit(process.readLine()).trimmed();
            if (ready(line))
                return line;
        }
        process.waitForReadyRead(int(deadline.remainingTime()));
    }
    return {};
}

QProcessEnvironment on(const QString& display)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), display);
    return env;
}

} // namespace

XDisplay::XDisplay(const QString& screen)
{
    m_server.start(QStringLiteral("Xvfb"),
                   {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
                    QStringLiteral("0"), screen + QStringLiteral("x24"),
                    QStringLiteral("-nolisten"), QStringLiteral("tcp")});
    const QString number = readyLine(m_server, [](const QString& line) {
        bool isNumber = false;
        line.toUInt(&isNumber);
        return isNumber;
    });
    if (number.isEmpty()) {
        error = QStringLiteral("Xvfb did not start (package xvfb)");
        return;
    }
    name = QLatin1Char(':') + number;
    m_manager.setProcessEnvironment(on(name));
    m_manager.start(QStringLiteral("openbox"),
                    {QStringLiteral("--startup"), QStringLiteral("echo openbox-ready")});
    if (readyLine(m_manager, [](const QString& line) { return line == "openbox-ready"; }).isEmpty())
        error = QStringLiteral("openbox did not start (package openbox)");
}

XDisplay::~XDisplay()
{
    for (QProcess* process : {&m_manager, &m_server}) {
        process->kill();
        process->waitForFinished(5000);
    }
}

QString XDisplay::run(const QString& program, const QStringList& args) const
{
    QProcess tool;
    tool.setProcessEnvironment(on(name));
    tool.start(program, args);
    const bool ended = tool.waitForFinished(15000) && tool.exitCode() == 0;
    tool.kill();
    return ended ? QString::fromLocal8Bit(tool.readAllStandardOutput()).trimmed() : QString();
}
