// The program itself, started offscreen, asking an ACL 2000 played by script on a pseudo-terminal
// pair named as COM2's device: the whole dialogue of a hand-written protocol file, with a
// time-out, a corrupted answer and its recovery on the way; SIGTERM in the middle of it; and a
// missing protocol file. Every command is expected byte for byte, checksums worked out by hand.
#include "program_folder.h"

#include <platform/controlchars.h>
#include <support/ptypair.h>

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include <iostream>

using namespace Qt::StringLiterals;

namespace {

// Block 0 asks and waits 300 ms for the acknowledgement; block 1 announces and waits for a result;
// block 2 says goodbye; the recovery step resets the analyser.
const QByteArray Protocol = "2\r\n"
                            "1 Header length:001C\r\n"
                            "3 Header length:0034\r\n"
                            "0\r\n"
                            "0 2 3 300\r\n"
                            "0\r\n"
                            "0 :QUERY\r\n"
                            "0 [CR][LF]\r\n"
                            "0\r\n"
                            "0 :ACK[CR][LF]\r\n"
                            "0 [CR][LF]\r\n"
                            "1 2 0 2000\r\n"
                            "0\r\n"
                            "0 :NEXT\r\n"
                            "0 [CR][LF]\r\n"
                            "1 0 0 0\r\n"
                            "0\r\n"
                            "2 2 0 2000\r\n"
                            "0\r\n"
                            "0 !BYE\r\n"
                            "0 [CR][LF]\r\n"
                            "-1 2 3 2000\r\n"
                            "0\r\n"
                            "0 :RESET\r\n"
                            "0 [CR][LF]\r\n"
                            "0\r\n"
                            "0 :ACK[CR][LF]\r\n"
                            "0 [CR][LF]\r\n";

// ":QUERY" CR LF: 58, 139, 224, 293 -> 38 with a carry, 121, 210, 223, 233; 256 - 233 = 0x17.
const QByteArray Query = ":QUERY\r\n17";
// ":ACK" CR LF CR LF: 58, 123, 190, 265 -> 10 with a carry, 24, 34, 47, 57; 256 - 57 = 0xC7.
const QByteArray Acknowledged = ":ACK\r\n\r\nC7";
// ":RESET" CR LF: 58, 140, 209, 292 -> 37 with a carry, 107, 191, 204, 214; 256 - 214 = 0x2A.
const QByteArray Reset = ":RESET\r\n2A";
// ":NEXT" CR LF: 58, 136, 205, 293 -> 38 with a carry, 123, 136, 146; 256 - 146 = 0x6E.
const QByteArray Next = ":NEXT\r\n6E";
// Commands starting with "!" carry no checksum.
const QByteArray Bye = "!BYE\r\n";
// A short record with the sample identifier (Id 25): the waiting step takes any complete answer.
const QByteArray Result = ":SC1201ABCD001C\r\n123456789012ABCDEFGHIJKL25\r\n00";

class ACL2000EndToEnd : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(com2.isOpen()) << com2.errorString().toStdString();
        ASSERT_TRUE(com6.isOpen()) << com6.errorString().toStdString();
    }
    void TearDown() override
    {
        if (HasFailure())
            std::cerr << "program output:\n"
                      << folder.output().toStdString() << "\noperations log:\n"
                      << readFileBytes(folder.work() + u"QUORVANE.LOG"_s).toStdString() << '\n';
    }

    // An "ACX" source on COM2 and a raw capture ending at ETX on COM6; the settings file names
    // both ports' devices (COM2's the pair's unless given).
    void configure(const QString& com2Device = QString())
    {
        folder.prepareTables(
            u"INSERT INTO \"cfg.db\" VALUES (1, 4, 1, 'ACL 2000', 'ACX', 0, 0, 0, NULL);"
            "INSERT INTO \"com.DB\" VALUES (1, 2, 0, 2, 3, -1, 6, 8, 0, 0, 0);"
            "INSERT INTO \"cfg.db\" VALUES (2, 4, 1, 'Other', 'XYZ', 0, 0, 0, NULL);"
            "INSERT INTO \"com.DB\" VALUES (2, 6, 0, 2, 3, -1, 6, 8, 0, 0, 0);"_s);
        folder.writeUsualIni({u"[Options.COM2]"_s,
                              u"Device="_s + (com2Device.isEmpty() ? com2.nearPath() : com2Device),
                              u"[Options.COM6]"_s, u"Device="_s + com6.nearPath()});
    }
    void writeProtocol()
    {
        // Found whatever the case of its folder and name.
        writeFileBytes(folder.dir() + u"protocols/ACL2000.PRT"_s, Protocol);
    }
    int documentCount() const
    {
        return folder.cli(u"SELECT count(*) FROM \"FILES.DB\";"_s).toInt();
    }
    // The far side has received these bytes (and what came before them).
    bool farReceived(ScriptedPeer& peer, const QByteArray& bytes, int ms)
    {
        peer.waitFor([&] { return peer.received().contains(bytes); }, QString(), ms);
        return peer.run();
    }

    ProgramFolder folder;
    PtyPair com2;
    PtyPair com6;
};

} // namespace

