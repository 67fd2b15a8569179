// Fuzz target: the Hitachi 911 (first byte even) or 912 (odd) driver. The rest is chunks of the
// link; the bits of the first byte from the second on answer the operator's questions in turn
// (1 OK, 0 Cancel). Without a practice database no order answer goes out, so the drivers answer
// with acknowledgements and repeats only, each a whole frame; every result stored is made of
// "name=value" lines; the only errors are the program's own exceptions.
#include "analyser_fuzz.h"

#include <analysers/hitachi911.h>
#include <analysers/hitachi912.h>
#include <platform/controlchars.h>
#include <platform/dialogs.h>
#include <platform/exception.h>

namespace {

class Operator : public DialogService
{
public:
    explicit Operator(std::uint8_t answers) : m_answers(answers >> 1) { setDialogService(this); }
    ~Operator() override { setDialogService(nullptr); }

    int messageDlg(const QString&, TMsgDlgType, TMsgDlgButtons, const QString&) override
    {
        const bool ok = (m_answers >> (m_asked++ % 7)) & 1;
        return ok ? mrOk : mrCancel;
    }
    void showMessage(const QString&) override {}
    bool inputQuery(const QString&, const QString&, QString&) override { return false; }
    QString getOpenFileName(const QString&, const QString&, const QString&) override { return {}; }
    QString getSaveFileName(const QString&, const QString&, const QString&) override { return {}; }
    QString getExistingDirectory(const QString&, const QString&) override { return {}; }
    int showModal(TForm&) override { return mrCancel; }
    void showException(const QString&) override {}
    bool printerSetup(QPrinter&) override { return false; }

private:
    std::uint8_t m_answers;
    int m_asked = 0;
};

template <class D> QByteArray run(const std::uint8_t* data, std::size_t size, const QString& unit)
{
    fuzz::Workstation workstation;
    workstation.onResult = [&unit](const QByteArray& bytes, const QString& type) {
        if (type != unit)
            fuzz::fail("hitachi", QStringLiteral("a result stored as %1").arg(type));
        if (!bytes.endsWith("\r\n") && !bytes.isEmpty())
            fuzz::fail("hitachi", QStringLiteral("a result file without its last line end"));
        for (const QByteArray& line : bytes.split('\n')) {
            if (!line.isEmpty() && !line.contains('='))
                fuzz::fail("hitachi", QStringLiteral("a result line without \"=\""));
        }
    };
    fuzz::BoundDriver<D> hitachi;
    if constexpr (std::is_same_v<D, THitachi911Driver>)
        hitachi.driver->SetPacing(0);
    fuzz::forEachChunk(data, size, [&](const QByteArray& chunk) {
        try {
            hitachi.receive(chunk);
        } catch (const Exception&) {
            // A repeated test, or an order query without the practice database.
        }
    });
    return hitachi.line->written();
}

// Whether the bytes are whole copies of the frames allowed, one after another.
bool onlyFrames(QByteArray bytes, const QList<QByteArray>& frames)
{
    while (!bytes.isEmpty()) {
        const auto it = std::find_if(frames.begin(), frames.end(),
                                     [&](const QByteArray& f) { return bytes.startsWith(f); });
        if (it == frames.end())
            return false;
        bytes.remove(0, it->size());
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const fuzz::Scratch scratch;
    if (size < 1)
        return 0;
    scratch.clear();
    size = std::min<std::size_t>(size, 64 * 1024);
    const Operator answering(data[0]);
    if (data[0] & 1) {
        const QByteArray answers =
            run<THitachi912Driver>(data + 1, size - 1, QStringLiteral("912"));
        if (!onlyFrames(answers, {STX + QByteArray(">") + ETX + char(0x3D),
                                  STX + QByteArray("?") + ETX + char(0x3C)}))
            fuzz::fail("hitachi", QStringLiteral("912 answered other than > and ?"));
    } else {
        const QByteArray answers =
            run<THitachi911Driver>(data + 1, size - 1, QStringLiteral("911"));
        if (!onlyFrames(answers, {STX + QByteArray(">") + ETX + "3E" + CR}))
            fuzz::fail("hitachi", QStringLiteral("911 answered other than >"));
    }
    return 0;
}
