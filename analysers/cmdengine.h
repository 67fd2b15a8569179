// TCOMPortDriver: the driver of an analyser that must be asked. It runs the steps of its protocol
// file over a serial port of its own on a worker thread: each step writes its command, waits for
// the answer up to the step's time-out, and lets the protocol's actions judge an answer that is
// not the expected one. Every exchange can be written to a communication log.
#pragma once

#include <analysers/comdrv.h>
#include <analysers/msgparser.h>

#include <QString>
#include <QStringList>

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

// The communication log: lines added by the worker and by Stop, read from any thread.
class TCommLog
{
public:
    void Add(const QString& Line);
    QStringList Lines() const;

private:
    mutable std::mutex m_mutex;
    QStringList m_lines;
};

// The dialogue runs in three data blocks, 0, 1 and 2, each the steps of that block in file order.
// A step, by what it holds:
//
//   SendData | ExpectedData | the step
//   empty    | any          | waits, without time-out, for a complete answer; one that is not
//            |              | the expected one (when one is expected) is judged
//   bytes    | bytes        | writes, waits up to Timeout ms for a complete answer (on time-out
//            |              | writes again, without limit); an answer other than the expected one
//            |              | is judged
//   bytes    | empty        | writes; nothing is awaited
//
// An answer that grows past MaxAnswerSize bytes without being complete (a line stuck on NUL, a
// device that never ends its message) is dropped, and the step goes on as after a time-out: it
// writes again, or waits again; the logs say so once per step.
//
// Judging (ProcessAnswer): an answer that fails CheckAnswer runs the recovery steps (block -1),
// and the step runs again; a recovery step whose answer fails the check runs again itself. An
// answer that passes is parsed and the protocol's actions react to its fields; when they give
// false, the block runs again from the step. A block whose last step's control part has kind -1
// runs again from its first step. The port is opened at the start of every run of a block and
// closed at its end; a port that cannot be opened ends the block ("DEVICE NOT CONNECTED"). When
// the port opens later (a later block opens it, or the port's own retries do once the dialogue
// has ended), the dialogue starts again from its first block (logged); Stop ends the retries.
//
// Threads. The worker runs the blocks, builds, parses, judges and writes the log; the lists,
// the steps and the current block and step are its alone, and of the port it calls only
// Connect, Disconnect and SendData. The port, its timer and the received bytes (PortReceiveData,
// AddReceivedData) belong to the main thread, which hands bytes over under the one mutex: a
// step takes bytes from the moment it clears its ReceivedData until its answer is judged, and
// bytes that arrive at any other time are dropped. Stop wakes every wait of the worker (the
// answer waits, the pause of a reaction and the pause between short writes), and returns once
// the worker has ended, within a bound: a write's OutputTimeout and the closing of the line.
//
//   state     | Start                           | the worker ends / Stop  | the port's retries
//             |                                 |                         | open it
//   idle      | runs blocks 0 to 2 from step 0  | -                       | -
//   running   | false, nothing changes          | idle (Stop joins the    | when a block found no
//             |                                 | worker)                 | port: from block 0 at
//             |                                 |                         | the next block, or
//             |                                 |                         | once the worker ends
//   finished  | joins the old worker, as idle   | - (Stop does nothing)   | Start, when a block
//             |                                 |                         | found no port
//
// An error raised on the worker (a counter that is not a number) is logged, to the communication
// log and to the operations log, and ends the dialogue with the port closed.
class TCOMPortDriver : public TParser
{
public:
    // Log may be null: nothing is logged then. Name names the driver in the operations log;
    // DefaultTimeout is kept but no step uses it. A subclass calls Stop in its own destructor:
    // the worker calls its overrides until it has ended.
    TCOMPortDriver(QString FileName, std::shared_ptr<TCommLog> Log,
                   std::vector<TMsgFldInfo> MsgFields, std::vector<TRepFldInfo> RepFields,
                   QString Name = QString(), int DefaultTimeout = 0);
    ~TCOMPortDriver() override;

