// The program itself, started offscreen, with analysers scripted on pseudo-terminal pairs: a raw
// capture cut by its end byte and by silence on COM6, HMX transfers of 3 and 12 blocks on COM3
// with a damaged block refused and sent again, a Miditron session on COM8, and a passive source
// on COM5 whose port stays closed. Documents are read with sqlite3, data files compared with the
// hand-written files.
#include <app/datatables.h>
#include <app/upgrade.h>
#include <platform/db/localtable.h>
#include <platform/db/sqlitedriver.h>
#include <platform/forms.h>
#include <platform/support/globals.h>
#include <support/ptypair.h>
#include <support/workspace.h>

#include "../platform/db_helpers.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QtEndian>

#include <gtest/gtest.h>

#include <map>

using namespace Qt::StringLiterals;

namespace {

QByteArray fixture(const char* name)
{
    return readFileBytes(QStringLiteral(QUORVANE_TEST_DATA "/analysers/") + QLatin1String(name));
}

// The records of a record file: a 32-bit little-endian count, then each record's length and bytes.
QList<QByteArray> recordsOf(const QByteArray& file)
{
    QList<QByteArray> records;
    const auto int32At = [&](qsizetype at) {
        return qFromLittleEndian<qint32>(file.constData() + at);
    };
    qsizetype at = 4;
    for (qint32 i = 0; i < int32At(0); ++i) {
        const qint32 length = int32At(at);
        records.append(file.mid(at + 4, length));
        at += 4 + length;
    }
    return records;
}

struct Source
{
    int number;
    int state; // 1 active, 2 passive
    QString code;
    int com;
    bool fstx;
    int stx;
    int etx;
    int timeout;
};

class SerialEndToEnd : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_programDir = ws.path(u"program/"_s);
        m_workDir = ws.path(u"work/"_s);
        ASSERT_TRUE(QDir().mkpath(m_programDir) && QDir().mkpath(m_workDir));
        // The program keeps its settings file beside itself: it runs from a copy.
        const QString binary = QStringLiteral(QUORVANE_BINARY_DIR "/quorvane");
        ASSERT_TRUE(QFile::exists(binary)) << "build the program first";
        ASSERT_TRUE(QFile::copy(binary, m_programDir + u"quorvane"_s));
        for (PtyPair* pair : {&com3, &com5, &com6, &com8})
            ASSERT_TRUE(pair->isOpen()) << pair->errorString().toStdString();
    }
    void TearDown() override
    {
        if (m_program.state() != QProcess::NotRunning) {
            m_program.terminate();
            if (!m_program.waitForFinished(15000))
                m_program.kill();
            m_program.waitForFinished(5000);
        }
        if (HasFailure())
            std::cerr
                << "program output:\n"
                << m_program.readAllStandardError().toStdString() << "\noperations log:\n"
                << readFileBytes(m_workDir + u"QUORVANE.LOG"_s).toStdString()
                << "\ncapture folder: "
                << QDir(m_workDir + u"com_buf"_s).entryList(QDir::Files).join(u' ').toStdString()
                << "\ndocuments' folder: "
                << QDir(m_workDir + u"buf"_s).entryList(QDir::Files).join(u' ').toStdString()
                << "\ndocuments: " << documents().toStdString() << '\n';
    }

    // The local tables of a new installation in the working folder's data folder, with the
    // serial sources.
    void configure(const QList<Source>& sources)
    {
        const QString savedDataDir = DataDir;
        DataDir = m_workDir + u"data"_s;
        ASSERT_TRUE(PrepareLocalTables());
        TDataTables* tables = CreateForm<TDataTables>();
        tables->BindTables(DataDir, true);
        LocalTable& cfg = *tables->cfg;
        LocalTable& com = *tables->com;
        cfg.open();
        com.open();
        for (const Source& s : sources) {
            cfg.append();
            cfg.fieldByName(u"Number"_s)->setAsInteger(s.number);
            cfg.fieldByName(u"Type"_s)->setAsInteger(4);
            cfg.fieldByName(u"State"_s)->setAsInteger(s.state);
            cfg.fieldByName(u"Titul"_s)->setAsString(u"Analyser %1"_s.arg(s.number));
            cfg.fieldByName(u"Extension"_s)->setAsString(s.code);
            cfg.fieldByName(u"NeedId"_s)->setAsBoolean(false);
            cfg.fieldByName(u"NeedComment"_s)->setAsBoolean(false);
            cfg.fieldByName(u"Warning"_s)->setAsInteger(0);
            cfg.post();
            com.append();
            com.fieldByName(u"Configuration"_s)->setAsInteger(s.number);
            com.fieldByName(u"Com"_s)->setAsInteger(s.com);
            com.fieldByName(u"FSTX"_s)->setAsBoolean(s.fstx);
            com.fieldByName(u"STX"_s)->setAsInteger(s.stx);
            com.fieldByName(u"ETX"_s)->setAsInteger(s.etx);
            com.fieldByName(u"Timeout"_s)->setAsInteger(s.timeout);
            com.fieldByName(u"Baud Rate"_s)->setAsInteger(6);
            com.fieldByName(u"Data Bits"_s)->setAsInteger(8);
            com.fieldByName(u"Handshaking"_s)->setAsInteger(0);
            com.fieldByName(u"Parity"_s)->setAsInteger(0);
            com.fieldByName(u"Stop Bits"_s)->setAsInteger(0);
            com.post();
        }
        tables->Free();
        DataDir = savedDataDir;
    }

    // The settings file: the working folder, the user (so that no one is asked for), and each
    // port's device.
    void writeSettings()
    {
        QByteArray ini = "[Application]\r\nPath=" + m_workDir.toUtf8() + "\r\nUser=Lab\r\n";
        const std::map<int, PtyPair*> ports{{3, &com3}, {5, &com5}, {6, &com6}, {8, &com8}};
        for (const auto& [n, pair] : ports)
            ini += "[Options.COM" + QByteArray::number(n) +
                   "]\r\nDevice=" + pair->nearPath().toUtf8() + "\r\n";
        writeFileBytes(m_programDir + u"QUORVANE.INI"_s, ini);
    }

    // Starts the program and waits until it holds the ports of the active sources.
    void startProgram(const QList<PtyPair*>& activePorts)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(u"QT_QPA_PLATFORM"_s, u"offscreen"_s);
        env.remove(u"DISPLAY"_s);
        env.remove(u"WAYLAND_DISPLAY"_s);
        m_program.setProcessEnvironment(env);
        m_program.setWorkingDirectory(m_programDir);
        m_program.start(m_programDir + u"quorvane"_s, {});
        ASSERT_TRUE(m_program.waitForStarted(10000)) << m_program.errorString().toStdString();
        const bool opened = pumpEventsUntil(
            [&] {
                if (m_program.state() == QProcess::NotRunning)
                    return true;
                for (PtyPair* pair : activePorts)
                    if (!pair->nearSettings().exclusive)
                        return false;
                return true;
            },
            30000);
        ASSERT_EQ(m_program.state(), QProcess::Running) << "the program ended during start-up";
        ASSERT_TRUE(opened) << "the ports of the active sources were not opened";
    }

    QString cli(const QString& script) const
    {
        return dbtest::sqliteCli(m_workDir + u"data/"_s + sqlitedb::DatabaseFileName, script);
    }
    // "Number|Cfg" of every document, in order.
    QString documents() const
    {
        return cli(u"SELECT Number, Cfg FROM \"FILES.DB\" ORDER BY Number;"_s);
    }
    bool documentCount(int n) const
    {
        return cli(u"SELECT count(*) FROM \"FILES.DB\";"_s) == QString::number(n);
    }
    QByteArray dataFile(int number) const
    {
        return readFileBytes(m_workDir + u"buf/"_s + QString::number(number, 16).toUpper() +
                             u".4"_s);
    }

    TestWorkspace ws;
    PtyPair com3;
    PtyPair com5;
    PtyPair com6;
    PtyPair com8;

