// The analysers' host query on the practice database file written by hand (tressoly.sql, then
// hostquery.sql, through the sqlite3 tool), connected as at start-up: orders and names for a
// sample, and the Hitachi drivers bound to pseudo-terminal pairs answering order queries with
// frames written out by hand (check digits by hand), paced, repeated, and results whose storing
// fails left unacknowledged.
#include "practice_fixture.h"

#include <analysers/comslots.h>
#include <analysers/hitachi911.h>
#include <analysers/hitachi912.h>
#include <analysers/hostquery.h>
#include <app/appglobals.h>
#include <app/documents/workstation_app.h>
#include <app/patients/practicedb.h>
#include <kernel/dbaccess.h>
#include <platform/controlchars.h>
#include <platform/fileops.h>
#include <platform/inifile.h>
#include <platform/serial/serialline.h>
#include <platform/support/globals.h>
#include <support/ptypair.h>

#include <QDir>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

using namespace Qt::StringLiterals;

namespace {

QByteArray blanks(int n)
{
    return QByteArray(n, ' ');
}

QStringList rows(DataSet& table, const QStringList& columns)
{
    QStringList out;
    for (table.first(); !table.eof(); table.next()) {
        QStringList items;
        for (const QString& c : columns)
            items << table.fieldByName(c)->asString();
        out << items.join(u' ');
    }
    return out;
}

// The practice database file with its laboratory side, connected; the workstation service the
// drivers see is the program's.
class HostQuery : public ::testing::Test
{
protected:
    void connect(const QString& more = {})
    {
        w.practice.writeVersionFile();
        w.practice.createDatabase(u".read '" QUORVANE_TEST_DATA "/practice/hostquery.sql'\n"_s +
                                  more);
        ASSERT_TRUE(ConnectDatabase()) << w.ws.operationsLog().toStdString();
        setWorkstationService(&AppWorkstation());
    }
    void TearDown() override
    {
        FreeComPortSlots();
        setWorkstationService(nullptr);
        fileops::resetFaults();
    }

    PracticeWorkstation w;
};

// Each cache's request is gone once the query is over.
void expectRequestsFreed(const TDriver& driver)
{
    const THostQuery& q = *driver.HostQuery;
    for (const TDBCache* cache :
         {q.PatientCache.get(), q.OrderedTests.get(), q.ImportedTests.get()})
        EXPECT_TRUE(cache && !cache->Request());
}

} // namespace

TEST_F(HostQuery, OrdersAndNamesComeFromThePracticeDatabase)
{
    connect();
    auto hitachi = TDriver::New<THitachi911Driver>();
    hitachi->DevCode = 1;
    EXPECT_NO_THROW(hitachi->OpenHostQuery());

    // UREA (5) was imported in state 0 and is not asked again; ALT (12) in state 1 is; GLU (1)
    // was imported for another sample; CREA (7) is another device's.
    hitachi->QueryHost(u"S100"_s);
    THostQuery& q = *hitachi->HostQuery;
    EXPECT_EQ(rows(*q.Orders, {u"NUM"_s, u"CODE"_s}),
              (QStringList{u"1 GLU"_s, u"12 ALT"_s, u"48 AST"_s}));
    EXPECT_EQ(rows(*q.OrderedTests, {u"TEST_INDEX"_s}),
              (QStringList{u"1"_s, u"5"_s, u"12"_s, u"48"_s}));
    EXPECT_EQ(rows(*q.PatientCache, {u"PATIENTS_ID"_s, u"N_OMON"_s}), QStringList{u"31 4711"_s});
    expectRequestsFreed(*hitachi);
    hitachi->DevCode = 2;
    hitachi->QueryHost(u"S100"_s);
    EXPECT_EQ(rows(*q.Orders, {u"NUM"_s, u"CODE"_s}), QStringList{u"7 CREA"_s});

    const struct
    {
        QString sample;
        QString patient;
        QString doctor;
    } names[] = {
        {u"S100"_s, u"Abcdef G.J."_s, u"Xyz U.W."_s},
        {u"S200"_s, u"Legrand"_s, u"Сидоров"_s}, // NOM only; a doctor without a first name
        {u"S300"_s, u"M"_s, QString()},          // PRENOM only; no doctor
        {u"S400"_s, u"Иванова А.П."_s, u"Сидоров"_s},
        {u"S777"_s, QString(), QString()}, // no request carries it
    };
    for (const auto& n : names) {
        hitachi->QueryHost(n.sample);
        QString patient = u"?"_s;
        QString doctor = u"?"_s;
        hitachi->GetPatientName(patient);
        hitachi->GetDoctorName(doctor);
        EXPECT_EQ(patient, n.patient) << n.sample.toStdString();
        EXPECT_EQ(doctor, n.doctor) << n.sample.toStdString();
    }
    EXPECT_TRUE(q.PatientCache->isEmpty() && q.OrderedTests->isEmpty() && q.Orders->isEmpty());

    // Without the practice database the query is a database error.
    setWorkstationService(nullptr);
    EXPECT_THROW(hitachi->QueryHost(u"S100"_s), EDBKernelError);
    EXPECT_THROW(hitachi->OpenHostQuery(), EDBKernelError);
}

