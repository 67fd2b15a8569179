// The command/answer engine: the worker that runs the protocol's data blocks, the hand-over of
// received bytes from the main thread, the judging of answers and the communication log.
#include "cmdengine.h"

#include <platform/codepage.h>
#include <platform/softcheck.h>
#include <platform/support/logfile.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QMetaObject>
#include <QScopeGuard>

#include <algorithm>
#include <chrono>

using protocol::TAction;
using protocol::TCommand;
using protocol::TCommandPartList;
using protocol::TInformation;
using protocol::TResult;

namespace {

// What closing the line may take on top of a write's time-out: the output still queued gets a
// short time to leave.
constexpr int CloseBoundMs = 1500;

// The operations log is the main thread's: lines from the worker go there through its event loop.
void writeToLogFromWorker(const QString& text)
{
    if (QCoreApplication* app = QCoreApplication::instance())
        QMetaObject::invokeMethod(
            app, [text] { WriteToLog(text); }, Qt::QueuedConnection);
}

QString startsAgainText(const QString& name)
{
    return QStringLiteral("%1: the port is open now: the dialogue with the analyser starts again "
                          "from its first block")
        .arg(name);
}

QString exceptionText(const std::exception& e)
{
    if (const auto* own = dynamic_cast<const Exception*>(&e))
        return own->message();
    return QString::fromLocal8Bit(e.what());
}

} // namespace

// ---------------------------------------------------------------------------------------------
// TCommLog

void TCommLog::Add(const QString& Line)
{
    const std::lock_guard lock(m_mutex);
    m_lines.append(Line);
}

QStringList TCommLog::Lines() const
{
    const std::lock_guard lock(m_mutex);
    return m_lines;
}

// ---------------------------------------------------------------------------------------------
// Life

TCOMPortDriver::TCOMPortDriver(QString FileName, std::shared_ptr<TCommLog> Log,
                               std::vector<TMsgFldInfo> MsgFields,
                               std::vector<TRepFldInfo> RepFields, QString Name, int DefaultTimeout)
    : TParser(std::move(FileName), std::move(MsgFields), std::move(RepFields)),
      m_port(std::make_unique<TCommPortDriver>()), m_log(std::move(Log)), m_name(std::move(Name)),
      m_defaultTimeout(DefaultTimeout)
{
    m_port->OnReceiveData = [this](TCommPortDriver* Sender, const char* Data, int Count) {
        PortReceiveData(Sender, Data, Count);
    };
    m_port->OnReopened = [this](TCommPortDriver*) { PortOpenedAgain(); };
}

TCOMPortDriver::~TCOMPortDriver()
{
    Stop();
    JoinWorker();
    m_port->OnReceiveData = nullptr;
    m_port->OnReopened = nullptr;
}

bool TCOMPortDriver::Start()
{
    if (m_running.load())
        return false;
    JoinWorker(); // a finished dialogue's worker
    CurrentBlock = 0;
    CurrentCommand = 0;
    {
        const std::lock_guard lock(m_mutex);
        m_portMissing = false;
        m_openedMeanwhile = false;
    }
    m_alive = true;
    m_running = true;
    m_thread = std::thread([this] { RunDataBlocks(); });
    return true;
}

void TCOMPortDriver::Stop()
{
    if (m_running.load()) {
        Log(QStringLiteral("<<!STOPED!"));
        {
            const std::lock_guard lock(m_mutex);
            m_running = false;
        }
        m_wake.notify_all();
    }
    JoinWorker();
    {
        const std::lock_guard lock(m_mutex);
        m_portMissing = false;
        m_openedMeanwhile = false;
    }
    // A port that was missing is no longer tried: a stopped dialogue holds no port.
    m_port->Disconnect();
}

void TCOMPortDriver::JoinWorker()
{
    // A reaction on the worker that stops the dialogue leaves the worker to end by itself.
    if (!m_thread.joinable() || m_thread.get_id() == std::this_thread::get_id())
        return;
    const auto bound = std::chrono::milliseconds(m_port->OutputTimeout() + CloseBoundMs);
    std::unique_lock lock(m_mutex);
    const bool ended = m_wake.wait_for(lock, bound, [this] { return !m_alive.load(); });
    lock.unlock();
    QV_SOFT_CHECK(
        ended,
        QStringLiteral("the worker of %1 did not end within %2 ms").arg(m_name).arg(bound.count()));
    m_thread.join();
}