private:
    QString m_programDir;
    QString m_workDir;
    QProcess m_program;
};

const QByteArray SYN("\x16");
const QByteArray ACK("\x06");
const QByteArray NAK("\x15");

// A Miditron record and the host's acknowledgement record.
QByteArray miditronRecord(const QByteArray& body, const char* check)
{
    return '\x02' + body + '\x03' + QByteArray(check) + '\r';
}
const QByteArray MiditronAck = miditronRecord(">", "3?");

} // namespace

TEST_F(SerialEndToEnd, AnalysersDeliverDocumentsIntoTheRunningProgram)
{
    configure({
        {1, 1, u"XYZ"_s, 6, false, 0x02, 0x03, 1}, // raw capture, one second of silence
        {2, 1, u"HMX"_s, 3, true, 0x02, 0x03, -1},
        {3, 2, u"XYZ"_s, 5, true, 0x02, 0x03, 1}, // passive
        {4, 1, u"MDT"_s, 8, true, 0x02, 0x03, -1},
    });
    writeSettings();
    startProgram({&com3, &com6, &com8});
    EXPECT_FALSE(com5.nearSettings().exclusive) << "the passive source's port was opened";

    // The passive source's analyser talks to nobody.
    ScriptedPeer passive(com5);
    passive.write("\x02PASSIVE\x03");
    ASSERT_TRUE(passive.run()) << passive.failure().toStdString();

    // Raw capture on COM6: the end byte ends the first document, silence the second.
    ScriptedPeer raw(com6);
    raw.write("FIRST\x03SECOND");
    raw.waitFor([&] { return documentCount(2); }, u"two raw documents"_s, 15000);
    ASSERT_TRUE(raw.run()) << raw.failure().toStdString();
    EXPECT_EQ(dataFile(1), "FIRST");
    EXPECT_EQ(dataFile(2), "SECOND");

    // HMX on COM3: 3 blocks, then 12 with block 5 damaged on the line, refused and sent again.
    ScriptedPeer hmx(com3);
    for (const QByteArray& transfer : {fixture("hmx_3_blocks.4"), fixture("hmx_12_blocks.4")}) {
        hmx.write(SYN).expect(SYN).write(transfer.left(2)).expect(ACK);
        for (qsizetype at = 2, block = 1; at < transfer.size(); at += 264, ++block) {
            if (block == 5 && transfer.size() > 1000) {
                QByteArray damaged = transfer.mid(at, 264);
                damaged[100] = char(damaged[100] ^ 0x01);
                hmx.write(damaged).expect(NAK);
            }
            hmx.write(transfer.mid(at, 264)).expect(ACK);
        }
        hmx.write(SYN).expect(ACK);
    }
    hmx.waitFor([&] { return documentCount(4); }, u"both transfers stored"_s, 15000);
    ASSERT_TRUE(hmx.run()) << hmx.failure().toStdString();
    EXPECT_EQ(dataFile(3), fixture("hmx_3_blocks.4"));
    EXPECT_EQ(dataFile(4), fixture("hmx_12_blocks.4"));

    // Miditron on COM8: two samples, the records of the second in one chunk.
    const QList<QByteArray> sample1 = recordsOf(fixture("miditron_sample_1.4"));
    const QList<QByteArray> sample2 = recordsOf(fixture("miditron_sample_2.4"));
    ASSERT_EQ(sample1.size(), 2);
    ASSERT_EQ(sample2.size(), 2);
    const QByteArray start = miditronRecord("<", "3C");
    ScriptedPeer miditron(com8);
    miditron.write(start).expect(MiditronAck);
    miditron.write(sample1[0]).expect(MiditronAck).write(sample1[1]).expect(MiditronAck);
    miditron.write(start).expect(MiditronAck);
    miditron.write(sample2[0] + sample2[1]).expect(MiditronAck + MiditronAck);
    miditron.write(miditronRecord(":", "3A"));
    miditron.waitFor([&] { return documentCount(6); }, u"both samples stored"_s, 15000);
    ASSERT_TRUE(miditron.run()) << miditron.failure().toStdString();
    EXPECT_EQ(dataFile(5), fixture("miditron_sample_1.4"));
    EXPECT_EQ(dataFile(6), fixture("miditron_sample_2.4"));

    EXPECT_EQ(documents(), u"1|1\n2|1\n3|2\n4|2\n5|4\n6|4"_s) << "nothing from the passive source";
    EXPECT_FALSE(com5.nearSettings().exclusive);
}
