// A real X display for the tests that need one: Xvfb on a display number it picks itself (the
// number it writes is the sign that it accepts clients), and openbox managing its windows (its
// start-up command is the sign that it does). Both end with the object.
#pragma once

#include <QProcess>
#include <QStringList>

class XDisplay
{
public:
    // The screen is width x height at 24 bits.
    explicit XDisplay(const QString& screen = QStringLiteral("1024x768"));
    ~XDisplay();

    QString error; // why the display is not there; empty when it is
    QString name;  // ":N", for DISPLAY
    // Runs a program (xdotool) on the display: its output, trimmed; empty when it fails or has
    // not ended within 15 s.
    QString run(const QString& program, const QStringList& args) const;

private:
    QProcess m_server;
    QProcess m_manager;
};
