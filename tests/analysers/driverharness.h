// What the capture and protocol driver tests share: a workstation that records the results handed
// to it (and can refuse them), ports routed to pseudo-terminal pairs, a driver answering on the
// scripted line, and a table's rows as text. Whole sessions over pseudo-terminal pairs are played
// against the running program in the end-to-end tests.
#pragma once

#include <analysers/comdrv.h>
#include <analysers/comslots.h>
#include <analysers/drvmain.h>
#include <analysers/workstation.h>
#include <platform/fileops.h>
#include <platform/inifile.h>
#include <platform/serial/serialline.h>
#include <platform/support/globals.h>
#include <platform/testing/serialline_fake.h>
#include <support/ptypair.h>
#include <support/workspace.h>

#include <QDir>
#include <gtest/gtest.h>

#include <map>
#include <memory>

using namespace Qt::StringLiterals;

// Plays the workstation application. A result handed over is numbered from 26 and moved to its
// document's data file; while `refusals` is above 0 it is refused instead, as a locked documents
// table would refuse it.
class FakeWorkstation : public WorkstationService
{
public:
    struct Handed
    {
        QString file;
        int source = 0;
        QString type;
        QByteArray bytes; // the file's contents when it was handed over
        int number = 0;   // 0 when refused
    };

    FakeWorkstation() { setWorkstationService(this); }
    ~FakeWorkstation() override { setWorkstationService(nullptr); }

    int StoreResult(const QString& ResultFile, int SourceNumber,
                    const QString& DocumentType) override
    {
        Handed h{ResultFile, SourceNumber, DocumentType, readFileBytes(ResultFile), 0};
        if (refusals > 0) {
            --refusals;
            KeepUnstoredResult(ResultFile, QStringLiteral("the documents table is locked"));
        } else {
            h.number = next++;
            QString error;
            EXPECT_TRUE(QDir().mkpath(BufDir));
            EXPECT_TRUE(fileops::move(ResultFile, SerialDocumentFileName(h.number), &error))
                << error.toStdString();
        }
        handed.append(h);
        return h.number;
    }
    int AddImportedFile(int, const QString& FileName, int, int, const QString&) override
    {
        ADD_FAILURE() << "a driver registered " << FileName.toStdString()
                      << " without the one hand-over";
        return 0;
    }
    void RefreshDocuments(int Number) override { refreshed.append(Number); }
    int ReadBFAFile(const QString&, QStringList&) override { return 0; }
    int CurrentPack() const override { return 7; }

    QList<Handed> handed;
    QList<int> refreshed;
    int refusals = 0;
    int next = 26;
};

// Points the slots' ports at the pairs' near sides: COM n at pairs[n], as key "Device" of section
// "Options.COM<n>" in the program's INI file (IniFileName).
inline void routePorts(const std::map<int, PtyPair*>& pairs)
{
    IniFile ini(IniFileName);
    for (const auto& [n, pair] : pairs)
        ini.writeString(comOptionsSection(n), u"Device"_s, pair->nearPath());
}

// A driver of class D answering on the scripted line; the tests hand it chunks themselves, cut
// exactly where they want them. The line is never polled.
template <class D> class DriverOnFakeLine : public ::testing::Test
{
protected:
    DriverOnFakeLine()
    {
        auto owned = std::make_unique<FakeSerialLine>();
        line = owned.get();
        port = std::make_unique<TCommPortDriver>(std::move(owned));
        driver->Port = port.get();
        driver->Number = 5;
    }
    void SetUp() override
    {
        ASSERT_TRUE(QDir().mkpath(ComBufDir));
        ASSERT_TRUE(QDir().mkpath(BufDir));
        ASSERT_TRUE(port->Connect());
    }
    void TearDown() override { fileops::resetFaults(); }

    // Hands the chunk to the driver through its receive procedure.
    void receive(const QByteArray& chunk)
    {
        ReceiveProcOf<D>(*driver, chunk.constData(), int(chunk.size()));
    }
    // What the driver has answered since the last call.
    QByteArray answers()
    {
        const QByteArray all = line->written();
        const QByteArray fresh = all.mid(m_seen);
        m_seen = all.size();
        return fresh;
    }

    TestWorkspace ws;
    FakeWorkstation workstation;
    FakeSerialLine* line = nullptr;
    std::unique_ptr<TCommPortDriver> port;
    std::unique_ptr<D> driver = TDriver::New<D>();

private:
    qsizetype m_seen = 0;
};

// Every row of a table in its current order, as "NAME=value" items of the named columns.
inline QStringList tableRows(DataSet& t, const QStringList& columns)
{
    QStringList out;
    for (t.first(); !t.eof(); t.next()) {
        QStringList items;
        for (const QString& c : columns)
            items << c + u'=' + t.fieldByName(c)->asString();
        out << items.join(u' ');
    }
    return out;
}
