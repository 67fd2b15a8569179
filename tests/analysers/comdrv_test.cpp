// The serial port component: opening and line settings, chunk delivery on the polling timer, the
// pause counter, packets, bounded writes and reads. Over the scripted line, and over a real
// pseudo-terminal pair for a writer thread beside the polling timer. (The line itself, its rates,
// settings and timed-out writes, is tested with the platform.)
#include "driverharness.h"

#include <QCoreApplication>
#include <QScopeGuard>

#include <condition_variable>
#include <mutex>
#include <thread>

namespace {

QByteArray pattern(int size, int seed)
{
    QByteArray b(size, '\0');
    for (int i = 0; i < size; ++i)
        b[i] = char((i * 13 + seed + i / 241) & 0xFF);
    return b;
}

// Records every chunk a port delivers.
struct Chunks
{
    QList<QByteArray> list;

    TComPortReceiveDataEvent handler()
    {
        return [this](TCommPortDriver*, const char* data, int size) {
            list << QByteArray(data, size);
        };
    }
    qsizetype total() const { return joined().size(); }
    QByteArray joined() const { return list.join(); }
};

// A port on the scripted line; `fake` stays valid while `port` lives.
class ComDrvFake : public ::testing::Test
{
protected:
    ComDrvFake()
    {
        auto line = std::make_unique<FakeSerialLine>();
        fake = line.get();
        port = std::make_unique<TCommPortDriver>(std::move(line));
        port->SetComPortPollingDelay(10);
        port->OnReceiveData = chunks.handler();
    }
    SerialLine::Settings applied() const { return fake->appliedSettings().last(); }

    Chunks chunks;
    FakeSerialLine* fake = nullptr;
    std::unique_ptr<TCommPortDriver> port;
};

} // namespace

TEST_F(ComDrvFake, ConnectOpensTheDeviceOfComPortAndSettingsApplyAtOnceWhileOpen)
{
    port->SetComPort(pnCOM3);
    ASSERT_TRUE(port->Connect());
    // 9600 bits per second, 8 data bits, no parity, one stop bit, no flow control; DTR raised, RTS
    // raised, both queues purged.
    EXPECT_EQ(fake->appliedSettings(), QList<SerialLine::Settings>{SerialLine::Settings{}});
    EXPECT_EQ(fake->calls(), (QStringList{u"open /dev/ttyS2"_s, u"settings"_s, u"dtr 1"_s,
                                          u"rts 1"_s, u"flush in out"_s}));
    EXPECT_TRUE(port->Connect()) << "connecting an open port keeps it";
    EXPECT_EQ(fake->openCount(), 1);

    // Each setting is applied once, at once, and the later ones keep the earlier.
    port->SetComPortSpeed(br56000); // a custom rate to the kernel
    port->SetComPortParity(ptMARK);
    port->SetComPortStopBits(sb1HALFBITS);
    EXPECT_EQ(fake->appliedSettings().size(), 1 + 3);
    EXPECT_EQ(applied().baudRate, 56000);
    EXPECT_EQ(applied().stopBits, SerialLine::StopBits::OneAndHalf);

    // Packet sizes above the input buffer double it; port and queue sizes are kept while open.
    port->SetPacketSize(3000);
    EXPECT_EQ(port->ComPortInBufSize(), 6000);
    port->SetPacketSize(-5);
    EXPECT_EQ(port->PacketSize(), -1);
    port->SetComPort(pnCOM4);
    port->SetComPortInBufSize(64);
    EXPECT_EQ(port->ComPort(), pnCOM3);
    EXPECT_EQ(port->ComPortInBufSize(), 6000);
    port->Disconnect();
    EXPECT_FALSE(port->Connected());
    EXPECT_FALSE(fake->isOpen());

    port->SetEnableDTROnOpen(false);
    port->SetComPortHwHandshaking(hhNONE);
    ASSERT_TRUE(port->Connect());
    EXPECT_EQ(fake->devicePath(), u"/dev/ttyS2"_s);
    EXPECT_FALSE(fake->dtr()) << "the terminal raised DTR on open; the port must lower it";
    EXPECT_FALSE(fake->rts());
    port->SetComPortHwHandshaking(hhRTSCTS);
    port->SetComPortSwHandshaking(shXONXOFF);
    EXPECT_TRUE(applied().rtsCtsFlow && applied().xonXoffFlow);
    EXPECT_FALSE(fake->rts()) << "with RTS/CTS the port leaves RTS to the kernel";
}

