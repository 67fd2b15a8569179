// The command/answer engine over a pseudo-terminal pair, a scripted analyser on its far side: the
// reactions to answers, time-outs, recovery, bytes no step waits for, collected items, Stop in
// each kind of wait, and the communication log line by line.
#include <analysers/cmdengine.h>
#include <support/ptypair.h>
#include <support/workspace.h>

#include <QElapsedTimer>
#include <QFile>

#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>

using namespace Qt::StringLiterals;
using namespace protocol;

namespace {

// Holds the worker in a reaction until the test lets it go.
class Gate
{
public:
    void pass()
    {
        std::unique_lock lock(m_mutex);
        m_entered = true;
        m_cv.wait(lock, [this] { return m_open; });
    }
    void open()
    {
        {
            const std::lock_guard lock(m_mutex);
            m_open = true;
        }
        m_cv.notify_all();
    }
    bool entered()
    {
        const std::lock_guard lock(m_mutex);
        return m_entered;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_cv;
    bool m_entered = false;
    bool m_open = false;
};

// A device of the test's own: an answer ends with LF, a sound one starts with "#", and holds
// "#", a status of two characters and a key of two ("#K3AB" LF). No checksum.
class TestDevice : public TCOMPortDriver
{
public:
    TestDevice(QString file, std::shared_ptr<TCommLog> log)
        : TCOMPortDriver(std::move(file), std::move(log), layout(), {}, u"TEST"_s, 0)
    {
    }
    ~TestDevice() override { Stop(); }
    void setPause(int ms) { ReactionPauseMs = ms; }

    std::atomic<int> checks{0};
    std::atomic<int> specials{0};
    Gate* specialGate = nullptr; // set before Start

protected:
    void AppendChecksum(TResult&) override {}
    void CalcSpecialFields(TActionsList&, TFieldsList&) override
    {
        ++specials;
        if (specialGate)
            specialGate->pass();
    }
    bool IsAnswerComplete(const QByteArray& Data, qsizetype From) override
    {
        return Data.indexOf('\n', From) >= 0;
    }
    void GetDefaultSettings(QString& Text) override { Text.clear(); }
    bool CheckAnswer(const QByteArray& Data) override
    {
        ++checks;
        return Data.startsWith('#');
    }

private:
    static std::vector<TMsgFldInfo> layout()
    {
        return {{"first", {}, 0, "Mark", "", 0, 0, 1},
                {{}, {}, 0, "Status", "", 1, 1, 2},
                {{}, {}, 0, "Key", "", 1, 3, 2}};
    }
};

// Step "A?" CR in block BLOCK, answered by "#OK" LF.
const QByteArray StepA = "BLOCK 1 2 TIMEOUT\n"
                         "0\n"
                         "0 A?[CR]\n"
                         "0\n"
                         "0 #OK[LF]\n";
const QByteArray Ask = "A?\r";
const QByteArray Ok = "#OK\n";

QString answerLines(const QString& expected, const QString& received)
{
    return u"<<<ANSWER:  "_s + expected + u"\r\n<<<REC:     "_s + received + u"\r\n"_s;
}

QStringList blockLines(int block, const QStringList& inside = {})
{
    return QStringList{u"<<DataBlock: [%1] started..."_s.arg(block)} + inside +
           QStringList{u"<<DataBlock: [%1] finished..."_s.arg(block)};
}

class Engine : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(pair.isOpen()) << pair.errorString().toStdString(); }
    void TearDown() override
    {
        gate.open();
        if (engine)
            engine->Stop();
    }

    void load(const QByteArray& protocol)
    {
        const QString file = ws.path(u"engine.prt"_s);
        writeFileBytes(file, protocol);
        engine = TDriver::New<TestDevice>(file, log);
        engine->Port()->SetDeviceName(pair.nearPath());
        engine->Port()->SetComPortPollingDelay(1);
        engine->Port()->SetOutputTimeout(300);
    }
    // Runs the script against the dialogue until its worker has ended.
    void runToTheEnd()
    {
        peer.waitFor([&] { return !engine->Alive(); }, u"the end of the dialogue"_s, 30000);
        ASSERT_TRUE(peer.run()) << peer.failure().toStdString() << "\nlog:\n"
                                << log->Lines().join(u'\n').toStdString();
    }
    bool logHas(const QString& line) const { return log->Lines().contains(line); }
    // Milliseconds Stop takes.
    qint64 timedStop()
    {
        QElapsedTimer stopping;
        stopping.start();
        engine->Stop();
        return stopping.elapsed();
    }

