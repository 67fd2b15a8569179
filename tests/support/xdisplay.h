// A real X display for the tests that need one: Xvfb on a display number it picks itself (the
// number it writes is the sign that it accepts clients), and openbox managing its windows (its
// start-up command is the sign that it does). Both end with the object.
#pragma once

#include <QProcess>
#include <QRect>
#include <QStringList>

class XDisplay
{
public:
    // The first of `programs` that cannot be found; empty when all are installed.
    static QString missing(const QStringList& programs);

    // The screen is width x height at 24 bits.
    explicit XDisplay(const QString& screen = QStringLiteral("1024x768"));
    ~XDisplay();

    QString error; // why the display is not there; empty when it is
    QString name;  // ":N", for DISPLAY
    // Runs a program (xdotool) on the display, reading and writing text as UTF-8 whatever the
    // test's own locale: its output, trimmed; empty when it fails or has not ended within 15 s.
    QString run(const QString& program, const QStringList& args) const;
    // A window's frame as the window manager drew it around the window (read with xwininfo and
    // xprop); empty when it cannot be read.
    QRect frame(const QString& window) const;

private:
    QProcess m_server;
    QProcess m_manager;
};
