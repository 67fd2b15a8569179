// The program itself, started offscreen, with an ASTM analyser (device code AST) on COM3 played by
// script on a pseudo-terminal pair: result messages stored as documents equal to files written
// by hand, every byte dumped and no dump of an earlier run replaced, a bad checksum refused and
// the frame sent again taken, transmissions restarted, two messages in one session and in one
// write, and a message without results stored as nothing. Documents are read with sqlite3.
#include "program_folder.h"

#include <platform/controlchars.h>
#include <support/ptypair.h>
#include <support/sanitizers.h>

#include <QDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <iostream>

using namespace Qt::StringLiterals;

namespace {

// A frame as the analyser sends it; the checksum is the analyser's business, summed here.
QByteArray frame(int number, const QByteArray& text, char terminator = ETX)
{
    const QByteArray body = QByteArray::number(number % 8) + text + terminator;
    quint8 sum = 0;
    for (const char c : body)
        sum = quint8(sum + quint8(c));
    return STX + body + QByteArray::number(sum, 16).toUpper().rightJustified(2, '0') + CR + LF;
}

QByteArray record(int number, const QByteArray& text)
{
    return frame(number, text + CR);
}

const QByteArray Ack(1, ACK);
const QByteArray Enq(1, ENQ);
const QByteArray Eot(1, EOT);

class AstmEndToEnd : public ::testing::Test
{
protected:
    void TearDown() override
    {
        if (HasFailure())
            std::cerr << "program output:\n"
                      << folder.output().toStdString() << "\noperations log:\n"
                      << log().toStdString() << '\n';
    }

    void start()
    {
        ASSERT_TRUE(com.isOpen()) << com.errorString().toStdString();
        folder.prepareTables(u"INSERT INTO \"cfg.db\" VALUES (1, 4, 1, 'Elecsys', 'AST', 0, 0, 0, "
                             "NULL);"
                             "INSERT INTO \"com.DB\" VALUES (1, 3, 1, 2, 3, -1, 6, 8, 0, 0, 0);"_s);
        folder.writeUsualIni({u"[Options.COM3]"_s, u"Device="_s + com.nearPath()});
        run();
    }
    // Starts the program and waits for its first tick, which comes after the port is open.
    void run()
    {
        const qsizetype before = folder.output().size();
        folder.start();
        ASSERT_TRUE(folder.waitFor([&] {
            return folder.output().indexOf("QUORVANE tick ", before) >= 0 &&
                   com.nearSettings().exclusive;
        })) << "the program did not open the port";
    }

    QByteArray log() const { return readFileBytes(folder.work() + u"QUORVANE.LOG"_s); }
    int documents() const
    {
        return folder.cli(u"SELECT count(*) FROM \"FILES.DB\" WHERE Cfg = 1;"_s).toInt();
    }
    QByteArray dataFile(int number) const
    {
        return readFileBytes(folder.work() + u"buf/%1.4"_s.arg(number, 0, 16));
    }
    // The dumps by number: "klb20_<n>.dat".
    QList<std::pair<int, QByteArray>> dumps() const
    {
        QList<std::pair<int, QByteArray>> out;
        const QDir dir(folder.work() + u"com_buf"_s);
        for (const QString& name : dir.entryList({u"klb20_*.dat"_s}, QDir::Files))
            out.append({name.mid(6, name.size() - 10).toInt(), readFileBytes(dir.filePath(name))});
        std::sort(out.begin(), out.end(),
                  [](const auto& a, const auto& b) { return a.first < b.first; });
        return out;
    }
    // Sends a message H, R, L from frame `first` on, each frame acknowledged.
    void message(ScriptedPeer& peer, int first, const QByteArray& result)
    {
        peer.write(record(first, "H|\\^&")).expect(Ack);
        peer.write(record(first + 1, "R|1|^^^" + result)).expect(Ack);
        peer.write(record(first + 2, "L|1|N")).expect(Ack);
    }
    void waitForDocuments(ScriptedPeer& peer, int n)
    {
        peer.waitFor([this, n] { return documents() == n; }, u"%1 documents"_s.arg(n));
    }

    ProgramFolder folder;
    PtyPair com;
};

QByteArray stored(const QByteArray& result)
{
    return "\x02H|\\^&\x03\x02R|1|^^^" + result + "\x03\x02L|1|N\x03";
}

} // namespace

