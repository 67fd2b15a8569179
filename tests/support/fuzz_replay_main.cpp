// Main of the corpus replays: runs a fuzz target's LLVMFuzzerTestOneInput over every file of the
// folders (or files) named on the command line, without libFuzzer, so that the normal build keeps
// each seed corpus passing. A file whose run raises, or crashes the program, is named; the exit
// status is 1 when any run failed or no input was found.
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <exception>
#include <unistd.h>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);
extern "C" __attribute__((weak)) int LLVMFuzzerInitialize(int* argc, char*** argv);

namespace {

char currentFile[4096] = "";

// A crash names the input before the program ends as it would have without us.
void onCrash(int signal)
{
    const char head[] = "fuzz replay: crashed on ";
    [[maybe_unused]] ssize_t n = ::write(STDERR_FILENO, head, sizeof head - 1);
    n = ::write(STDERR_FILENO, currentFile, std::strlen(currentFile));
    n = ::write(STDERR_FILENO, "\n", 1);
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

QStringList inputsOf(const QString& path)
{
    const QFileInfo info(path);
    if (!info.isDir())
        return {path};
    QStringList files;
    for (const QFileInfo& f : QDir(path).entryInfoList(QDir::Files, QDir::Name))
        files << f.filePath();
    return files;
}

} // namespace

int main(int argc, char** argv)
{
    if (LLVMFuzzerInitialize)
        LLVMFuzzerInitialize(&argc, &argv);
    for (const int signal : {SIGABRT, SIGSEGV, SIGBUS, SIGFPE, SIGILL})
        std::signal(signal, onCrash);

    int runs = 0;
    int failures = 0;
    for (int i = 1; i < argc; ++i) {
        for (const QString& path : inputsOf(QString::fromLocal8Bit(argv[i]))) {
            std::snprintf(currentFile, sizeof currentFile, "%s", qPrintable(path));
            QFile file(path);
            if (!file.open(QIODevice::ReadOnly)) {
                std::fprintf(stderr, "fuzz replay: cannot read %s\n", currentFile);
                ++failures;
                continue;
            }
            const QByteArray bytes = file.readAll();
            ++runs;
            try {
                LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.constData()),
                                       std::size_t(bytes.size()));
            } catch (const std::exception& e) {
                std::fprintf(stderr, "fuzz replay: %s raised: %s\n", currentFile, e.what());
                ++failures;
            } catch (...) {
                std::fprintf(stderr, "fuzz replay: %s raised\n", currentFile);
                ++failures;
            }
        }
    }
    std::printf("fuzz replay: %d inputs, %d failed\n", runs, failures);
    return failures == 0 && runs > 0 ? 0 : 1;
}
