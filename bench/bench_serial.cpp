// CPU time of the serial port component delivering 1 MiB from a pseudo-terminal pair into
// OnReceiveData, against a plain read loop on the same kind of pair with the same buffer and the
// same polling interval (each tick: ask how many bytes wait, read up to one buffer, hand it on).
// A feeder thread writes the far side; only the receiving thread's CPU time is counted.
#include <analysers/comdrv.h>

#include <QEventLoop>
#include <QFile>
#include <QTimer>
#include <benchmark/benchmark.h>

#include "ratio.h"

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <stdexcept>
#include <sys/ioctl.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace {

constexpr int kTotal = 1 << 20;
constexpr int kPollMs = 1; // the default 50 ms would take half a minute per MiB

double threadCpuSeconds()
{
    timespec ts{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

// A raw pseudo-terminal pair; the far side blocks, so the feeder simply writes.
class Pair
{
public:
    Pair()
    {
        if (::openpty(&m_far, &m_near, nullptr, nullptr, nullptr) < 0)
            throw std::runtime_error("openpty failed");
        termios t{};
        ::tcgetattr(m_near, &t);
        ::cfmakeraw(&t);
        ::tcsetattr(m_near, TCSANOW, &t);
        ::tcgetattr(m_far, &t);
        ::cfmakeraw(&t);
        ::tcsetattr(m_far, TCSANOW, &t);
        char name[128] = {};
        ::ttyname_r(m_near, name, sizeof name);
        m_path = QString::fromLocal8Bit(name);
    }
    ~Pair()
    {
        ::close(m_far);
        ::close(m_near);
    }
    const QString& path() const { return m_path; }

    std::thread feed() const
    {
        return std::thread([fd = m_far] {
            static const QByteArray block(4096, 'q');
            for (int sent = 0; sent < kTotal;) {
                const ssize_t n = ::write(fd, block.constData(), size_t(qMin(4096, kTotal - sent)));
                if (n > 0)
                    sent += int(n);
                else if (n < 0 && errno != EINTR)
                    return;
            }
        });
    }

private:
    int m_far = -1;
    int m_near = -1;
    QString m_path;
};

// The baseline: the same work per tick without the component.
double rawReadLoop(int bufferSize)
{
    Pair pair;
    const int fd =
        ::open(QFile::encodeName(pair.path()).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    QByteArray buffer(bufferSize, '\0');
    qint64 received = 0;
    quint64 sum = 0;
    std::thread feeder = pair.feed();
    const double start = threadCpuSeconds();
    while (received < kTotal) {
        ::poll(nullptr, 0, kPollMs);
        int waiting = 0;
        if (::ioctl(fd, FIONREAD, &waiting) < 0 || waiting <= 0)
            continue;
        const ssize_t n = ::read(fd, buffer.data(), size_t(qMin(waiting, bufferSize)));
        if (n > 0) {
            received += n;
            sum += quint8(buffer.at(0)) + quint8(buffer.at(n - 1));
        }
    }
    const double cpu = threadCpuSeconds() - start;
    benchmark::DoNotOptimize(sum);
    feeder.join();
    ::close(fd);
    return cpu;
}

// The same work driven by a Qt timer, without the component: shows what the event loop itself
// costs per tick, apart from the component's own work.
double timerReadLoop(int bufferSize)
{
    Pair pair;
    const int fd =
        ::open(QFile::encodeName(pair.path()).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    QByteArray buffer(bufferSize, '\0');
    qint64 received = 0;
    quint64 sum = 0;
    QEventLoop loop;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] {
        int waiting = 0;
        if (::ioctl(fd, FIONREAD, &waiting) < 0 || waiting <= 0)
            return;
        const ssize_t n = ::read(fd, buffer.data(), size_t(qMin(waiting, bufferSize)));
        if (n > 0) {
            received += n;
            sum += quint8(buffer.at(0)) + quint8(buffer.at(n - 1));
        }
        if (received >= kTotal)
            loop.quit();
    });
    timer.start(kPollMs);
    std::thread feeder = pair.feed();
    const double start = threadCpuSeconds();
    loop.exec();
    const double cpu = threadCpuSeconds() - start;
    benchmark::DoNotOptimize(sum);
    feeder.join();
    ::close(fd);
    return cpu;
}

double componentDelivery(int bufferSize)
{
    Pair pair;
    TCommPortDriver port;
    port.SetDeviceName(pair.path());
    port.SetComPortInBufSize(quint16(bufferSize));
    port.SetComPortPollingDelay(kPollMs);
    QEventLoop loop;
    qint64 received = 0;
    quint64 sum = 0;
    port.OnReceiveData = [&](TCommPortDriver*, const char* data, int size) {
        received += size;
        sum += quint8(data[0]) + quint8(data[size - 1]);
        if (received >= kTotal)
            loop.quit();
    };
    if (!port.Connect())
        throw std::runtime_error("the port did not open");
    std::thread feeder = pair.feed(); // after Connect, which purges the queues
    const double start = threadCpuSeconds();
    loop.exec();
    const double cpu = threadCpuSeconds() - start;
    benchmark::DoNotOptimize(sum);
    feeder.join();
    port.Disconnect();
    return cpu;
}

// All three measured in turn in every iteration, so they meet the same machine state. The ratio
// that counts is cpu_ratio: the component against the plain read loop.
void BM_DeliverOneMiB(benchmark::State& state)
{
    const int bufferSize = int(state.range(0));
    double raw = 0;
    double timerLoop = 0;
    double component = 0;
    for (auto _ : state) {
        raw += rawReadLoop(bufferSize);
        timerLoop += timerReadLoop(bufferSize);
        const double c = componentDelivery(bufferSize);
        component += c;
        state.SetIterationTime(c);
    }
    const double n = double(state.iterations());
    state.counters["raw_cpu_ms"] = raw / n * 1000;
    state.counters["timer_loop_cpu_ms"] = timerLoop / n * 1000;
    state.counters["component_cpu_ms"] = component / n * 1000;
    state.counters["cpu_ratio"] = raw > 0 ? component / raw : 0;
    state.SetBytesProcessed(qint64(state.iterations()) * kTotal);
    state.SetLabel("input buffer " + std::to_string(bufferSize) + " B, poll " +
                   std::to_string(kPollMs) + " ms");
}

BENCHMARK(BM_DeliverOneMiB)
    ->Arg(2048)
    ->Arg(4096)
    ->Iterations(10)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

} // namespace

BenchProgram benchProgram()
{
    return {.ratios = [](const RatioReporter& r) {
        for (const char* name : {"BM_DeliverOneMiB/2048/iterations:10/manual_time",
                                 "BM_DeliverOneMiB/4096/iterations:10/manual_time"}) {
            if (const double ratio = r.counter(name, "cpu_ratio"); ratio > 0)
                std::printf("%s: component / plain read loop (CPU) = %.2f\n", name, ratio);
        }
    }};
}
