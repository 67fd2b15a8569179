// ASTM host queries answered from the practice database file written by hand (tressoly.sql,
// hostquery.sql and the rows below, through the sqlite3 tool): the answer records built by hand,
// and the Elecsys bound to a pseudo-terminal pair answering a scripted analyser by the rules of
// ASTM E1381, the clock moved and the slots' ticks driven by the test. Frames and checksums are
// written out by hand.
#include "practice_fixture.h"

#include <analysers/astmdevices.h>
#include <analysers/comslots.h>
#include <app/documents/workstation_app.h>
#include <app/patients/practicedb.h>
#include <platform/clock.h>
#include <platform/controlchars.h>
#include <platform/inifile.h>
#include <platform/serial/serialline.h>
#include <platform/support/globals.h>
#include <support/ptypair.h>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

// Sample 123: patient 4711, tests 10 and 20 on the Elecsys (device 3), AFP (2) and CEA (6) on
// the Access (4). Sample 456: the same patient, nothing ordered.
const QString Orders =
    u"insert into PATIENTS (PATIENTS_ID, NOM, PRENOM, PATRONYME, NE_LE, N_OMON, MEDECINS_ID, POL)"
    " values (4711, 'MARTIN', 'paul', null, '1970-01-01', 99, 3, 0);"
    "insert into PATDIREC values (10, 4711, 3, '123'), (11, 4711, 3, '456');"
    "insert into DIR_SERV values (10, 20);"
    "insert into LAB_TESTSERV values (20, 110), (20, 111), (20, 112), (20, 113);"
    "insert into LAB_TESTS values (110, 20, 'T4', 3), (111, 10, 'TSH', 3), (112, 6, 'CEA', 4),"
    " (113, 2, 'AFP', 4);"_s;

QByteArray frame(int number, const QByteArray& text)
{
    const QByteArray body = QByteArray::number(number) + text + CR + ETX;
    quint8 sum = 0;
    for (const char c : body)
        sum = quint8(sum + quint8(c));
    return STX + body + QByteArray::number(sum, 16).toUpper().rightJustified(2, '0') + CR + LF;
}

const QByteArray Ack(1, ACK);
const QByteArray Nak(1, NAK);
const QByteArray Enq(1, ENQ);
const QByteArray Eot(1, EOT);

// The answer to the query of sample 123, frame by frame.
const QByteArray Answer1 = "\x02"
                           "1H|\\^&|||QUORVANE\r\x03"
                           "CA\r\n";
const QByteArray Answer2 = "\x02"
                           "2P|1|4711|123\r\x03"
                           "9A\r\n";
const QByteArray Answer3 = "\x02"
                           "3O|1|123|1^50^1|^^^10^0\\^^^20^0|R||||||N||||||||||||||O\r\x03"
                           "56\r\n";
const QByteArray Answer4 = "\x02"
                           "4L|1\r\x03"
                           "3D\r\n";

class AstmQuery : public ::testing::Test
{
protected:
    void connect(const QString& more = {})
    {
        w.practice.writeVersionFile();
        w.practice.createDatabase(u".read '" QUORVANE_TEST_DATA "/practice/hostquery.sql'\n"_s +
                                  Orders + more);
        ASSERT_TRUE(ConnectDatabase()) << w.ws.operationsLog().toStdString();
        setWorkstationService(&AppWorkstation());
    }
    void TearDown() override
    {
        FreeComPortSlots();
        setWorkstationService(nullptr);
    }

    // The query message of a sample, parsed as the driver receives it.
    static void query(TASTMMessage& m, const QByteArray& sample)
    {
        for (const QByteArray& text :
             {QByteArray("H|\\^&"), "Q|1|^" + sample + "^1^50^1||ALL", QByteArray("L|1|N")}) {
            auto record = std::make_unique<TASTMRecord>();
            record->RecType = text[0];
            record->Text = text.mid(1);
            m.AddRecord(std::move(record));
        }
    }
    static QStringList frames(const TASTMMessage& m)
    {
        QStringList out;
        for (const auto& r : m.Records)
            out << QString::fromLatin1(r->RecType + r->Text);
        return out;
    }

    PracticeWorkstation w;
};

} // namespace