TEST_F(AstmEndToEnd, AResultMessageBecomesOneDocumentAndEveryByteIsDumped)
{
    SKIP_CHILD_PROCESS_UNDER_THREAD_SANITIZER();
    start();
    // H P O R C L: the P frame cut over two writes, its name holding 0xFF; the R record in two
    // ETB frames, a blank at the joint.
    const QList<QByteArray> sent = {
        Enq,
        record(1, "H|\\^&|||cobas^E170"),
        record(2, "P|1||S1||DUPONT^\xff\xe0"),
        record(3, "O|1|S1||^^^10"),
        frame(4, "R|1|^^^10|1.52|mIU/l|0.27 ", ETB),
        frame(5, "to 4.2|N||F\r"),
        record(6, "C|1|I|hemolysed|G"),
        record(7, "L|1|N"),
        Eot,
    };
    ScriptedPeer analyser(com);
    analyser.write(sent[0]).expect(Ack);
    analyser.write(sent[1]).expect(Ack);
    analyser.write(sent[2].left(9)).write(sent[2].mid(9)).expect(Ack);
    for (int i = 3; i <= 7; ++i)
        analyser.write(sent[i]).expect(Ack);
    analyser.write(sent[8]);
    waitForDocuments(analyser, 1);
    ASSERT_TRUE(analyser.run()) << analyser.failure().toStdString();
    EXPECT_EQ(dataFile(1), QByteArray("\x02H|\\^&|||cobas^E170\x03\x02P|1||S1||DUPONT^\xff\xe0\x03"
                                      "\x02O|1|S1||^^^10\x03\x02R|1|^^^10|1.52|mIU/l|0.27 to "
                                      "4.2|N||F\x03\x02"
                                      "C|1|I|hemolysed|G\x03\x02L|1|N\x03"));

    QByteArray dumped;
    const auto firstRun = dumps();
    for (const auto& d : firstRun)
        dumped += d.second;
    EXPECT_EQ(dumped, sent.join());

    // A second run dumps after the first run's dumps and replaces none.
    folder.process.kill();
    folder.process.waitForFinished();
    run();
    ScriptedPeer again(com);
    again.write(Enq).expect(Ack);
    message(again, 1, "20|7");
    again.write(Eot);
    waitForDocuments(again, 2);
    ASSERT_TRUE(again.run()) << again.failure().toStdString();
    const auto both = dumps();
    ASSERT_GT(both.size(), firstRun.size());
    EXPECT_EQ(both.mid(0, firstRun.size()), firstRun);
    EXPECT_EQ(dataFile(2), stored("20|7"));
}

TEST_F(AstmEndToEnd, RefusedFramesRestartsAndSessionsOfSeveralMessages)
{
    SKIP_CHILD_PROCESS_UNDER_THREAD_SANITIZER();
    start();
    ScriptedPeer analyser(com);

    // A bad checksum is refused and the frame sent again taken; an ENQ in the middle of a
    // message starts it again.
    QByteArray bad = record(1, "H|\\^&");
    bad[bad.size() - 4] = bad[bad.size() - 4] == 'A' ? 'B' : 'A';
    analyser.write(Enq).expect(Ack);
    analyser.write(bad).expect(QByteArray(1, NAK));
    analyser.write(record(1, "H|\\^&")).expect(Ack);
    analyser.write(record(2, "R|1|^^^30|lost")).expect(Ack);
    analyser.write(Enq).expect(Ack);
    message(analyser, 1, "30|1.1");
    analyser.write(Eot);
    waitForDocuments(analyser, 1);

    // "EOT ENQ" in one write: the first message is stored and the second received.
    analyser.write(Enq).expect(Ack);
    message(analyser, 1, "40|2.2");
    analyser.write(Eot + Enq).expect(Ack);
    message(analyser, 1, "50|3.3");
    analyser.write(Eot);
    waitForDocuments(analyser, 3);

    // Two messages in one session; frame numbers run on, 7 to 0 and 1.
    analyser.write(Enq).expect(Ack);
    message(analyser, 1, "60|4.4");
    message(analyser, 4, "70|5.5");
    analyser.write(record(7, "H|\\^&")).expect(Ack);
    analyser.write(record(8, "R|1|^^^80|6.6")).expect(Ack);
    analyser.write(record(9, "L|1|N")).expect(Ack);
    analyser.write(Eot);
    waitForDocuments(analyser, 6);

    // A message without M, Q or R records stores nothing: the next document is the result after
    // it.
    analyser.write(Enq).expect(Ack);
    analyser.write(record(1, "H|\\^&")).expect(Ack);
    analyser.write(record(2, "P|1||S9")).expect(Ack);
    analyser.write(record(3, "L|1|N")).expect(Ack);
    analyser.write(Eot);
    analyser.write(Enq).expect(Ack);
    message(analyser, 1, "90|7.7");
    analyser.write(Eot);
    waitForDocuments(analyser, 7);
    ASSERT_TRUE(analyser.run()) << analyser.failure().toStdString();

    const QByteArray expected[] = {stored("30|1.1"), stored("40|2.2"), stored("50|3.3"),
                                   stored("60|4.4"), stored("70|5.5"), stored("80|6.6"),
                                   stored("90|7.7")};
    for (int n = 1; n <= 7; ++n)
        EXPECT_EQ(dataFile(n), expected[n - 1]) << n;
}
