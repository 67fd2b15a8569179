// The Miditron driver: records cut anywhere and several in one chunk, stored byte for byte as the
// hand-written files say; records that get no answer; the stored sample read back for the viewer;
// damaged files and a failed write. A whole session runs against the program end to end.
#include "driverharness.h"

#include <analysers/miditron.h>
#include <platform/controlchars.h>

#include <QtEndian>

namespace {

QByteArray record(const QByteArray& body, const char* check)
{
    return STX + body + ETX + QByteArray(check) + CR;
}

const QByteArray Answer = record(">", "3?"); // the host's acknowledgement record

const QByteArray start = record("<", "3C");
const QByteArray question = record("?", "3F");
const QByteArray end = record(":", "3A");

// The patient fields: Pat-ID (10), Seq.-NO. (5), Date (8), Time (5), each after a blank.
QByteArray head(const char* patId, const char* seqNo, const char* time)
{
    return QByteArray(" ") + QByteArray(patId).rightJustified(10, ' ') + ' ' + seqNo +
           " 06.12.26 " + time;
}

// The chemistry line: SG and PH (name, value of 11 or 9), eight (name, value, flag of 6) items and
// a last item of 17 that no test reads.
const QByteArray chemistry1 = "SG      1.015"
                              "PH      6.0"
                              "LEU        NEG      "
                              "NITNEG      "
                              "PRO       0.25     *"
                              "GLU        NEG      "
                              "KET        NEG      "
                              "UBG       norm      "
                              "BIL        NEG      "
                              "ERY         50     *"
                              "ASC              NEG";
const QByteArray physical1 = "COLOR        YELLOW"
                             "CLARITY       CLEAR";
const QByteArray chemistry2 = "SG      1.030"
                              "PH      5.0"
                              "LEU         25     *"
                              "NITPOS     *"
                              "PRO        NEG      "
                              "GLU          5     *"
                              "KET        NEG      "
                              "UBG       norm      "
                              "BIL        NEG      "
                              "ERY        NEG      "
                              "ASC              NEG";
const QByteArray physical2 = "COLOR         STRAW"
                             "CLARITY      CLOUDY";

const QByteArray c1 = record(";C" + head("12345678", "00017", "22:10") + ' ' + chemistry1, "5F");
const QByteArray d1 = record(";D" + head("12345678", "00017", "22:10") + ' ' + physical1, "2B");
const QByteArray c2 = record(";C" + head("87654321", "00018", "22:14") + ' ' + chemistry2, "1A");
const QByteArray d2 = record(";D" + head("87654321", "00018", "22:14") + ' ' + physical2, "7C");

QByteArray int32(qint32 v)
{
    const qint32 le = qToLittleEndian(v);
    return QByteArray(reinterpret_cast<const char*>(&le), 4);
}

using MiditronOnLine = DriverOnFakeLine<TMiditronDriver>;

} // namespace

TEST_F(MiditronOnLine, RecordsCutAnywhereAndSeveralInOneChunk)
{
    receive(start.left(2));
    receive(start.mid(2));
    EXPECT_EQ(answers(), Answer);

    // A record in three chunks, the last cut just before its CR.
    receive(c1.left(40));
    receive(c1.mid(40, c1.size() - 41));
    EXPECT_EQ(answers(), QByteArray());
    // The rest of that record, then line noise ending in a CR, then the next record begun.
    receive(c1.right(1) + QByteArray("\xff\x00noise\r", 8) + d1.left(10));
    EXPECT_EQ(answers(), Answer);
    // An unfinished record abandoned for a new one: only the new one counts.
    receive(d2.left(50) + d1.left(10));
    receive(d1.mid(10));
    EXPECT_EQ(answers(), Answer);
    ASSERT_EQ(workstation.handed.size(), 1);
    EXPECT_EQ(workstation.handed.first().bytes, testData(u"analysers/miditron_sample_1.4"_s));

    // A whole sample in one chunk, with the end of the session.
    receive(start + c2 + d2 + end);
    EXPECT_EQ(answers(), Answer + Answer + Answer);
    ASSERT_EQ(workstation.handed.size(), 2);
    EXPECT_EQ(workstation.handed.last().bytes, testData(u"analysers/miditron_sample_2.4"_s));
    EXPECT_EQ(driver->State, 0);
    for (const FakeWorkstation::Handed& h : workstation.handed) {
        EXPECT_EQ(h.file, ComBufDir + u"~buf~.mdt"_s);
        EXPECT_EQ(h.source, 5);
        EXPECT_EQ(h.type, u"mdt"_s);
    }
    EXPECT_EQ(workstation.refreshed, (QList<int>{26, 27}));
    EXPECT_EQ(readFileBytes(BufDir + u"1B.4"_s), testData(u"analysers/miditron_sample_2.4"_s));
}