TEST_F(ComDrvFake, APortThatCannotOpenStaysClosed)
{
    fake->refuseOpen(SerialLine::Error::NotFound);
    EXPECT_FALSE(port->Connect());
    EXPECT_FALSE(port->Connected());
    EXPECT_EQ(port->InputCount(), 65535);
    EXPECT_EQ(port->OutputRoom(), -1);
    EXPECT_FALSE(port->LineSignals());
    EXPECT_EQ(port->SendData("abc", 3), 0);
    EXPECT_FALSE(port->SendChar('x'));
    char buf[4];
    EXPECT_EQ(port->ReadData(buf, 4), 0);
    port->ApplyLineSettings(); // nothing to apply to
    EXPECT_TRUE(fake->calls().isEmpty());
}

// A port that cannot be opened says so once, with its device and the reason, and is tried again
// every few seconds, as a port that hung up is, until it opens (which is logged too).
TEST(ComDrvOpen, APortThatCannotOpenIsLoggedOnceAndTriedAgainUntilItOpens)
{
    const struct
    {
        SerialLine::Error error;
        const char* reason;
    } cases[] = {
        {SerialLine::Error::NotFound, "no such serial device"},
        {SerialLine::Error::AccessDenied, "permission to open the serial device denied"},
        {SerialLine::Error::InUse, "the serial device is in use"},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(k.reason);
        TestWorkspace ws;
        auto line = std::make_unique<FakeSerialLine>();
        FakeSerialLine* fake = line.get();
        TCommPortDriver port(std::move(line));
        port.SetComPort(pnCOM3);
        port.SetDeviceName("/dev/ttyUSB7");
        fake->refuseOpen(k.error);
        EXPECT_FALSE(port.Connect());
        EXPECT_FALSE(port.Connect()); // asked again while it is being tried: no second line
        const QByteArray log = ws.operationsLog();
        EXPECT_EQ(log.count("cannot be opened"), 1) << log.toStdString();
        EXPECT_TRUE(log.contains("COM3 (/dev/ttyUSB7) cannot be opened: " + QByteArray(k.reason)))
            << log.toStdString();
        fake->refuseOpen(SerialLine::Error::NoError);
        EXPECT_TRUE(pumpEventsUntil([&port] { return port.Connected(); }, 10000));
        EXPECT_TRUE(ws.operationsLog().contains("COM3 (/dev/ttyUSB7) is open now"));
        EXPECT_EQ(ws.operationsLog().count("cannot be opened"), 1);
    }
}

// The scripted line, whose first open waits until a second thread has looked at the line (or a
// bound has passed): two callers then meet between "the port is closed" and "open it".
class HeldOpenLine final : public SerialLine
{
public:
    bool open(const QString& devicePath) override
    {
        std::unique_lock lock(m_lock);
        if (m_opens++ == 0) {
            m_holding = true;
            m_changed.notify_all();
            m_changed.wait_for(lock, std::chrono::seconds(10), [this] { return m_looked; });
        }
        lock.unlock();
        return fake.open(devicePath);
    }
    bool isOpen() const override
    {
        if (t_secondCaller) {
            const std::lock_guard lock(m_lock);
            m_looked = true;
            m_changed.notify_all();
        }
        return fake.isOpen();
    }
    // Returns once the first open is being held.
    void waitForHeldOpen()
    {
        std::unique_lock lock(m_lock);
        m_changed.wait(lock, [this] { return m_holding; });
    }

    void close() override { fake.close(); }
    QString devicePath() const override { return fake.devicePath(); }
    bool applySettings(const Settings& settings) override { return fake.applySettings(settings); }
    int bytesWaiting() const override { return fake.bytesWaiting(); }
    int bytesToWrite() const override { return fake.bytesToWrite(); }
    bool flush(bool input, bool output) override { return fake.flush(input, output); }
    qint64 read(char* data, qint64 maxSize) override { return fake.read(data, maxSize); }
    qint64 write(const char* data, qint64 size, int timeoutMs) override
    {
        return fake.write(data, size, timeoutMs);
    }
    bool setDtr(bool on) override { return fake.setDtr(on); }
    bool setRts(bool on) override { return fake.setRts(on); }
    bool modemSignals(ModemSignals* lines) const override { return fake.modemSignals(lines); }
    Error lastError() const override { return fake.lastError(); }

