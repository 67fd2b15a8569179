// The Hitachi 911 and 912 drivers on the scripted line, for what the end-to-end runs cannot show:
// the operator's answers to a value out of range, a result the workstation cannot store, a 912
// answer the line does not take, and the transliteration of names. Frames and check digits are
// written out by hand.
#include "driverharness.h"

#include <analysers/hitachi911.h>
#include <analysers/hitachi912.h>
#include <platform/controlchars.h>
#include <platform/dialogs.h>
#include <support/scoped_dialogs.h>

namespace {

const QByteArray Sample911 = "  7105S100          45321224991030";
// A result of three tests, and the same with DiskNo "X".
const QByteArray Result911 =
    STX + (":A1" + Sample911 + " 3 1  5.55  5 12.3  12   0.4 ") + ETX + "69" + CR;
const QByteArray BadDisk911 =
    STX + QByteArray(":A1  7X05S100          45321224991030 1 1  5.55 ") + ETX + "A0" + CR;
const QByteArray Ack911 = STX + QByteArray(">") + ETX + "3E" + CR;

const QByteArray Result912 = STX +
                             QByteArray(":A1   422111S100          45321224991030OPER01 2 1  "
                                        "5.55 20 7.0  H") +
                             ETX + char(0x7B);
const QByteArray Ack912 = STX + QByteArray(">") + ETX + char(0x3D);
const QByteArray Repeat912 = STX + QByteArray("?") + ETX + char(0x3C);

using Hitachi911 = DriverOnFakeLine<THitachi911Driver>;
using Hitachi912 = DriverOnFakeLine<THitachi912Driver>;

} // namespace

TEST(Hitachi, TranslitWritesCyrillicLettersInLatinOnes)
{
    const struct
    {
        QString text;
        QString latin;
    } cases[] = {
        {u"Щука"_s, u"Shyka"_s},
        {u"ЮЛЯ"_s, u"ULYA"_s},
        {u"ЧЕРНОВ"_s, u"ChERNOV"_s},
        // The letters of two Latin ones, first in the text (the second lower case) and after it.
        {u"Ч Ш Щ Я"_s, u"Ch SH SH YA"_s},
        {u"ч ш щ я"_s, u"ch sh sh ya"_s},
        {u"Ёж ёЖ"_s, u"Eg eG"_s},
        {u"Ъ ы Ь Э"_s, u"_ _ ' E"_s},
        {u"АБВГДЕЖЗИЙКЛМНОПРСТУФХЦ"_s, u"ABVGDEGZIIKLMNOPRSTYFHC"_s},
        {u"Dupont-Érié 12, Мир!"_s, u"Dupont-Érié 12, Mir!"_s},
        {QString(), QString()},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Translit(c.text), c.latin) << c.text.toStdString();
}

// A value out of its range asks the operator: Cancel stores the result without the field, OK
// refuses the frame (911: answered ">" and dumped; 912: asked again with "?").
TEST_F(Hitachi911, TheOperatorRefusesTheFrameOrSkipsTheField)
{
    ScopedScriptedDialogs dialogs;
    dialogs.answerMessage(mrCancel, u"Некорректное значение DiskNo = X"_s, mtError);
    receive(BadDisk911);
    EXPECT_EQ(answers(), Ack911);
    ASSERT_EQ(workstation.handed.size(), 1);
    EXPECT_EQ(workstation.handed[0].bytes,
              "SampleType=Routine sample\r\nSampleClass=1\r\nContainerInfo=31\r\nSampleNo=  "
              "7\r\nPositionNo=05\r\nCode=S100\r\nAgeCnt= 45\r\nAgeUnit=3\r\nSex=2\r\n"
              "Date=24/12/99\r\nTime=10:30\r\n1=5.55\r\n");

    dialogs.answerMessage(mrOk, u"Некорректное значение DiskNo = X"_s);
    receive(BadDisk911);
    EXPECT_EQ(answers(), Ack911);
    EXPECT_EQ(workstation.handed.size(), 1);
    const QStringList dumps = QDir(WorkPath + u"com_buf"_s).entryList({u"!h911_*"_s});
    ASSERT_EQ(dumps.size(), 1);
    EXPECT_EQ(readFileBytes(WorkPath + u"com_buf/"_s + dumps[0]), BadDisk911);
    EXPECT_TRUE(ws.operationsLog().contains(dumps[0].toUtf8()));
}

