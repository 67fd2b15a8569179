// The serial line over a real pseudo-terminal pair (settings read back from the terminal,
// exclusive open, queues, bounded writes, a close that ends a write blocked on another thread) and
// the mapping from a COM port number to its device.
#include <platform/serial/serialline.h>
#include <support/ptypair.h>

#include <QFile>
#include <QHash>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace {

QByteArray pattern(int size, int seed)
{
    QByteArray b(size, '\0');
    for (int i = 0; i < size; ++i)
        b[i] = char((i * 7 + seed + i / 251) & 0xFF);
    return b;
}

// Collects what arrives on the far side until `size` bytes are there (at most five seconds).
QByteArray collectFar(PtyPair& pair, qsizetype size)
{
    QByteArray all;
    pumpEventsUntil(
        [&] {
            all += pair.readFar();
            return all.size() >= size;
        },
        5000);
    return all;
}

// Whether a thread of this process is asleep in the kernel (waiting, not running).
bool threadSleeps(pid_t tid)
{
    QFile stat(QStringLiteral("/proc/self/task/%1/stat").arg(tid));
    if (tid == 0 || !stat.open(QIODevice::ReadOnly))
        return false;
    const QByteArray line = stat.readAll();
    const qsizetype end = line.lastIndexOf(')'); // the state follows the command name
    return end > 0 && line.mid(end + 2, 1) == "S";
}

class SerialLinePty : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(pair.isOpen()) << pair.errorString().toStdString(); }

    PtyPair pair;
    std::unique_ptr<SerialLine> line = SerialLine::createSystemLine();
};

} // namespace

// (The look-up through the program's reader runs in the analyser and program serial tests.)
TEST(SerialDevice, PortMapsToTheIniDeviceOrTheDefault)
{
    const QHash<QString, QString> ini = {{"Options.COM3|Device", "/dev/ttyUSB0"},
                                         {"Options.COM5|Device", "  /dev/ttyACM1 "},
                                         {"Options.COM6|Device", "   "},
                                         {"Options.COM7|Port", "/dev/ttyUSB7"},
                                         {"Options.COM|Device", "/dev/wrong"}};
    const SerialIniReader read = [&](const QString& section, const QString& key) {
        return ini.value(section + QLatin1Char('|') + key);
    };
    // clang-format off
    const std::pair<int, const char*> cases[] = {
        {1, "/dev/ttyS0"}, {3, "/dev/ttyUSB0"}, {4, "/dev/ttyS3"}, {5, "/dev/ttyACM1"},
        {6, "/dev/ttyS5"}, {7, "/dev/ttyS6"}, {16, "/dev/ttyS15"}, {0, ""}, {-1, ""}};
    // clang-format on
    for (const auto& [port, device] : cases)
        EXPECT_EQ(serialDeviceFromIni(port, read), QString::fromLatin1(device)) << port;
    EXPECT_EQ(serialDeviceFromIni(3, SerialIniReader()), "/dev/ttyS2");
}

TEST_F(SerialLinePty, AppliesEveryRateStopBitsAndFlowControl)
{
    ASSERT_TRUE(line->open(pair.nearPath()));
    EXPECT_TRUE(pair.nearSettings().raw);
    for (const int rate :
         {110, 300, 600, 1200, 2400, 4800, 9600, 14400, 19200, 38400, 56000, 57600, 115200}) {
        SerialLine::Settings s;
        s.baudRate = rate;
        ASSERT_TRUE(line->applySettings(s)) << rate;
        EXPECT_EQ(pair.nearSettings().baudRate, rate);
    }
    using S = SerialLine::StopBits;
    for (const auto& [stop, two] :
         {std::pair{S::One, false}, {S::OneAndHalf, true}, {S::Two, true}}) {
        SerialLine::Settings s;
        s.stopBits = stop;
        ASSERT_TRUE(line->applySettings(s));
        EXPECT_EQ(pair.nearSettings().twoStopBits, two) << int(stop);
    }
    SerialLine::Settings flow;
    flow.rtsCtsFlow = true;
    flow.xonXoffFlow = true;
    ASSERT_TRUE(line->applySettings(flow));
    EXPECT_TRUE(pair.nearSettings().rtsCts);
    EXPECT_TRUE(pair.nearSettings().xonXoff);
    EXPECT_TRUE(pair.nearSettings().raw);

    for (const auto& [rate, bits] : {std::pair{0, 8}, {-9600, 8}, {9600, 4}, {9600, 9}}) {
        SerialLine::Settings bad;
        bad.baudRate = rate;
        bad.dataBits = bits;
        EXPECT_FALSE(line->applySettings(bad)) << rate << " " << bits;
        EXPECT_EQ(line->lastError(), SerialLine::Error::InvalidArgument);
        EXPECT_TRUE(pair.nearSettings().rtsCts) << "a refused setting keeps the previous ones";
        EXPECT_EQ(pair.nearSettings().baudRate, 9600);
    }
}

