// A pseudo-terminal pair standing in for a serial cable, and a scripted analyser on its far side.
// Independent of the test framework: end-to-end runs of the program use it as well.
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <functional>

// The near side's line settings as far as a pseudo-terminal keeps them: it forces 8 data bits and
// clears the parity switch whatever is asked, so those are not reported; it keeps the odd and the
// stick bits, which tell odd (odd), mark (odd and stick) and space (stick) parity apart.
struct PtyLineSettings
{
    int baudRate = 0;
    bool twoStopBits = false;
    bool oddParity = false;
    bool stickParity = false;
    bool rtsCts = false;
    bool xonXoff = false;
    bool raw = false;       // binary: no echo, no line editing, no translation of bytes either way
    bool exclusive = false; // further opens refused (TIOCEXCL; a root process is not stopped)
};

// An in-process pseudo-terminal pair. The near side is a terminal device that the program opens by
// path as its serial port; the far side, raw and non-blocking, is the analyser's end. The pair
// keeps a descriptor of the near side too, so that the program may open and close it freely.
class PtyPair
{
public:
    PtyPair();
    ~PtyPair();
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    bool isOpen() const { return m_far >= 0; }
    QString errorString() const { return m_error; }
    // The device path of the near side ("/dev/pts/N").
    QString nearPath() const { return m_nearPath; }

    // Far side, without waiting: bytes taken (-1 on failure), and the bytes waiting now.
    qint64 writeFar(const char* data, qint64 size);
    QByteArray readFar();
    // Far side: waits up to timeoutMs until bytes can be read (true) without pumping events, so
    // that a thread of its own can stamp their arrival.
    bool waitFar(int timeoutMs) const;

    // The settings the program applied to the near side.
    PtyLineSettings nearSettings() const;

private:
    int m_far = -1;
    int m_near = -1;
    QString m_nearPath;
    QString m_error;
};

// Pumps the Qt event loop (timers included) until condition() holds or timeoutMs has passed;
// returns whether it held.
bool pumpEventsUntil(const std::function<bool()>& condition, int timeoutMs);
// Pumps the Qt event loop for ms milliseconds.
void pumpEventsFor(int ms);

// "02 41 42" followed by the printable form, for failure messages.
QString describeBytes(const QByteArray& bytes);

// An analyser played by script on the far side of a pair. Steps run in the order given; every wait
// pumps the Qt event loop, so the program's polling timer keeps running, and is bounded.
//
//   ScriptedPeer peer(pair);
//   peer.write("\x05").expect("\x06").write(frame);
//   if (!peer.run()) FAIL() << peer.failure();
class ScriptedPeer
{
public:
    explicit ScriptedPeer(PtyPair& pair) : m_pair(pair) {}

    // Sends bytes to the program; waits (up to timeoutMs) while the line is full.
    ScriptedPeer& write(const QByteArray& bytes, int timeoutMs = 5000);
    // Waits until the program has sent these bytes next; fails on other bytes or after timeoutMs.
    ScriptedPeer& expect(const QByteArray& bytes, int timeoutMs = 5000);
    // Waits until condition() holds (for example: the program has seen some bytes).
    ScriptedPeer& waitFor(std::function<bool()> condition, const QString& what,
                          int timeoutMs = 5000);

    // Runs the steps added since the last run; stops at the first that fails.
    bool run();
    // What failed: the step, what was expected and what arrived.
    QString failure() const { return m_failure; }
    // Bytes the program sent that no expect step has taken yet.
    QByteArray received() const { return m_received; }

private:
    struct Step
    {
        enum Kind { Write, Expect, WaitFor } kind;
        QByteArray bytes;
        int ms = 0;
        std::function<bool()> condition;
        QString what;
    };

    bool runStep(int number, const Step& step);
    void collect();

    PtyPair& m_pair;
    QList<Step> m_steps;
    QByteArray m_received;
    QString m_failure;
    int m_stepsRun = 0;
};