void TCOMPortDriver::Finish(bool Failed)
{
    bool again = false;
    {
        const std::lock_guard lock(m_mutex);
        // Still running: the blocks ran to their end rather than being stopped.
        again = m_running.load() && !Failed && m_portMissing && m_openedMeanwhile;
        m_running = false;
        m_accepting = false;
        m_incoming.clear();
        m_alive = false;
    }
    m_wake.notify_all();
    // The port opened while the blocks that found it missing were still running.
    if (again)
        QMetaObject::invokeMethod(
            m_port.get(), [this] { StartAgain(); }, Qt::QueuedConnection);
}

void TCOMPortDriver::PortOpenedAgain()
{
    {
        const std::lock_guard lock(m_mutex);
        if (!m_portMissing)
            return; // a dialogue that runs on (its write waited for the port), or none
        if (m_alive.load()) {
            m_openedMeanwhile = true;
            return;
        }
    }
    StartAgain();
}

void TCOMPortDriver::StartAgain()
{
    {
        const std::lock_guard lock(m_mutex);
        if (!m_portMissing || m_alive.load())
            return; // stopped, or started, meanwhile
    }
    WriteToLog(startsAgainText(m_name));
    Start();
}

// ---------------------------------------------------------------------------------------------
// Received bytes (main thread)

void TCOMPortDriver::PortReceiveData(TCommPortDriver*, const char* Data, int Count)
{
    AddReceivedData(Data, Count);
}

void TCOMPortDriver::AddReceivedData(const char* Data, int Count)
{
    if (!Data || Count <= 0)
        return;
    {
        const std::lock_guard lock(m_mutex);
        if (m_accepting) {
            // The worker drops an answer past the limit; what it has not taken yet stops just
            // past the limit too.
            const qsizetype room = qMax<qsizetype>(MaxAnswerSize + 1 - m_incoming.size(), 0);
            const int taken = int(qMin<qsizetype>(room, Count));
            m_incoming.append(Data, taken);
            m_dropped += Count - taken;
            if (taken == 0)
                return;
        } else {
            m_dropped += Count;
            return;
        }
    }
    m_wake.notify_all();
}

// ---------------------------------------------------------------------------------------------
// The hand-over (worker)

void TCOMPortDriver::AcceptAnswer()
{
    const std::lock_guard lock(m_mutex);
    m_dropped += m_incoming.size();
    m_incoming.clear();
    m_accepting = true;
}

void TCOMPortDriver::EndAnswer()
{
    const std::lock_guard lock(m_mutex);
    m_accepting = false;
    m_dropped += m_incoming.size();
    m_incoming.clear();
}

TCOMPortDriver::Wait TCOMPortDriver::WaitForBytes(TResult& Into, int TimeoutMs)
{
    std::unique_lock lock(m_mutex);
    const auto ready = [this] { return !m_running.load() || !m_incoming.isEmpty(); };
    if (TimeoutMs < 0)
        m_wake.wait(lock, ready);
    else if (!m_wake.wait_for(lock, std::chrono::milliseconds(TimeoutMs), ready))
        return Wait::TimedOut;
    if (!m_running.load())
        return Wait::Stopped;
    Into.AppendData(m_incoming);
    m_incoming.clear();
    return Wait::Arrived;
}

bool TCOMPortDriver::Pause(int Ms)
{
    std::unique_lock lock(m_mutex);
    m_wake.wait_for(lock, std::chrono::milliseconds(qMax(Ms, 0)),
                    [this] { return !m_running.load(); });
    return m_running.load();
}

bool TCOMPortDriver::WriteWhole(const QByteArray& Bytes)
{
    for (;;) {
        QElapsedTimer tried;
        tried.start();
        if (m_port->SendData(Bytes.constData(), int(Bytes.size())) >= Bytes.size())
            return true;
        if (!m_running.load())
            return false;
        // A port that refuses at once (closed under the write) is tried again at the pace of
        // the write's own time-out.
        if (!Pause(int(m_port->OutputTimeout() - tried.elapsed())))
            return false;
    }
}

// ---------------------------------------------------------------------------------------------
// The worker

void TCOMPortDriver::Log(const QString& Line)
{
    if (m_log)
        m_log->Add(Line);
}