TEST_F(HostQuery, AMissingTableRaisesAndEveryRequestIsFreed)
{
    connect(u"drop table DS_RESTESTS;"_s);
    auto hitachi = TDriver::New<THitachi912Driver>();
    EXPECT_ANY_THROW(hitachi->QueryHost(u"S100"_s));
    expectRequestsFreed(*hitachi);
}

namespace {

// Hitachi 911 on COM3 and 912 on COM4, as the program binds them, each pair's far side an
// analyser.
class BoundHitachi : public HostQuery
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(com3.isOpen() && com4.isOpen());
        connect();
        IniFile ini(IniFileName);
        ini.writeString(comOptionsSection(3), u"Device"_s, com3.nearPath());
        ini.writeString(comOptionsSection(4), u"Device"_s, com4.nearPath());
        w.addSource(1, 4, false, false, 0, u"911"_s);
        w.addComSettings(1, 3, true, STX, ETX, -1);
        w.addSource(2, 4, false, false, 0, u"912"_s);
        w.addComSettings(2, 4, true, STX, ETX, -1);
        StartComSources();
        for (const int n : {3, 4}) {
            TCommPortDriver& port = *ComPortSlots[n].Port;
            ASSERT_TRUE(port.Connected());
            port.SetComPortPollingDelay(10);
            port.OnReceiveData = [n](TCommPortDriver*, const char* Data, int Count) {
                ReceiveComData(n, Count, Data);
            };
        }
    }
    QString documents() const { return w.cli(u"SELECT Number, Cfg FROM \"FILES.DB\";"_s); }

    PtyPair com3;
    PtyPair com4;
};

} // namespace

TEST_F(BoundHitachi, OrderAnswersAreTheFramesWrittenOutByHand)
{
    EXPECT_FALSE(w.ws.operationsLog().contains("could not be prepared"));

    const QByteArray answer911 = STX +
                                 (";A1  7105         S100 45311224991030"
                                  "48"
                                  "100010000001" +
                                  QByteArray(35, '0') +
                                  "1"
                                  "11111" +
                                  blanks(30) + "Abcdef G.J." + blanks(14) + "Xyz U.W." +
                                  blanks(12) + "4711" + blanks(11) + blanks(10)) +
                                 ETX + "31" + CR;
    const QByteArray query911 =
        STX + QByteArray(";A1  7105S100          45321224991030") + ETX + "AB" + CR;
    const QByteArray unknown911 = STX +
                                  (";A1  8106         S777 453 1224991030"
                                   "48" +
                                   QByteArray(48, '0') + "11111" + blanks(100)) +
                                  ETX + "90" + CR;
    const QByteArray control911 =
        STX + (";K" + blanks(37) + "48" + QByteArray(48, '0') + "11111" + blanks(100)) + ETX +
        "07" + CR;
    ASSERT_EQ(answer911.size(), 197);
    ASSERT_EQ(control911.size(), 199);

    ScriptedPeer hitachi911(com3);
    hitachi911.write(query911).expect(answer911);
    hitachi911.write(STX + QByteArray("?") + ETX + "3F" + CR).expect(answer911);
    hitachi911.write(STX + QByteArray(";A1  8106S777          45321224991030") + ETX + "C1" + CR)
        .expect(unknown911);
    hitachi911.write(STX + QByteArray(";K1 312QC-1") + ETX + "5F" + CR).expect(control911);
    ASSERT_TRUE(hitachi911.run()) << hitachi911.failure().toStdString();

    const QByteArray answer912 =
        STX +
        (";A1   422111         S100 45311224991030"
         "48"
         "000000100000" +
         QByteArray(36, '0') +
         "111111"
         "Abcdef G.J." +
         blanks(19) + "Xyz U.W." + blanks(17) + "4711" + blanks(16) + blanks(45)) +
        ETX + char(0x56);
    // A name of 31 characters once transliterated is cut to 30.
    const QByteArray cut912 = STX +
                              (";A1   432121         S500 45321224991030"
                               "48" +
                               QByteArray(48, '0') +
                               "111111"
                               "Shahnazarova-chern_shevskaya O"
                               "Xyz U.W." +
                               blanks(17) + "77" + blanks(18) + blanks(45)) +
                              ETX + char(0x51);
    ASSERT_EQ(answer912.size(), 219);
    ASSERT_EQ(cut912.size(), 219);
    ScriptedPeer hitachi912(com4);
    hitachi912
        .write(STX + QByteArray(";A1   422111S100          45321224991030") + ETX + char(0x08))
        .expect(answer912);
    hitachi912
        .write(STX + QByteArray(";A1   432121S500          45321224991030") + ETX + char(0x0E))
        .expect(cut912);
    ASSERT_TRUE(hitachi912.run()) << hitachi912.failure().toStdString();
}