TEST_F(Hitachi912, TheOperatorRefusesTheFrameOrSkipsTheField)
{
    ScopedScriptedDialogs dialogs;
    QByteArray badCup = Result912;
    badCup[12] = '9';      // SampleCup 9
    badCup.back() ^= 0x08; // '1' ^ '9'
    dialogs.answerMessage(mrCancel, u"Некорректное значение SampleCup = 9"_s);
    receive(badCup);
    EXPECT_EQ(answers(), Ack912);
    ASSERT_EQ(workstation.handed.size(), 1);
    EXPECT_FALSE(workstation.handed[0].bytes.contains("SampleCup"));
    EXPECT_TRUE(
        workstation.handed[0].bytes.contains("cOperatorID=OPER01\r\n1=  5.55\r\n20= 7.0  "));

    dialogs.answerMessage(mrOk, u"Некорректное значение SampleCup = 9"_s);
    receive(badCup);
    EXPECT_EQ(answers(), Repeat912);
    EXPECT_EQ(workstation.handed.size(), 1);
}

// A result the workstation keeps aside is not acknowledged: the analyser sends it again, and the
// second time it is stored and acknowledged.
TEST_F(Hitachi911, AnUnstoredResultIsNotAcknowledged)
{
    workstation.refusals = 1;
    receive(Result911);
    EXPECT_EQ(answers(), QByteArray());
    receive(Result911);
    EXPECT_EQ(answers(), Ack911);
    ASSERT_EQ(workstation.handed.size(), 2);
    EXPECT_EQ(workstation.handed[1].number, 26);
    EXPECT_EQ(workstation.handed[0].bytes, workstation.handed[1].bytes);
    EXPECT_EQ(workstation.refreshed, QList<int>{26});
}

TEST_F(Hitachi912, AnUnstoredResultIsNotAcknowledgedAndAnAnswerNotTakenIsReported)
{
    workstation.refusals = 1;
    receive(Result912);
    EXPECT_EQ(answers(), QByteArray());
    receive(Result912);
    EXPECT_EQ(answers(), Ack912);
    EXPECT_EQ(workstation.refreshed, QList<int>{26});

    // The line takes nothing: the operator is told that ">" did not go out.
    ScopedScriptedDialogs dialogs;
    dialogs.answerMessage(mrOk, u"Ошибка пересылки Host => CU. Frame: MOR."_s, mtError);
    port->SetOutputTimeout(20);
    line->setWriteLimit(0);
    receive(STX + QByteArray(">") + ETX + char(0x3D));
    EXPECT_FALSE(driver->SendChar('>'));
    line->setWriteLimit(-1);
    EXPECT_TRUE(driver->SendChar('>'));
}

// An error of one frame (a test repeated, an order query without the practice database, which
// sends nothing) reaches the caller only once the rest of the chunk is handled.
TEST_F(Hitachi911, AFramesErrorWaitsForTheRestOfTheChunk)
{
    const QByteArray repeated =
        STX + (":A1" + Sample911 + " 2 1  5.55  1  6.66 ") + ETX + "FB" + CR;
    const QByteArray query = STX + (";A1" + Sample911) + ETX + "AB" + CR;
    try {
        receive(repeated + query + Result911);
        ADD_FAILURE() << "no error";
    } catch (const Exception& e) {
        EXPECT_EQ(e.message(), u"Параметр данных 1 уже существует."_s);
    }
    EXPECT_EQ(answers(), Ack911);
    EXPECT_EQ(workstation.handed.size(), 1);
}

// A frame broken off whose dump cannot be written: the error reaches the caller, and the frame
// that broke it off is still read, stored and acknowledged.
TEST_F(Hitachi911, AFailedDumpLosesNotTheFrameAfterIt)
{
    fileops::failNth(fileops::Op::Write, 1, ENOSPC);
    EXPECT_THROW(receive(STX + QByteArray(":A1  7") + Result911), EInOutError);
    EXPECT_EQ(answers(), Ack911);
    ASSERT_EQ(workstation.handed.size(), 1);
    EXPECT_TRUE(workstation.handed[0].bytes.startsWith("SampleType=Routine sample\r\n"));
}