TEST_F(AstmQuery, TheAnswerIsBuiltFromTheRecordLayout)
{
    connect();
    const struct
    {
        QString code; // the device
        int devCode;
        QByteArray sample;
        QString order;
    } cases[] = {
        {u"ELX"_s, 3, "123", u"O|1|123|1^50^1|^^^10^0\\^^^20^0|R||||||N||||||||||||||O"_s},
        {u"ELX"_s, 3, "456", u"O|1|456|1^50^1||R||||||N||||||||||||||O"_s},
        {u"ACS"_s, 4, "123", u"O|1|123|1^50^1|^^^AFP^0\\^^^CEA^0|R||||||N||||||||||||||O"_s},
        // No request carries it: no patient; the sample goes back as received (0x81 is no
        // character of windows-1252).
        {u"ELX"_s, 3, "\x81Z", u"O|1|\x81Z|1^50^1||R||||||N||||||||||||||O"_s},
    };
    for (const auto& c : cases) {
        const std::unique_ptr<TDriver> driver = FindDeviceDriver(c.code)->DriverClass();
        auto& astm = dynamic_cast<TASTMDriver&>(*driver);
        astm.DevCode = c.devCode;
        TASTMMessage q(&astm);
        query(q, c.sample);
        TASTMMessage answer(&astm);
        answer.BuildAnswer(q);
        EXPECT_EQ(frames(answer),
                  (QStringList{u"H|\\^&|||QUORVANE"_s,
                               (c.sample.startsWith('\x81') ? u"P|1||"_s : u"P|1|4711|"_s) +
                                   QString::fromLatin1(c.sample),
                               c.order, u"L|1"_s}))
            << c.code.toStdString() << ' ' << c.sample.constData();
    }
    QByteArray bytes;
    TASTMRecord header;
    header.RecType = 'H';
    header.Text = "|\\^&|||QUORVANE";
    header.BuildFrame(0, bytes);
    EXPECT_EQ(bytes, Answer1);
}

namespace {

// The Elecsys (ELX) on COM3, its pair's far side the analyser. The receive errors are kept, as
// the application's error handler would show them.
class BoundElecsys : public AstmQuery
{
protected:
    void bind(const QString& more = {})
    {
        ASSERT_TRUE(com3.isOpen());
        connect(more);
        IniFile(IniFileName).writeString(comOptionsSection(3), u"Device"_s, com3.nearPath());
        w.addSource(1, 4, false, false, 0, u"ELX"_s);
        w.addComSettings(1, 3, true, STX, ETX, -1);
        StartComSources();
        TCommPortDriver& port = *ComPortSlots[3].Port;
        ASSERT_TRUE(port.Connected());
        port.SetComPortPollingDelay(10);
        port.OnReceiveData = [this](TCommPortDriver*, const char* Data, int Count) {
            try {
                ReceiveComData(3, Count, Data);
            } catch (const std::exception& e) {
                errors << exceptionMessage(e);
            }
        };
        driver = dynamic_cast<TElecsys*>(DriverObject(typeid(TElecsys)));
        ASSERT_TRUE(driver);
    }
    // The analyser asks for sample 123; the driver bids with ENQ.
    void ask(ScriptedPeer& peer, const QByteArray& expected = Enq)
    {
        peer.write(Enq).expect(Ack);
        peer.write(frame(1, "H|\\^&")).expect(Ack);
        peer.write(frame(2, "Q|1|^123^1^50^1||ALL")).expect(Ack);
        peer.write(frame(3, "L|1|N")).expect(Ack);
        peer.write(Eot);
        if (!expected.isEmpty())
            peer.expect(expected);
    }
    // Moves the clock and ticks the slots.
    void tickAfter(ScriptedPeer& peer, qint64 ms)
    {
        peer.waitFor(
            [ms] {
                clock::advance(ms);
                TickComPortSlots();
                return true;
            },
            u"a tick after %1 ms"_s.arg(ms));
    }
    // Waits until the driver has taken what was written and is idle.
    void idle(ScriptedPeer& peer)
    {
        peer.waitFor([this] { return driver->State == 0; }, u"the driver idle"_s);
    }
    // Runs the steps; then nothing more came.
    void runQuietly(ScriptedPeer& peer)
    {
        ASSERT_TRUE(peer.run()) << peer.failure().toStdString();
        EXPECT_EQ(describeBytes(peer.received() + com3.readFar()), describeBytes({}));
    }
    QByteArray log() const { return w.ws.operationsLog(); }

    PtyPair com3;
    TElecsys* driver = nullptr;
    QStringList errors;
};

} // namespace

TEST_F(BoundElecsys, TheAnswerGoesOutOneFramePerAckAndFramesAreSentAgain)
{
    bind();
    ScriptedPeer analyser(com3);
    ask(analyser);
    analyser.write(Ack).expect(Answer1).write(Ack).expect(Answer2).write(Ack).expect(Answer3);
    analyser.write(Ack).expect(Answer4).write(Ack).expect(Eot);
    runQuietly(analyser);

    // Frame 2 refused twice, then taken.
    ask(analyser);
    analyser.write(Ack).expect(Answer1).write(Ack).expect(Answer2);
    analyser.write(Nak).expect(Answer2).write(Nak).expect(Answer2);
    analyser.write(Ack).expect(Answer3).write(Ack).expect(Answer4).write(Ack).expect(Eot);
    runQuietly(analyser);

    // Frame 2 refused six times: six sends in all, then EOT.
    ask(analyser);
    analyser.write(Ack).expect(Answer1).write(Ack).expect(Answer2);
    for (int i = 0; i < 5; ++i)
        analyser.write(Nak).expect(Answer2);
    analyser.write(Nak).expect(Eot);
    runQuietly(analyser);
    EXPECT_TRUE(log().contains("refused 6 times"));
    EXPECT_EQ(driver->State, 0);
    EXPECT_TRUE(errors.isEmpty()) << errors.join(u'\n').toStdString();
}