TEST_F(MiditronOnLine, WhatGetsNoAnswer)
{
    // Waiting for a sample: only "<" is taken.
    receive(c1 + d1 + question + end);
    EXPECT_EQ(answers(), QByteArray());
    EXPECT_EQ(driver->State, 0);
    receive(start);
    EXPECT_EQ(answers(), Answer);

    // A record with one check character too few, one with one too many, one of no known kind.
    QByteArray shortTrailer = c1;
    shortTrailer.remove(shortTrailer.size() - 2, 1);
    QByteArray longTrailer = c1;
    longTrailer.insert(longTrailer.size() - 1, 'x');
    receive(shortTrailer + longTrailer + record(";X 1234567890", "00"));
    // ";A" and ">" are taken without an answer.
    receive(record(";A   12345678", "41") + Answer);
    EXPECT_EQ(answers(), QByteArray());

    // "?" is acknowledged and forgets the sample so far: the stored sample holds ";D" alone.
    receive(c1);
    receive(question);
    receive(d1);
    EXPECT_EQ(answers(), Answer + Answer + Answer);
    ASSERT_EQ(workstation.handed.size(), 1);
    EXPECT_EQ(workstation.handed.first().bytes, int32(1) + int32(d1.size()) + d1);
    EXPECT_EQ(driver->State, 1);

    // A sample that cannot be written is reported and forgotten: the next starts empty.
    receive(c1);
    fileops::failNth(fileops::Op::Write, 1, ENOSPC);
    EXPECT_THROW(receive(d1), EInOutError);
    EXPECT_EQ(workstation.handed.size(), 1);
    receive(c2 + d2);
    ASSERT_EQ(workstation.handed.size(), 2);
    EXPECT_EQ(workstation.handed.last().bytes, testData(u"analysers/miditron_sample_2.4"_s));
}