TEST_F(SerialLinePty, CloseGivesBackTheSettingsAndTheDevice)
{
    const PtyLineSettings before = pair.nearSettings();
    EXPECT_FALSE(before.exclusive);
    ASSERT_TRUE(line->open(pair.nearPath()));
    EXPECT_TRUE(pair.nearSettings().exclusive);
    SerialLine::Settings s;
    s.baudRate = 14400;
    s.rtsCtsFlow = true;
    s.stopBits = SerialLine::StopBits::Two;
    ASSERT_TRUE(line->applySettings(s));

    // A second open, by another line object of this program, is refused while the first holds it.
    auto second = SerialLine::createSystemLine();
    EXPECT_FALSE(second->open(pair.nearPath()));
    EXPECT_EQ(second->lastError(), SerialLine::Error::InUse);
    EXPECT_FALSE(second->isOpen());
    EXPECT_FALSE(line->open(pair.nearPath())) << "an open line refuses a second open";
    EXPECT_TRUE(line->isOpen());

    line->close();
    const PtyLineSettings after = pair.nearSettings();
    EXPECT_EQ(after.baudRate, before.baudRate);
    EXPECT_EQ(after.rtsCts, before.rtsCts);
    EXPECT_EQ(after.twoStopBits, before.twoStopBits);
    EXPECT_FALSE(after.exclusive) << "the device must not stay closed to other programs";
    EXPECT_TRUE(second->open(pair.nearPath()));
}

TEST_F(SerialLinePty, RefusesMissingDevicesAndFilesThatAreNoTerminal)
{
    EXPECT_FALSE(line->open("/dev/quorvane-no-such-port"));
    EXPECT_EQ(line->lastError(), SerialLine::Error::NotFound);
    EXPECT_FALSE(line->isOpen());

    QTemporaryDir dir;
    const QString plain = dir.filePath("plain");
    QFile f(plain);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.close();
    EXPECT_FALSE(line->open(plain));
    EXPECT_EQ(line->lastError(), SerialLine::Error::NotSupported);
    EXPECT_FALSE(line->isOpen());
    EXPECT_EQ(line->bytesWaiting(), -1);
    EXPECT_EQ(line->lastError(), SerialLine::Error::NotOpen);
    EXPECT_EQ(line->write("x", 1, 10), 0);
    EXPECT_TRUE(line->open(pair.nearPath())) << "a failed open leaves the line usable";
}

TEST_F(SerialLinePty, ModemLinesRefusedByThePseudoTerminalLeaveTheLineWorking)
{
    ASSERT_TRUE(line->open(pair.nearPath()));
    EXPECT_FALSE(line->setDtr(true));
    EXPECT_EQ(line->lastError(), SerialLine::Error::NotSupported);
    EXPECT_FALSE(line->setRts(false));
    SerialLine::ModemSignals lines = SerialLine::Cts;
    EXPECT_FALSE(line->modemSignals(&lines));
    EXPECT_FALSE(lines);

    EXPECT_TRUE(line->isOpen());
    EXPECT_EQ(line->write("ok", 2, 1000), 2);
    EXPECT_EQ(collectFar(pair, 2), QByteArray("ok"));

    // Reading, the queues and flushing.
    ASSERT_EQ(pair.writeFar("hello", 5), 5);
    ASSERT_TRUE(pumpEventsUntil([&] { return line->bytesWaiting() == 5; }, 5000));
    char buf[16] = {};
    EXPECT_EQ(line->read(buf, 3), 3);
    EXPECT_EQ(QByteArray(buf, 3), QByteArray("hel"));
    EXPECT_EQ(line->bytesWaiting(), 2);
    EXPECT_TRUE(line->flush(true, false));
    EXPECT_EQ(line->bytesWaiting(), 0);
    EXPECT_EQ(line->read(buf, sizeof buf), 0);
    EXPECT_GE(line->bytesToWrite(), 0);

    ASSERT_EQ(pair.writeFar("again", 5), 5);
    ASSERT_TRUE(pumpEventsUntil([&] { return line->bytesWaiting() == 5; }, 5000));
    EXPECT_EQ(line->read(buf, sizeof buf), 5);
    EXPECT_EQ(QByteArray(buf, 5), QByteArray("again"));
}

TEST_F(SerialLinePty, AWriteTheFarSideDoesNotTakeTimesOutWithTheTrueCount)
{
    ASSERT_TRUE(line->open(pair.nearPath()));
    const QByteArray data = pattern(1 << 18, 1);
    const qint64 n = line->write(data.constData(), data.size(), 100);
    EXPECT_GT(n, 0);
    EXPECT_LT(n, data.size());
    EXPECT_EQ(line->lastError(), SerialLine::Error::TimedOut);
    // Exactly the bytes reported went out, in order: a mark written next comes right after them.
    QByteArray got = collectFar(pair, n);
    EXPECT_EQ(line->write("#END", 4, 5000), 4);
    got += collectFar(pair, n + 4 - got.size());
    EXPECT_EQ(got.size(), n + 4);
    EXPECT_TRUE(got == data.left(n) + "#END");
}

TEST_F(SerialLinePty, CloseEndsAWriteBlockedOnAnotherThread)
{
    ASSERT_TRUE(line->open(pair.nearPath()));
    const QByteArray data = pattern(1 << 20, 7);
    qint64 n = -1;
    std::atomic<pid_t> tid = 0;
    std::thread writer([&] {
        tid = gettid();
        n = line->write(data.constData(), data.size(), 60000);
    });
    // The far side takes some bytes, then no more: once the writer sleeps waiting for room, close
    // the line under it.
    QByteArray got = collectFar(pair, 4097);
    EXPECT_TRUE(pumpEventsUntil([&] { return threadSleeps(tid); }, 5000));
    line->close();
    writer.join();
    EXPECT_FALSE(line->isOpen());
    EXPECT_GT(n, 0);
    EXPECT_LT(n, data.size());
    EXPECT_EQ(line->lastError(), SerialLine::Error::NotOpen);
    got += collectFar(pair, n - got.size());
    got += pair.readFar();
    EXPECT_EQ(got.size(), n);
    EXPECT_TRUE(got == data.left(got.size()));
}
