// Xvfb and openbox for one test, each waited for on the line it writes when ready.
#include "xdisplay.h"

#include <QDeadlineTimer>
#include <QRegularExpression>
#include <QStandardPaths>

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
    env.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
    return env;
}

// The number after `label` in a tool's output ("Width: 655"); -1 when there is none.
int numberAfter(const QString& output, const QString& label)
{
    const QRegularExpression pattern(QRegularExpression::escape(label) +
                                     QStringLiteral("\\s*(-?\\d+)"));
    const QRegularExpressionMatch match = pattern.match(output);
    return match.hasMatch() ? match.captured(1).toInt() : -1;
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

QRect XDisplay::frame(const QString& window) const
{
    const QString inside = run(QStringLiteral("xwininfo"), {QStringLiteral("-id"), window});
    // Left, right, top, bottom.
    const QStringList extents = run(QStringLiteral("xprop"), {QStringLiteral("-id"), window,
                                                              QStringLiteral("_NET_FRAME_EXTENTS")})
                                    .section(QLatin1Char('='), 1)
                                    .split(QLatin1Char(','));
    const int x = numberAfter(inside, QStringLiteral("Absolute upper-left X:"));
    const int y = numberAfter(inside, QStringLiteral("Absolute upper-left Y:"));
    const int width = numberAfter(inside, QStringLiteral("Width:"));
    const int height = numberAfter(inside, QStringLiteral("Height:"));
    if (extents.size() != 4 || width <= 0 || height <= 0)
        return {};
    const QMargins margins(extents.at(0).trimmed().toInt(), extents.at(2).trimmed().toInt(),
                           extents.at(1).trimmed().toInt(), extents.at(3).trimmed().toInt());
    return QRect(x, y, width, height).marginsAdded(margins);
}

QString XDisplay::missing(const QStringList& programs)
{
    for (const QString& program : programs) {
        if (QStandardPaths::findExecutable(program).isEmpty())
            return program;
    }
    return {};
}