    // Starts the dialogue from block 0, step 0; false, changing nothing, while it runs.
    bool Start();
    // Ends the dialogue and waits for the worker to end.
    void Stop();
    bool Running() const { return m_running.load(); }
    bool Alive() const { return m_alive.load(); }

    // The port the dialogue runs on, owned; set it up before Start.
    TCommPortDriver* Port() const { return m_port.get(); }
    const QString& Name() const { return m_name; }
    int DefaultTimeout() const { return m_defaultTimeout; }

    // Received bytes, on the main thread: handed to the waiting step, else dropped.
    void PortReceiveData(TCommPortDriver* Sender, const char* Data, int Count) override;
    virtual void AddReceivedData(const char* Data, int Count);
    // Bytes dropped: no step took them, or an answer grew past MaxAnswerSize.
    qint64 DroppedBytes() const { return m_dropped.load(); }

    // Far above any answer a device gives.
    static constexpr qsizetype MaxAnswerSize = 4096;

protected:
    // Judges an answer that is not the expected one; false runs the block again from the step.
    virtual bool ProcessAnswer();
    // Whether Data holds a whole answer. The bytes before From were there at the last call, which
    // found them incomplete, so only the bytes from From on need a look; From 0 starts an answer.
    virtual bool IsAnswerComplete(const QByteArray& Data, qsizetype From) = 0;
    // The device's line settings as text; nothing calls it.
    virtual void GetDefaultSettings(QString& Text) = 0;
    virtual bool CheckAnswer(const QByteArray& Data) = 0;

    // The worker's position: block 0 to 2, or -1 while the recovery steps run, and the step.
    int CurrentBlock = 0;
    int CurrentCommand = 0;
    // The pause of a reaction of kind 0, about one tick of a window timer. Set before Start.
    int ReactionPauseMs = 16;

private:
    enum class Wait { Arrived, TimedOut, Stopped };

    void RunDataBlocks();
    bool RunDataBlock();
    // One step; false when the block is to end with false (stopped, or the answer judged false).
    bool RunStep(protocol::TCommand& Command);
    // Waits for the step's answer until it is complete; false when stopped. On time-out (Timeout
    // at least 0) or when the answer grows past MaxAnswerSize the bytes are dropped and the step
    // writes its command again (when it has one).
    bool AwaitAnswer(protocol::TCommand& Command, int Timeout);
    bool Recover();
    // Writes the bytes whole, again whole after a short write, while running; false once stopped.
    bool WriteWhole(const QByteArray& Bytes);

    // The hand-over of answer bytes.
    void AcceptAnswer();
    void EndAnswer();
    Wait WaitForBytes(protocol::TResult& Into, int TimeoutMs);
    // Sleeps up to Ms, cut short by Stop; false when stopped.
    bool Pause(int Ms);

    void Log(const QString& Line);
    void LogFields();
    // Failed: the worker ended on an error.
    void Finish(bool Failed);
    void JoinWorker();
    // The port's retries have opened it (main thread).
    void PortOpenedAgain();
    void StartAgain();

    std::unique_ptr<TCommPortDriver> m_port;
    std::shared_ptr<TCommLog> m_log;
    QString m_name;
    int m_defaultTimeout = 0;

    std::thread m_thread;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::atomic<bool> m_running{false};
    std::atomic<bool> m_alive{false};
    // Under m_mutex: whether a step takes bytes, and those it has not taken in yet.
    bool m_accepting = false;
    QByteArray m_incoming;
    // Under m_mutex: the last run found the port missing, and the port opened while it ran.
    bool m_portMissing = false;
    bool m_openedMeanwhile = false;
    // The worker's: a block found the port that the blocks before it missed.
    bool m_firstBlockAgain = false;
    std::atomic<qint64> m_dropped{0};
};