void TCOMPortDriver::RunDataBlocks()
{
    bool failed = false;
    const auto finish = qScopeGuard([this, &failed] { Finish(failed); });
    try {
        for (CurrentBlock = 0; CurrentBlock <= 2; ++CurrentBlock) {
            if (!m_running.load())
                return;
            const QString block = QString::number(CurrentBlock);
            Log(QStringLiteral("<<DataBlock: [%1] started...").arg(block));
            while (!RunDataBlock()) {
                if (!m_running.load())
                    return;
            }
            Log(QStringLiteral("<<DataBlock: [%1] finished...").arg(block));
            if (m_firstBlockAgain) {
                m_firstBlockAgain = false;
                {
                    const std::lock_guard lock(m_mutex);
                    m_portMissing = false;
                    m_openedMeanwhile = false;
                }
                writeToLogFromWorker(startsAgainText(m_name));
                CurrentBlock = -1; // the loop goes on with block 0
                CurrentCommand = 0;
            }
        }
    } catch (const std::exception& e) {
        failed = true;
        m_port->Disconnect();
        const QString text = exceptionText(e);
        Log(QStringLiteral("<<!ERROR! ") + text);
        writeToLogFromWorker(QStringLiteral("%1: the dialogue with the analyser ended on an error "
                                            "at step %2: %3")
                                 .arg(m_name)
                                 .arg(CurrentCommand + 1)
                                 .arg(text));
    } catch (...) {
        failed = true;
        m_port->Disconnect();
        Log(QStringLiteral("<<!ERROR! an unknown error"));
        writeToLogFromWorker(
            QStringLiteral(
                "%1: the dialogue with the analyser ended on an unknown error at step %2")
                .arg(m_name)
                .arg(CurrentCommand + 1));
    }
}

bool TCOMPortDriver::RunDataBlock()
{
    bool missingBefore = false;
    {
        const std::lock_guard lock(m_mutex);
        missingBefore = m_portMissing;
    }
    if (!m_port->Connect()) {
        {
            const std::lock_guard lock(m_mutex);
            m_portMissing = true;
        }
        Log(QStringLiteral("DEVICE NOT CONNECTED"));
        return true;
    }
    if (missingBefore && CurrentBlock > 0) {
        // The port came while the blocks before found none: the dialogue starts again, on the
        // port now open.
        m_firstBlockAgain = true;
        return true;
    }
    const auto close = qScopeGuard([this] { m_port->Disconnect(); });
    int last = -1; // the last step of the block that was reached
    for (int i = CurrentCommand; i < Commands.Count(); ++i) {
        if (!m_running.load())
            break;
        CurrentCommand = i;
        BuildCommand(i);
        TCommand& command = Commands.GetItem(i);
        if (command.Block != CurrentBlock)
            break;
        last = i;
        if (!RunStep(command))
            return false;
    }
    // A block without steps is done: there is no last step to repeat it.
    if (last < 0)
        return true;
    TCommandPartList& parts = Commands.GetItem(last).SendParts;
    if (parts.IsEmpty() || parts.GetItem(0).Kind != -1)
        return true;
    parts.GetItem(0).Counter += 1;
    int first = last;
    while (first > 0 && Commands.GetItem(first - 1).Block == CurrentBlock)
        --first;
    CurrentCommand = first;
    return false;
}

bool TCOMPortDriver::RunStep(TCommand& Command)
{
    const auto logAnswer = [&] {
        Log(QStringLiteral("<<<ANSWER:  ") + BytesToTagText(Command.ExpectedData.Data) +
            QStringLiteral("\r\n<<<REC:     ") + BytesToTagText(Command.ReceivedData.Data) +
            QStringLiteral("\r\n"));
    };
    const auto judge = [&] {
        EndAnswer();
        return SameResult(Command.ReceivedData, Command.ExpectedData) || ProcessAnswer();
    };

    if (Command.SendData.Data.isEmpty()) {
        // Bytes are taken from the log line on.
        Command.ReceivedData.ClearData();
        AcceptAnswer();
        Log(QStringLiteral("<<<COMMAND: WAITING DATA"));
        if (!AwaitAnswer(Command, -1))
            return false;
        if (!Command.ExpectedData.Data.isEmpty() && !judge())
            return false;
        EndAnswer();
        logAnswer();
        return true;
    }

    if (Command.ExpectedData.Data.isEmpty()) {
        Command.ReceivedData.ClearData();
        if (!WriteWhole(Command.SendData.Data) || !m_running.load())
            return false;
        Log(QStringLiteral("<<<COMMAND: ") + BytesToTagText(Command.SendData.Data) +
            QStringLiteral("\r\n"));
        return true;
    }

    Command.ReceivedData.ClearData();
    AcceptAnswer();
    Log(QStringLiteral("<<<COMMAND: ") + BytesToTagText(Command.SendData.Data));
    if (!WriteWhole(Command.SendData.Data) || !AwaitAnswer(Command, Command.Timeout))
        return false;
    if (!judge())
        return false;
    logAnswer();
    return true;
}