    FakeSerialLine fake;
    // Set on the thread whose look at the line lets the held open go.
    static thread_local bool t_secondCaller;

private:
    mutable std::mutex m_lock;
    mutable std::condition_variable m_changed;
    int m_opens = 0;
    bool m_holding = false;
    mutable bool m_looked = false;
};
thread_local bool HeldOpenLine::t_secondCaller = false;

// The worker's next block and the reopen timer both find the port closed and connect at once: the
// port opens once, both callers are told it is open, and no failure is logged or shown.
TEST(ComDrvOpen, TwoThreadsConnectingAtOnceBothFindThePortOpen)
{
    TestWorkspace ws;
    auto owned = std::make_unique<HeldOpenLine>();
    HeldOpenLine* line = owned.get();
    TCommPortDriver port(std::move(owned));
    std::atomic<bool> first{false};
    std::atomic<bool> second{false};
    std::thread opener([&] { first = port.Connect(); });
    line->waitForHeldOpen();
    std::thread other([&] {
        HeldOpenLine::t_secondCaller = true;
        second = port.Connect();
    });
    opener.join();
    other.join();
    EXPECT_TRUE(first);
    EXPECT_TRUE(second);
    EXPECT_TRUE(port.Connected());
    EXPECT_EQ(line->fake.openCount(), 1);
    EXPECT_EQ(port.ConnectFailure(), SerialLine::Error::NoError);
    EXPECT_FALSE(ws.operationsLog().contains("cannot be opened"))
        << ws.operationsLog().toStdString();
}

TEST_F(ComDrvFake, CheckLineStatusRefusesWritesWhileNoModemLineIsActive)
{
    port->SetCheckLineStatus(true);
    ASSERT_TRUE(port->Connect());
    EXPECT_FALSE(port->LineSignals());
    EXPECT_EQ(port->SendData("abc", 3), 0);
    EXPECT_TRUE(fake->written().isEmpty());
    fake->setModemSignals(SerialLine::Ring);
    EXPECT_EQ(port->LineSignals(), TComLineSignals(lsRING));
    fake->setModemSignals(SerialLine::Dsr);
    EXPECT_EQ(port->SendData("abc", 3), 3);

    // A device that cannot tell its modem lines (a pseudo-terminal) reports none.
    fake->setModemLinesSupported(false);
    EXPECT_FALSE(port->LineSignals());
    EXPECT_EQ(port->SendData("d", 1), 0);
    port->SetCheckLineStatus(false);
    EXPECT_TRUE(port->SendChar('d'));
    EXPECT_EQ(fake->written(), QByteArray("abcd"));
}

TEST_F(ComDrvFake, WritesGoOutInPiecesAndStopWhenRefused)
{
    ASSERT_TRUE(port->Connect());
    const QByteArray data = pattern(100, 1);
    fake->setWriteLimit(3);
    EXPECT_EQ(port->SendData(data.constData(), int(data.size())), 100);
    EXPECT_EQ(fake->written(), data);

    // The room left in the output queue bounds each piece.
    fake->setWriteLimit(-1);
    fake->setOutputQueue(2040);
    EXPECT_EQ(port->OutputRoom(), 8);
    EXPECT_EQ(port->SendData("0123456789", 10), 10);
    EXPECT_EQ(fake->written(), data + "0123456789");

    // A queue fuller than the port's own size leaves no room: nothing goes out.
    port->SetOutputTimeout(20);
    fake->setOutputQueue(3000);
    EXPECT_EQ(port->OutputRoom(), 0);
    EXPECT_EQ(port->SendData("x", 1), 0);
    fake->setOutputQueue(0);
    fake->setWriteLimit(0);
    EXPECT_EQ(port->SendData("xyz", 3), 0);
    EXPECT_FALSE(port->SendChar('x'));
    EXPECT_EQ(fake->written(), data + "0123456789");
}