TEST_F(ACL2000EndToEnd, DialogueWithTimeOutAndRecoveryRunsToItsEnd)
{
    configure();
    writeProtocol();
    folder.start();
    ScriptedPeer analyser(com2);
    // Silence past the step's time-out: the command again.
    analyser.expect(Query, 30000).expect(Query);
    // A corrupted answer: the recovery command, then the same command again.
    analyser.write(":ACK\r\n\r\nC8").expect(Reset).write(Acknowledged).expect(Query);
    analyser.write(Acknowledged).expect(Next);
    ASSERT_TRUE(analyser.run()) << analyser.failure().toStdString();

    // The waiting step takes bytes from the moment it waits, which the analyser cannot see:
    // the result goes again until the dialogue has moved on.
    bool movedOn = false;
    for (int attempt = 0; attempt < 20 && !movedOn; ++attempt) {
        analyser.write(Result);
        ASSERT_TRUE(analyser.run()) << analyser.failure().toStdString();
        movedOn = farReceived(analyser, Bye, 1000);
    }
    ASSERT_TRUE(movedOn) << "the dialogue did not end; received: "
                         << describeBytes(analyser.received()).toStdString();
    EXPECT_EQ(analyser.received(), Bye) << "nothing after the last command";

    ASSERT_TRUE(folder.waitForTicks(3));
    EXPECT_EQ(documentCount(), 0) << "the driver gives the application no results";
    EXPECT_EQ(folder.process.state(), QProcess::Running);
    EXPECT_FALSE(com2.nearSettings().exclusive) << "the port is closed after the dialogue";
}

TEST_F(ACL2000EndToEnd, TerminationInTheMiddleOfTheDialogueEndsTheProgram)
{
    configure();
    writeProtocol();
    folder.start();
    ScriptedPeer analyser(com2);
    analyser.expect(Query, 30000);
    ASSERT_TRUE(analyser.run()) << analyser.failure().toStdString();

    folder.process.terminate();
    ASSERT_TRUE(folder.process.waitForFinished(3000)) << "the program did not end within 3 s";
    EXPECT_EQ(folder.process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(folder.process.exitCode(), 0);
}

TEST_F(ACL2000EndToEnd, MissingProtocolFileLeavesTheOtherSourcesRunning)
{
    configure();
    folder.start();
    const QByteArray expected =
        u"Serial source 1 (ACX) not started: its driver cannot be made: Protocol file \"%1\" "
        "cannot be read"_s.arg(folder.dir() + u"Protocols/acl2000.prt"_s)
            .toLocal8Bit();
    ASSERT_TRUE(folder.waitFor(
        [&] { return readFileBytes(folder.work() + u"QUORVANE.LOG"_s).contains(expected); }));
    ASSERT_TRUE(folder.waitForTicks(2)) << "start-up did not complete";

    ScriptedPeer capture(com6);
    capture.write(QByteArray("DATA") + ETX);
    capture.waitFor([&] { return documentCount() == 1; }, u"the capture stored"_s, 15000);
    ASSERT_TRUE(capture.run()) << capture.failure().toStdString();
    EXPECT_EQ(readFileBytes(folder.work() + u"buf/1.4"_s), "DATA");
    EXPECT_FALSE(com2.nearSettings().exclusive) << "nothing holds COM2";
}

// COM2's device is not there when the program starts (an adapter plugged in later): its port is
// tried again until it opens, and the dialogue then starts from its first block.
TEST_F(ACL2000EndToEnd, AnAnalyserPluggedInLaterIsAskedFromTheFirstBlock)
{
    const QString later = folder.ws.path(u"com2-later"_s);
    configure(later);
    writeProtocol();
    folder.start();
    const QString log = folder.work() + u"QUORVANE.LOG"_s;
    ASSERT_TRUE(folder.waitFor([&] {
        return readFileBytes(log).contains("COM2 (" + later.toLocal8Bit() + ") cannot be opened");
    }));

    ASSERT_TRUE(QFile::link(com2.nearPath(), later));
    ScriptedPeer analyser(com2);
    analyser.expect(Query, 30000).write(Acknowledged).expect(Next);
    ASSERT_TRUE(analyser.run()) << analyser.failure().toStdString();
    EXPECT_TRUE(folder.waitFor([&] {
        return readFileBytes(log).contains("ACL2000: the port is open now: the dialogue with the "
                                           "analyser starts again from its first block");
    }));
}