bool TCOMPortDriver::AwaitAnswer(TCommand& Command, int Timeout)
{
    TResult& answer = Command.ReceivedData;
    bool told = false;
    for (;;) {
        const qsizetype from = answer.Data.size();
        const Wait waited = WaitForBytes(answer, Timeout);
        if (waited == Wait::Stopped)
            return false;
        if (waited == Wait::Arrived) {
            if (IsAnswerComplete(answer.Data, from))
                return true;
            if (answer.Data.size() <= MaxAnswerSize)
                continue;
            const qsizetype dropped = answer.Data.size();
            answer.ClearData();
            AcceptAnswer();
            // Counted once the step takes bytes again: a sign for whoever waits on the count.
            m_dropped += dropped;
            if (!told) {
                told = true;
                Log(QStringLiteral("<<<!OVERFLOW!>>>"));
                writeToLogFromWorker(QStringLiteral("%1: more than %2 bytes came at step %3 "
                                                    "without a complete answer; they were dropped")
                                         .arg(m_name)
                                         .arg(MaxAnswerSize)
                                         .arg(CurrentCommand + 1));
            }
        } else {
            Log(QStringLiteral("<<<!TIMEOUT!>>>"));
            answer.ClearData();
            AcceptAnswer();
        }
        if (!Command.SendData.Data.isEmpty() && !WriteWhole(Command.SendData.Data))
            return false;
    }
}

bool TCOMPortDriver::ProcessAnswer()
{
    TCommand& command = Commands.GetItem(CurrentCommand);
    if (!CheckAnswer(command.ReceivedData.Data))
        return Recover();
    ParseMessage(command.ReceivedData.Data);
    bool result = false;
    bool complete = false;
    // By index: a reaction may change the lists it walks.
    for (int a = 0; a < Actions.Count(); ++a) {
        for (int f = 0; f < Fields.Count() && a < Actions.Count(); ++f) {
            const TAction& action = Actions.GetItem(a);
            const protocol::TFldInfo& field = Fields.GetItem(f);
            if (field.Name != action.Name)
                continue;
            const TResult* decides = nullptr;
            for (const TResult& alternative : action.Values) {
                const bool matches =
                    alternative.Data.isEmpty() ||
                    std::any_of(field.Values.begin(), field.Values.end(),
                                [&](const TResult& v) { return SameResult(alternative, v); });
                if (matches) {
                    decides = &alternative;
                    break;
                }
            }
            if (!decides)
                continue;
            switch (decides->Kind) {
            case 0:
                if (CurrentBlock == 0) {
                    result = true;
                } else {
                    command.ReceivedData.ClearData();
                    Pause(ReactionPauseMs);
                }
                break;
            case 1:
                result = true;
                complete = true;
                break;
            case 3:
                result = true;
                LogFields();
                break;
            case 4:
                return false;
            case 5:
                result = false;
                LogFields();
                break;
            case 6: {
                result = true;
                const TResult key = field.Values.GetItem(0);
                int item = Informations.IndexOfKey(key.Data);
                if (item < 0) {
                    Informations.AddKey(key);
                    item = Informations.Count() - 1;
                }
                TInformation& information = Informations.GetItem(item);
                information.MergeFields(Fields);
                information.AddMessage(command.ReceivedData.Data);
                if (complete) {
                    if (OnInformation)
                        OnInformation(information);
                    Informations.Delete(item);
                }
                break;
            }
            case 7:
                CalcSpecialFields(Actions, Fields);
                break;
            default:
                break;
            }
        }
    }
    return result;
}

bool TCOMPortDriver::Recover()
{
    // A recovery step whose answer fails too is run again itself.
    if (CurrentBlock == -1)
        return false;
    int first = -1;
    for (int i = 0; i < Commands.Count() && first < 0; ++i)
        if (Commands.GetItem(i).Block == -1)
            first = i;
    if (first < 0)
        return false;
    const int savedBlock = CurrentBlock;
    const int savedCommand = CurrentCommand;
    CurrentBlock = -1;
    CurrentCommand = first;
    while (!RunDataBlock() && m_running.load()) {
    }
    CurrentBlock = savedBlock;
    CurrentCommand = savedCommand;
    return false;
}

void TCOMPortDriver::LogFields()
{
    for (const protocol::TFldInfo& field : Fields) {
        Log(codepage::fromAnsi(field.Name) + QStringLiteral("<:"));
        for (const TResult& value : field.Values)
            Log(QStringLiteral(":>") + value.AsString());
    }
}