TEST_F(ComDrvFake, ReadDataTakesWhatArrivesAndThePauseCounterHoldsDelivery)
{
    port->SetInputTimeout(20);
    port->SetComPortInBufSize(64);
    ASSERT_TRUE(port->Connect());
    port->PausePolling(); // keep the timer away while the bytes are fed
    port->PausePolling();
    fake->feed("ABCDE");
    char buf[16] = {};
    EXPECT_EQ(port->ReadData(buf, 3), 3);
    EXPECT_EQ(QByteArray(buf, 3), QByteArray("ABC"));
    EXPECT_EQ(port->ReadData(buf, 10), 2) << "stops after the input time-out";
    EXPECT_EQ(QByteArray(buf, 2), QByteArray("DE"));
    fake->feed("XY");
    port->ContinuePolling();
    pumpEventsFor(5 * port->ComPortPollingDelay());
    EXPECT_TRUE(chunks.list.isEmpty()) << "still paused once";
    EXPECT_EQ(port->InputCount(), 2) << "the bytes wait in the queue";
    port->ContinuePolling();
    ASSERT_TRUE(pumpEventsUntil([&] { return chunks.total() == 2; }, 5000));
    EXPECT_EQ(chunks.list, QList<QByteArray>{"XY"});

    // A message arrives as one chunk; more than the input buffer holds comes in pieces of it.
    const QByteArray longer = pattern(200, 3);
    fake->feed(longer);
    ASSERT_TRUE(pumpEventsUntil([&] { return chunks.total() == 202; }, 5000));
    EXPECT_EQ(chunks.joined(), "XY" + longer);
    EXPECT_EQ(chunks.list.size(), 1 + 4);
    for (const QByteArray& c : chunks.list)
        EXPECT_LE(c.size(), 64);

    // Without a handler the input is still drained.
    port->OnReceiveData = nullptr;
    fake->feed("lost");
    EXPECT_TRUE(pumpEventsUntil([&] { return port->InputCount() == 0; }, 5000));
}

TEST_F(ComDrvFake, AHandlerThatPumpsEventsIsNotEnteredAgain)
{
    int depth = 0;
    int deepest = 0;
    QByteArray seenAfterPumping;
    port->OnReceiveData = [&](TCommPortDriver*, const char* data, int size) {
        ++depth;
        deepest = qMax(deepest, depth);
        chunks.list << QByteArray(data, size);
        if (chunks.list.size() == 1) {
            // The driver reopens the line, then waits (a message box): several poll intervals
            // pass inside the handler, on a freshly started timer.
            port->Disconnect();
            port->Connect();
            fake->feed("second");
            pumpEventsFor(80);
            seenAfterPumping = QByteArray(data, size);
        }
        --depth;
    };
    ASSERT_TRUE(port->Connect());
    fake->feed("first");
    ASSERT_TRUE(pumpEventsUntil([&] { return chunks.list.size() == 2; }, 5000));
    EXPECT_EQ(deepest, 1);
    EXPECT_EQ(seenAfterPumping, QByteArray("first")) << "the chunk in hand was overwritten";
    EXPECT_EQ(chunks.list, (QList<QByteArray>{"first", "second"}));
}

TEST_F(ComDrvFake, PacketsAreCutToSizeAndTheRestWaitsForTheTimeOut)
{
    QList<QByteArray> packets;
    port->OnReceivePacket = [&](TCommPortDriver*, const char* data, int size) {
        packets << QByteArray(data, size);
    };
    port->SetPacketSize(4);
    ASSERT_TRUE(port->Connect());
    fake->feed("ABCDEFGHIJ");
    ASSERT_TRUE(pumpEventsUntil([&] { return packets.size() == 2; }, 5000));
    EXPECT_EQ(packets, (QList<QByteArray>{"ABCD", "EFGH"}));
    // No time-out: the incomplete packet waits for the rest of its bytes.
    fake->feed("KL");
    ASSERT_TRUE(pumpEventsUntil([&] { return packets.size() == 3; }, 5000));
    EXPECT_EQ(packets.last(), QByteArray("IJKL"));
    EXPECT_TRUE(chunks.list.isEmpty()) << "packets do not go to OnReceiveData";

    // With a time-out the rest goes out as a short packet in pass mode ...
    port->SetPacketTimeout(30);
    port->SetPacketMode(pmPass);
    fake->feed("MN");
    ASSERT_TRUE(pumpEventsUntil([&] { return packets.size() == 4; }, 5000));
    EXPECT_EQ(packets.last(), QByteArray("MN"));

    // ... and is dropped in discard mode (in the same tick that would have delivered it).
    port->SetPacketMode(pmDiscard);
    fake->feed("OPQRS");
    ASSERT_TRUE(
        pumpEventsUntil([&] { return packets.size() >= 5 && port->InputCount() == 0; }, 5000));
    EXPECT_EQ(packets.mid(4), QList<QByteArray>{"OPQR"});
}