    TestWorkspace ws;
    PtyPair pair;
    ScriptedPeer peer{pair};
    Gate gate;
    std::shared_ptr<TCommLog> log = std::make_shared<TCommLog>();
    std::unique_ptr<TestDevice> engine;
};

const QByteArray Reactions = "9\n"
                             "0 Status:K0\n"
                             "1 Status:K1\n"
                             "2 Status:K2\n"
                             "3 Status:K3\n"
                             "4 Status:K4\n"
                             "5 Status:K5\n"
                             "7 Status:K7\n"
                             "8 Status:K8\n"
                             "1 Key:ZZ\n"
                             "0\n";

struct ReactionCase
{
    const char* name;
    int block;
    QByteArray answer;
    bool goesOn;      // the next step follows; else the step is sent again
    QStringList dump; // the field lines the reaction writes
    int specials = 0; // calls of CalcSpecialFields
};

class EngineReactions : public Engine, public ::testing::WithParamInterface<ReactionCase>
{
};

} // namespace

TEST_P(EngineReactions, AnswerJudgedByTheActions)
{
    const ReactionCase& c = GetParam();
    // A, a step that only writes, and C, so that the port stays open until the analyser has read
    // what was written: opening it again for the next block flushes its queues.
    QByteArray steps = "BLOCK 1 2 5000\n0\n0 A?[CR]\n0\n0 #OK[LF]\n"
                       "BLOCK 1 0 5000\n0\n0 B!\n"
                       "BLOCK 1 2 5000\n0\n0 C?[CR]\n0\n0 #OK[LF]\n";
    steps.replace("BLOCK", QByteArray::number(c.block));
    load(Reactions + steps);
    ASSERT_TRUE(engine->Start());

    peer.expect(Ask).write(c.answer);
    QStringList inside{u"<<<COMMAND: A?[CR]"_s};
    inside += c.dump;
    QString received = BytesToTagText(c.answer);
    if (!c.goesOn) {
        peer.expect(Ask).write(Ok);
        inside << u"<<<COMMAND: A?[CR]"_s;
        received = u"#OK[LF]"_s;
    }
    peer.expect("B!").expect("C?\r").write(Ok);
    runToTheEnd();

    inside << answerLines(u"#OK[LF]"_s, received) << u"<<<COMMAND: B!\r\n"_s
           << u"<<<COMMAND: C?[CR]"_s << answerLines(u"#OK[LF]"_s, u"#OK[LF]"_s);
    QStringList expected;
    for (int block = 0; block <= 2; ++block)
        expected += blockLines(block, block == c.block ? inside : QStringList());
    EXPECT_EQ(log->Lines(), expected);
    EXPECT_EQ(engine->specials.load(), c.specials);
    EXPECT_EQ(engine->checks.load(), 1) << "an answer equal to the expected one is not judged";
    EXPECT_FALSE(engine->Port()->Connected());
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, EngineReactions,
    ::testing::Values(
        ReactionCase{"Kind0InBlock0GoesOn", 0, "#K0AB\n", true, {}},
        // Outside block 0 the reaction pauses and the step runs again; block 0 has no steps.
        ReactionCase{"Kind0LaterPausesAndRepeats", 1, "#K0AB\n", false, {}},
        ReactionCase{"Kind1GoesOn", 0, "#K1AB\n", true, {}},
        ReactionCase{"Kind2DoesNothing", 0, "#K2AB\n", false, {}},
        ReactionCase{"Kind3DumpsAndGoesOn",
                     0,
                     "#K3AB\n",
                     true,
                     {u"Status<:"_s, u":>K3"_s, u"Key<:"_s, u":>AB"_s}},
        ReactionCase{"Kind4Repeats", 0, "#K4AB\n", false, {}},
        // Kind 4 ends the judging at once: the key's kind 1 is never reached.
        ReactionCase{"Kind4EndsTheJudging", 0, "#K4ZZ\n", false, {}},
        ReactionCase{"Kind5DumpsAndRepeats",
                     0,
                     "#K5AB\n",
                     false,
                     {u"Status<:"_s, u":>K5"_s, u"Key<:"_s, u":>AB"_s}},
        // Kind 5 leaves the judging going: a later kind 1 lets the dialogue go on.
        ReactionCase{"Kind5ThenKind1",
                     0,
                     "#K5ZZ\n",
                     true,
                     {u"Status<:"_s, u":>K5"_s, u"Key<:"_s, u":>ZZ"_s}},
        ReactionCase{"Kind7Calculates", 0, "#K7AB\n", false, {}, 1},
        ReactionCase{"Kind8DoesNothing", 0, "#K8AB\n", false, {}},
        ReactionCase{"NoActionMatches", 0, "#XXAB\n", false, {}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Engine, SilencePastTheTimeOutSendsTheStepAgain)
{
    QByteArray steps = StepA;
    load("0\n0\n" + steps.replace("BLOCK", "0").replace("TIMEOUT", "200"));
    ASSERT_TRUE(engine->Start());
    peer.expect(Ask).expect(Ask).write(Ok);
    runToTheEnd();
    EXPECT_EQ(log->Lines(), blockLines(0, {u"<<<COMMAND: A?[CR]"_s, u"<<<!TIMEOUT!>>>"_s,
                                           answerLines(u"#OK[LF]"_s, u"#OK[LF]"_s)}) +
                                blockLines(1) + blockLines(2));
}

// The recovery step answered badly a thousand times runs again each time, never nested: after its
// good answer comes the step that failed, not more recovery.
TEST_F(Engine, RecoveryRunsThenTheFailedStepAgain)
{
    QByteArray steps = StepA;
    load("0\n0\n" + steps.replace("BLOCK", "0").replace("TIMEOUT", "5000") +
         "-1 1 2 5000\n0\n0 R![CR]\n0\n0 #RR[LF]\n");
    ASSERT_TRUE(engine->Start());
    const int badRecoveries = 1000;
    peer.expect(Ask).write("XBAD\n").expect("R!\r");
    for (int i = 0; i < badRecoveries; ++i)
        peer.write("XBAD\n").expect("R!\r");
    peer.write("#RR\n").expect(Ask).write(Ok);
    runToTheEnd();

    const QStringList lines = log->Lines();
    EXPECT_EQ(lines.count(u"<<<COMMAND: R![CR]"_s), badRecoveries + 1);
    EXPECT_EQ(lines.mid(lines.size() - 9),
              QStringList({u"<<<COMMAND: R![CR]"_s, answerLines(u"#RR[LF]"_s, u"#RR[LF]"_s),
                           u"<<<COMMAND: A?[CR]"_s, answerLines(u"#OK[LF]"_s, u"#OK[LF]"_s),
                           u"<<DataBlock: [0] finished..."_s}) +
                  blockLines(1) + blockLines(2));
}

TEST_F(Engine, BytesNoStepWaitsForAreDropped)
{
    QByteArray steps = StepA;
    load("1\n7 Status:K7\n0\n" + steps.replace("BLOCK", "0").replace("TIMEOUT", "5000"));
    engine->specialGate = &gate;
    ASSERT_TRUE(engine->Start());
    // While the reaction runs, the answer is judged: what comes now belongs to no step.
    peer.expect(Ask).write("#K7AB\n");
    peer.waitFor([&] { return gate.entered(); }, u"the reaction"_s);
    peer.write("STRAY");
    peer.waitFor([&] { return engine->DroppedBytes() == 5; }, u"the stray bytes dropped"_s);
    ASSERT_TRUE(peer.run()) << peer.failure().toStdString();
    gate.open();
    peer.expect(Ask).write(Ok);
    runToTheEnd();
    EXPECT_EQ(log->Lines(), blockLines(0, {u"<<<COMMAND: A?[CR]"_s, u"<<<COMMAND: A?[CR]"_s,
                                           answerLines(u"#OK[LF]"_s, u"#OK[LF]"_s)}) +
                                blockLines(1) + blockLines(2));
}

// Items are keyed by the value they are found by: answers with the same key go to one item, which
// leaves the list when an answer completes it, with or without a handler.
class EngineItems : public Engine, public ::testing::WithParamInterface<bool>
{
};

TEST_P(EngineItems, CollectedAndDroppedWhenComplete)
{
    // A block that runs again until Stop.
    load("2\n1 Status:K1\n6 Key:\n0\n0 1 2 5000\n-1\n0 A?[CR]\n0\n0 #OK[LF]\n");
    std::mutex mutex;
    QStringList handed;
    if (GetParam()) {
        engine->OnInformation = [&](TInformation& item) {
            QStringList messages;
            for (const TResult& m : item.Messages)
                messages << QString::fromLatin1(m.Data.trimmed());
            const std::lock_guard lock(mutex);
            handed << QString::fromLatin1(item.Key.Data) + u' ' + messages.join(u',');
        };
    }
    ASSERT_TRUE(engine->Start());
    for (const char* answer : {"#K6AB\n", "#K6CD\n", "#K6AB\n", "#K1AB\n"})
        peer.expect(Ask).write(answer);
    peer.expect(Ask);
    ASSERT_TRUE(peer.run()) << peer.failure().toStdString();
    engine->Stop();

    if (GetParam()) {
        EXPECT_EQ(handed, QStringList({u"AB #K6AB,#K6AB,#K1AB"_s}));
    }
    ASSERT_EQ(engine->Informations.Count(), 1);
    const TInformation& left = engine->Informations.GetItem(0);
    EXPECT_EQ(left.Key.Data, "CD");
    EXPECT_EQ(left.Messages.Count(), 1);
    EXPECT_EQ(engine->Commands.GetItem(0).SendParts.GetItem(0).Counter, 4)
        << "the block ran again after each answer";
}

INSTANTIATE_TEST_SUITE_P(Handler, EngineItems, ::testing::Bool());

TEST_F(Engine, StopEndsAnUnboundedWait)
{
    load("0\n0\n0 0 2 0\n0\n0\n0 #OK[LF]\n");
    ASSERT_TRUE(engine->Start());
    EXPECT_FALSE(engine->Start()) << "a running dialogue is not started again";
    ASSERT_TRUE(pumpEventsUntil([&] { return logHas(u"<<<COMMAND: WAITING DATA"_s); }, 10000));
    EXPECT_LT(timedStop(), 2000);
    EXPECT_FALSE(engine->Alive());
    EXPECT_FALSE(engine->Running());
    EXPECT_FALSE(engine->Port()->Connected());
    EXPECT_EQ(log->Lines(), QStringList({u"<<DataBlock: [0] started..."_s,
                                         u"<<<COMMAND: WAITING DATA"_s, u"<<!STOPED!"_s}));
}

TEST_F(Engine, StopEndsAWriteTheFarSideDoesNotTake)
{
    const QByteArray big(256 * 1024, 'X');
    load("0\n0\n0 1 2 5000\n0\n0 " + big + "\n0\n0 #OK[LF]\n");
    ASSERT_TRUE(engine->Start());
    ASSERT_TRUE(
        pumpEventsUntil([&] { return logHas(u"<<<COMMAND: "_s + QLatin1String(big)); }, 10000));
    EXPECT_LT(timedStop(), 2000);
    EXPECT_FALSE(engine->Alive());
    EXPECT_EQ(log->Lines().last(), u"<<!STOPED!"_s);
}

TEST_F(Engine, StopEndsTheReactionPause)
{
    QByteArray steps = StepA;
    load("1\n0 Status:K0\n0\n" + steps.replace("BLOCK", "1").replace("TIMEOUT", "5000"));
    engine->setPause(600000);
    ASSERT_TRUE(engine->Start());
    peer.expect(Ask).write("#K0AB\n");
    peer.waitFor([&] { return engine->checks.load() == 1; }, u"the answer judged"_s);
    ASSERT_TRUE(peer.run()) << peer.failure().toStdString();
    EXPECT_LT(timedStop(), 2000);
    EXPECT_EQ(log->Lines(),
              blockLines(0) + QStringList({u"<<DataBlock: [1] started..."_s,
                                           u"<<<COMMAND: A?[CR]"_s, u"<<!STOPED!"_s}));
}

TEST_F(Engine, ErrorOnTheWorkerEndsTheDialogue)
{
    load("0\n1\nN:2:x\n0 0 0 100\n0\n");
    ASSERT_TRUE(engine->Start());
    ASSERT_TRUE(pumpEventsUntil(
        [&] {
            return !engine->Alive() &&
                   ws.operationsLog().contains("TEST: the dialogue with the analyser ended on an "
                                               "error at step 1: 'x' is not a valid integer value");
        },
        10000))
        << ws.operationsLog().toStdString();
    EXPECT_EQ(log->Lines(), QStringList({u"<<DataBlock: [0] started..."_s,
                                         u"<<!ERROR! 'x' is not a valid integer value"_s}));
    EXPECT_FALSE(engine->Port()->Connected());
}

TEST_F(Engine, PortThatCannotBeOpenedEndsEachBlockAndStartRunsAgain)
{
    load("0\n0\n0 1 0 100\n0\n0 A\n");
    engine->Port()->SetDeviceName(ws.path(u"no-such-port"_s));
    const QStringList once = blockLines(0, {u"DEVICE NOT CONNECTED"_s}) +
                             blockLines(1, {u"DEVICE NOT CONNECTED"_s}) +
                             blockLines(2, {u"DEVICE NOT CONNECTED"_s});
    for (int run = 1; run <= 2; ++run) {
        ASSERT_TRUE(engine->Start());
        ASSERT_TRUE(pumpEventsUntil([&] { return !engine->Alive(); }, 10000));
        EXPECT_EQ(log->Lines().size(), once.size() * run);
    }
    EXPECT_EQ(log->Lines(), once + once);
}

// A port missing when the dialogue starts ends it at once; once the port's own retries open it,
// the dialogue starts again from its first block, and the operations log says so.
TEST_F(Engine, APortThatAppearsLaterStartsTheDialogueAgain)
{
    QByteArray steps = StepA;
    load("0\n0\n" + steps.replace("BLOCK", "0").replace("TIMEOUT", "5000"));
    const QString device = ws.path(u"com2"_s);
    engine->Port()->SetDeviceName(device);
    ASSERT_TRUE(engine->Start());
    ASSERT_TRUE(pumpEventsUntil([&] { return !engine->Alive(); }, 10000));
    const QStringList missing = blockLines(0, {u"DEVICE NOT CONNECTED"_s}) +
                                blockLines(1, {u"DEVICE NOT CONNECTED"_s}) +
                                blockLines(2, {u"DEVICE NOT CONNECTED"_s});
    ASSERT_EQ(log->Lines(), missing);

    ASSERT_TRUE(QFile::link(pair.nearPath(), device));
    peer.expect(Ask, 15000).write(Ok);
    runToTheEnd();
    EXPECT_EQ(log->Lines(), missing +
                                blockLines(0, {u"<<<COMMAND: A?[CR]"_s,
                                               answerLines(u"#OK[LF]"_s, u"#OK[LF]"_s)}) +
                                blockLines(1) + blockLines(2));
    EXPECT_EQ(ws.operationsLog().count("TEST: the port is open now: the dialogue with the analyser "
                                       "starts again from its first block"),
              1)
        << ws.operationsLog().toStdString();
    EXPECT_FALSE(engine->Port()->Connected());
}

// An answer that keeps growing without completing (a line stuck on NUL) is dropped once it passes
// the limit, and the step goes on as after a time-out: a step that writes writes again, a step
// that waits waits again. The limit is told once per step however often it is reached.
struct OverflowCase
{
    const char* name;
    QByteArray steps;
    QByteArray command; // what the step writes, again after each drop; empty: it only waits
    QString logged;     // the step's first log line
};

class EngineOverflow : public Engine, public ::testing::WithParamInterface<OverflowCase>
{
};

TEST_P(EngineOverflow, AnAnswerPastTheLimitIsDroppedAndTheStepGoesOn)
{
    const OverflowCase& c = GetParam();
    load("0\n0\n" + c.steps);
    ASSERT_TRUE(engine->Start());
    // One byte past the limit of 4096.
    const QByteArray stuck(4097, '\0');
    if (c.command.isEmpty())
        peer.waitFor([&] { return logHas(c.logged); }, u"the step waiting"_s);
    else
        peer.expect(c.command);
    for (const qint64 dropped : {4097, 2 * 4097}) {
        peer.write(stuck).waitFor([this, dropped] { return engine->DroppedBytes() == dropped; },
                                  u"%1 bytes dropped"_s.arg(dropped));
        if (!c.command.isEmpty())
            peer.expect(c.command);
    }
    peer.write(Ok);
    runToTheEnd();
    EXPECT_EQ(log->Lines(), blockLines(0, {c.logged, u"<<<!OVERFLOW!>>>"_s,
                                           answerLines(u"#OK[LF]"_s, u"#OK[LF]"_s)}) +
                                blockLines(1) + blockLines(2));
    EXPECT_EQ(ws.operationsLog().count("TEST: more than 4096 bytes came at step 1 without a "
                                       "complete answer; they were dropped"),
              1)
        << ws.operationsLog().toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Steps, EngineOverflow,
    ::testing::Values(OverflowCase{"Writing", "0 1 2 60000\n0\n0 A?[CR]\n0\n0 #OK[LF]\n", Ask,
                                   u"<<<COMMAND: A?[CR]"_s},
                      OverflowCase{"Waiting", "0 0 2 0\n0\n0\n0 #OK[LF]\n", QByteArray(),
                                   u"<<<COMMAND: WAITING DATA"_s}),
    [](const auto& info) { return std::string(info.param.name); });
