// What the analyser fuzz targets share: a workstation that takes every result and shows it to the
// target, and a driver bound to the scripted serial line.
#pragma once

#include <analysers/comdrv.h>
#include <analysers/comslots.h>
#include <analysers/drvmain.h>
#include <analysers/workstation.h>
#include <platform/testing/serialline_fake.h>
#include <support/fuzz_support.h>

#include <functional>
#include <memory>

namespace fuzz {

// Every result handed over is read, shown to `onResult` with its document type, and removed, as
// the registry would move it away.
class Workstation : public WorkstationService
{
public:
    Workstation() { setWorkstationService(this); }
    ~Workstation() override { setWorkstationService(nullptr); }

    int StoreResult(const QString& ResultFile, int, const QString& DocumentType) override
    {
        if (!QFile::exists(ResultFile))
            fail("workstation", QStringLiteral("the result file %1 is missing").arg(ResultFile));
        const QByteArray bytes = readFile(ResultFile);
        QFile::remove(ResultFile);
        if (onResult)
            onResult(bytes, DocumentType);
        return ++stored;
    }
    int AddImportedFile(int, const QString& FileName, int, int, const QString&) override
    {
        fail("workstation", FileName + QStringLiteral(" registered without the hand-over"));
    }
    void RefreshDocuments(int) override {}
    int ReadBFAFile(const QString&, QStringList&) override { return 0; }
    int CurrentPack() const override { return 1; }
    std::optional<SerialSourceRow> SerialSource(int Number) override
    {
        return Number == source.Number ? std::optional(source) : std::nullopt;
    }

    std::function<void(const QByteArray& bytes, const QString& type)> onResult;
    SerialSourceRow source;
    int stored = 0;
};

// A driver of class D on the scripted line, as the serial-source manager binds it.
template <class D> struct BoundDriver
{
    BoundDriver()
    {
        auto owned = std::make_unique<FakeSerialLine>();
        line = owned.get();
        port = std::make_unique<TCommPortDriver>(std::move(owned));
        driver->Port = port.get();
        driver->Number = 5;
        port->Connect();
    }
    void receive(const QByteArray& chunk)
    {
        ReceiveProcOf<D>(*driver, chunk.constData(), int(chunk.size()));
    }

    FakeSerialLine* line = nullptr;
    std::unique_ptr<TCommPortDriver> port;
    std::unique_ptr<D> driver = TDriver::New<D>();
};

} // namespace fuzz