// Two queries in one write: the second answer leaves at least 120 ms after the first, as a
// thread of the analyser's side that stamps each arrival sees.
TEST_F(BoundHitachi, TwoAnswersLeaveAtLeast120MillisecondsApart)
{
    using Clock = std::chrono::steady_clock;
    std::mutex lock;
    std::vector<std::pair<Clock::time_point, QByteArray>> arrivals;
    std::atomic<bool> stop{false};
    std::thread analyser([&] {
        while (!stop) {
            if (!com3.waitFar(20))
                continue;
            const auto at = Clock::now();
            const QByteArray bytes = com3.readFar();
            const std::lock_guard<std::mutex> guard(lock);
            arrivals.emplace_back(at, bytes);
        }
    });
    const QByteArray query =
        STX + QByteArray(";A1  7105S100          45321224991030") + ETX + "AB" + CR;
    const auto asked = Clock::now();
    ASSERT_EQ(com3.writeFar((query + query).constData(), 2 * query.size()), 2 * query.size());
    const auto received = [&] {
        const std::lock_guard<std::mutex> guard(lock);
        qsizetype n = 0;
        for (const auto& a : arrivals)
            n += a.second.size();
        return n;
    };
    EXPECT_TRUE(pumpEventsUntil([&] { return received() >= 2 * 197; }, 10000));
    stop = true;
    analyser.join();

    // When the last byte of the first answer and the first of the second arrived.
    Clock::time_point firstEnd;
    Clock::time_point secondStart;
    qsizetype at = 0;
    for (const auto& [when, bytes] : arrivals) {
        if (at < 197 && at + bytes.size() >= 197)
            firstEnd = when;
        if (at + bytes.size() > 197 && secondStart == Clock::time_point())
            secondStart = when;
        at += bytes.size();
    }
    ASSERT_EQ(at, 2 * 197);
    // The driver writes the first answer after the queries came and waits 120 ms from the moment
    // that write returned, so the second never arrives sooner than 120 ms after the queries were
    // written. (The gap between the two arrivals would also count how late this thread woke for
    // the first one, which a busy machine makes as long as it likes.)
    EXPECT_GE(secondStart - asked, std::chrono::milliseconds(120));
    EXPECT_GT(secondStart, firstEnd);
    EXPECT_LT(secondStart - firstEnd, std::chrono::milliseconds(5000)); // paced, not stalled
}

// Storing fails (the data file cannot take its name): no acknowledgement and no document; the
// analyser sends the result again and it is stored.
TEST_F(BoundHitachi, AResultWhoseStoringFailsIsNotAcknowledgedAndItsResendIsStored)
{
    const QByteArray result911 =
        STX + QByteArray(":A1  7105S100          45321224991030 3 1  5.55  5 12.3  12   0.4 ") +
        ETX + "69" + CR;
    const QByteArray result912 =
        STX + QByteArray(":A1   422111S100          45321224991030OPER01 2 1  5.55 20 7.0  H") +
        ETX + char(0x7B);
    const struct
    {
        PtyPair* pair;
        QByteArray result;
        QByteArray ack;
    } units[] = {{&com3, result911, STX + QByteArray(">") + ETX + "3E" + CR},
                 {&com4, result912, STX + QByteArray(">") + ETX + char(0x3D)}};
    int stored = 0;
    for (const auto& u : units) {
        ScriptedPeer analyser(*u.pair);
        fileops::failNth(fileops::Op::Rename, 1);
        analyser.write(u.result);
        analyser.waitFor([&] { return !QDir(ComBufDir).entryList({u"~buf~-*"_s}).isEmpty(); },
                         u"the result kept aside"_s);
        ASSERT_TRUE(analyser.run()) << analyser.failure().toStdString();
        // The hand-over is over: an acknowledgement would have gone out before it ended.
        EXPECT_EQ(analyser.received() + u.pair->readFar(), QByteArray());
        EXPECT_EQ(documents(), stored == 0 ? QString() : u"1|1"_s);
        for (const QString& kept : QDir(ComBufDir).entryList({u"~buf~-*"_s}))
            QFile::remove(ComBufDir + kept);

        analyser.write(u.result).expect(u.ack);
        ASSERT_TRUE(analyser.run()) << analyser.failure().toStdString();
        ++stored;
    }
    EXPECT_EQ(documents(), u"1|1\n2|2"_s);
}