TEST_F(BoundElecsys, SilenceAndAnInterruptEndTheAnswer)
{
    bind();
    ScriptedPeer analyser(com3);
    ask(analyser);
    analyser.write(Ack).expect(Answer1).write(Ack).expect(Answer2);
    tickAfter(analyser, 14999);
    runQuietly(analyser);
    tickAfter(analyser, 1);
    analyser.expect(Eot);
    runQuietly(analyser);
    EXPECT_TRUE(log().contains("no reply to frame 2 within 15 s"));

    // EOT after frame 2: taken as its ACK; EOT, and the two records left are logged.
    ask(analyser);
    analyser.write(Ack).expect(Answer1).write(Ack).expect(Answer2);
    analyser.write(Eot).expect(Eot);
    runQuietly(analyser);
    EXPECT_TRUE(log().contains("2 record(s) left unsent"));

    // No reply to the ENQ for 15 s: EOT.
    ask(analyser);
    tickAfter(analyser, 15000);
    analyser.expect(Eot);
    runQuietly(analyser);
    EXPECT_TRUE(log().contains("no reply to the ENQ within 15 s"));
    EXPECT_EQ(driver->State, 0);
}

TEST_F(BoundElecsys, RefusedBidsWaitAndAreDroppedAfterSix)
{
    bind();
    ScriptedPeer analyser(com3);

    // A NAK to the ENQ: a bid after 10 s, none before.
    ask(analyser);
    analyser.write(Nak);
    idle(analyser);
    tickAfter(analyser, 9999);
    runQuietly(analyser);
    tickAfter(analyser, 1);
    analyser.expect(Enq).write(Ack).expect(Answer1).write(Ack).expect(Answer2);
    analyser.write(Ack).expect(Answer3).write(Ack).expect(Answer4).write(Ack).expect(Eot);
    runQuietly(analyser);

    // An ENQ meets ours: the analyser sends its result, stored; the whole answer after 20 s.
    ask(analyser);
    analyser.write(Enq);
    idle(analyser);
    runQuietly(analyser);
    analyser.write(Enq).expect(Ack);
    analyser.write(frame(1, "H|\\^&")).expect(Ack);
    analyser.write(frame(2, "R|1|^^^10|1.52")).expect(Ack);
    analyser.write(frame(3, "L|1|N")).expect(Ack);
    analyser.write(Eot);
    analyser.waitFor([this] { return w.cli(u"SELECT count(*) FROM \"FILES.DB\";"_s) == u"1"_s; },
                     u"the result stored"_s);
    tickAfter(analyser, 19999);
    runQuietly(analyser);
    tickAfter(analyser, 1);
    analyser.expect(Enq).write(Ack).expect(Answer1).write(Ack).expect(Answer2);
    analyser.write(Ack).expect(Answer3).write(Ack).expect(Answer4).write(Ack).expect(Eot);
    runQuietly(analyser);

    // Six refused bids: the answer is dropped.
    ask(analyser);
    for (int bid = 1; bid < 6; ++bid) {
        analyser.write(Nak);
        idle(analyser);
        tickAfter(analyser, 10000);
        analyser.expect(Enq);
    }
    analyser.write(Nak);
    idle(analyser);
    tickAfter(analyser, 60000);
    runQuietly(analyser);
    EXPECT_TRUE(log().contains("dropped after 6 bids"));
    EXPECT_TRUE(errors.isEmpty()) << errors.join(u'\n').toStdString();
}

TEST_F(BoundElecsys, ADatabaseErrorAnswersNothingAndReachesTheErrorHandler)
{
    bind(u"drop table DS_RESTESTS;"_s);
    ScriptedPeer analyser(com3);
    ask(analyser, {});
    analyser.waitFor([this] { return !errors.isEmpty(); }, u"the error"_s);
    runQuietly(analyser);
    EXPECT_EQ(driver->State, 0);
    EXPECT_TRUE(driver->Message->Records.empty());
    EXPECT_TRUE(driver->Answer == nullptr);
    tickAfter(analyser, 60000);
    runQuietly(analyser);
}