TEST(MiditronResults, AStoredSampleReadForTheViewerAndTheFirstValueOfAFieldWins)
{
    TestWorkspace ws;
    const QString file = ws.path(u"1A.4"_s);
    writeFileBytes(file, testData(u"analysers/miditron_sample_1.4"_s));
    const auto viewer = TDriver::New<TMiditronDriver>();
    viewer->LoadFromFile(file);
    EXPECT_EQ(viewer->Msg().Records, (QList<QByteArray>{c1, d1}));
    TResInfo holder;
    viewer->GetResults(holder);

    // The patient fields once each, in the order received; the strip lines give no header row.
    EXPECT_EQ(tableRows(holder.Header(), {u"ID"_s, u"NAME"_s, u"VAL"_s, u"CODE"_s}),
              QStringList({u"ID=1 NAME=Pat-ID VAL=12345678 CODE=1"_s,
                           u"ID=2 NAME=Seq.-NO. VAL=00017 CODE=2"_s,
                           u"ID=3 NAME=Date VAL=06.12.26 CODE=3"_s,
                           u"ID=4 NAME=Time VAL=22:10 CODE=4"_s}));
    // A number gets its test's unit, a word does not; flags become the state; the last
    // chemistry item and "CLARITY " (shown as CLEARITY) are cut as the line says.
    EXPECT_EQ(tableRows(holder.Results(),
                        {u"ID"_s, u"CODE"_s, u"LABEL"_s, u"VAL"_s, u"UNIT"_s, u"STATE"_s}),
              QStringList({
                  u"ID=1 CODE=SG LABEL=Плотность VAL=1.015 UNIT=г/см^3 STATE="_s,
                  u"ID=2 CODE=PH LABEL=pH VAL=6.0 UNIT= STATE="_s,
                  u"ID=3 CODE=LEU LABEL=Лейкоциты VAL=NEG UNIT= STATE="_s,
                  u"ID=4 CODE=NIT LABEL=Нитриты VAL=NEG UNIT= STATE="_s,
                  u"ID=5 CODE=PRO LABEL=Белок VAL=0.25 UNIT=г/л STATE=*"_s,
                  u"ID=6 CODE=GLU LABEL=Глюкоза VAL=NEG UNIT= STATE="_s,
                  u"ID=7 CODE=KET LABEL=Кетоны VAL=NEG UNIT= STATE="_s,
                  u"ID=8 CODE=UBG LABEL=Уробилиноген VAL=norm UNIT= STATE="_s,
                  u"ID=9 CODE=BIL LABEL=Билирубин VAL=NEG UNIT= STATE="_s,
                  u"ID=10 CODE=ERY LABEL=Эритроциты VAL=50 UNIT=в мкл STATE=*"_s,
                  u"ID=11 CODE=COLOR LABEL=Цвет VAL=YELLOW UNIT= STATE="_s,
                  u"ID=12 CODE=CLEARITY LABEL=Прозрачность VAL=CLEAR UNIT= STATE="_s,
              }));

    // Two records of different patients: the first value of each patient field wins.
    const QByteArray c = record(";C" + head("111", "00001", "08:00") + ' ' + chemistry2, "00");
    const QByteArray d = record(";D" + head("222", "00002", "09:00") + ' ' + physical2, "00");
    writeFileBytes(file, int32(2) + int32(c.size()) + c + int32(d.size()) + d);
    viewer->LoadFromFile(file);
    TResInfo second;
    viewer->GetResults(second);
    EXPECT_EQ(tableRows(second.Header(), {u"NAME"_s, u"VAL"_s}),
              QStringList({u"NAME=Pat-ID VAL=111"_s, u"NAME=Seq.-NO. VAL=00001"_s,
                           u"NAME=Date VAL=06.12.26"_s, u"NAME=Time VAL=08:00"_s}));
}

TEST(MiditronResults, DamagedFilesAreRefusedClearly)
{
    TestWorkspace ws;
    const auto viewer = TDriver::New<TMiditronDriver>();
    EXPECT_THROW(viewer->LoadFromFile(ws.path(u"missing.4"_s)), EInOutError);

    // A negative count, a record missing, a record longer than the file.
    for (const QByteArray& bytes :
         {int32(-1), int32(2) + int32(c1.size()) + c1, int32(1) + int32(c1.size() + 1) + c1}) {
        writeFileBytes(ws.path(u"damaged.4"_s), bytes);
        try {
            viewer->LoadFromFile(ws.path(u"damaged.4"_s));
            ADD_FAILURE() << "taken: " << describeBytes(bytes.left(8)).toStdString();
        } catch (const Exception& e) {
            EXPECT_TRUE(e.message().contains(u"is damaged"_s)) << e.message().toStdString();
        }
    }

    // Records that are not well-formed are left out with their values; a file of none gives an
    // empty holder.
    const QString file = ws.path(u"none.4"_s);
    writeFileBytes(file, int32(1) + int32(5) + STX + ";C" + ETX + CR);
    EXPECT_FALSE(viewer->Msg().LoadFromFile(file));
    TResInfo holder;
    viewer->GetResults(holder);
    EXPECT_EQ(holder.Header().recordCount(), 0);
    EXPECT_EQ(holder.Results().recordCount(), 0);
}
