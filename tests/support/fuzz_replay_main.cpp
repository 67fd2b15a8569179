// Main of the corpus replays: runs a fuzz target over every file of the folders named on the
// command line, without libFuzzer, so that the normal build keeps each seed corpus passing. Each
// input is named before it runs: a target that breaks a promise aborts, and the last name printed
// is the input that did it. The exit status is 1 when no input was found.
#include <QDirIterator>
#include <QFile>

#include <cstdint>
#include <cstdio>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);
extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv);

int main(int argc, char** argv)
{
    LLVMFuzzerInitialize(&argc, &argv);
    int runs = 0;
    for (int i = 1; i < argc; ++i) {
        QDirIterator inputs(QString::fromLocal8Bit(argv[i]), QDir::Files);
        while (inputs.hasNext()) {
            QFile file(inputs.next());
            std::fprintf(stderr, "fuzz replay: %s\n", qPrintable(file.fileName()));
            if (!file.open(QIODevice::ReadOnly))
                return 1;
            const QByteArray bytes = file.readAll();
            LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.constData()),
                                   std::size_t(bytes.size()));
            ++runs;
        }
    }
    std::printf("fuzz replay: %d inputs\n", runs);
    return runs > 0 ? 0 : 1;
}