TEST_F(ComDrvFake, ConnectFromAWorkerThreadPollsOnTheOwnersThread)
{
    std::thread worker([&] { port->Connect(); });
    worker.join();
    ASSERT_TRUE(port->Connected());
    fake->feed("from the line");
    ASSERT_TRUE(pumpEventsUntil([&] { return chunks.total() == 13; }, 5000));
    EXPECT_EQ(chunks.joined(), QByteArray("from the line"));

    std::thread closer([&] { port->Disconnect(); });
    closer.join();
    EXPECT_FALSE(port->Connected());
    QCoreApplication::processEvents(); // the stop reaches the timer; nothing breaks
}

TEST(ComDrvPty, AWorkerWritesWhileTheTimerReceives)
{
    // A port on the near side of a pseudo-terminal pair.
    PtyPair pair;
    ASSERT_TRUE(pair.isOpen()) << pair.errorString().toStdString();
    ScriptedPeer peer{pair};
    Chunks chunks;
    TCommPortDriver port;
    port.SetDeviceName(pair.nearPath());
    port.OnReceiveData = chunks.handler();
    port.SetOutputTimeout(5000);
    ASSERT_TRUE(port.Connect());
    const QByteArray out = pattern(64 * 1024, 5);
    const QByteArray in = pattern(32 * 1024, 6);
    std::atomic<bool> allWritten{true};
    std::atomic<bool> done{false};
    std::thread worker([&] {
        for (int at = 0; at < out.size(); at += 512) {
            if (port.SendData(out.constData() + at, 512) != 512) {
                allWritten = false;
                break;
            }
        }
        done = true;
    });
    for (int at = 0; at < in.size(); at += 1024)
        peer.write(in.mid(at, 1024));
    peer.waitFor(
        [&] { return done && peer.received().size() >= out.size() && chunks.total() >= in.size(); },
        u"both directions"_s, 20000);
    const bool ok = peer.run();
    worker.join();
    ASSERT_TRUE(ok) << peer.failure().toStdString();
    EXPECT_TRUE(allWritten);
    EXPECT_TRUE(peer.received() == out);
    EXPECT_TRUE(chunks.joined() == in);

    // The device is held: a second port cannot connect until this one lets go.
    TCommPortDriver other;
    other.SetDeviceName(pair.nearPath());
    EXPECT_FALSE(other.Connect());
    port.Disconnect();
    EXPECT_TRUE(other.Connect());
}

// The rarer settings as the kernel keeps them on the line: one and a half stop bits go out as
// two; odd, mark and space parity each leave their own bits (see PtyLineSettings).
TEST(ComDrvPty, RareStopBitsAndParitiesReachTheLine)
{
    PtyPair pair;
    ASSERT_TRUE(pair.isOpen()) << pair.errorString().toStdString();
    TCommPortDriver port;
    port.SetDeviceName(pair.nearPath());
    ASSERT_TRUE(port.Connect());
    const struct
    {
        TComPortStopBits stop;
        TComPortParity parity;
        bool two, odd, stick;
    } cases[] = {
        {sb1BITS, ptNONE, false, false, false},  {sb1HALFBITS, ptNONE, true, false, false},
        {sb1BITS, ptODD, false, true, false},    {sb2BITS, ptEVEN, true, false, false},
        {sb1BITS, ptMARK, false, true, true},    {sb1HALFBITS, ptSPACE, true, false, true},
        {sb1HALFBITS, ptMARK, true, true, true}, {sb1BITS, ptNONE, false, false, false},
    };
    for (const auto& c : cases) {
        port.SetComPortStopBits(c.stop);
        port.SetComPortParity(c.parity);
        const PtyLineSettings line = pair.nearSettings();
        EXPECT_EQ(line.twoStopBits, c.two) << int(c.stop) << " " << int(c.parity);
        EXPECT_EQ(line.oddParity, c.odd) << int(c.stop) << " " << int(c.parity);
        EXPECT_EQ(line.stickParity, c.stick) << int(c.stop) << " " << int(c.parity);
        EXPECT_TRUE(line.raw);
    }
}
