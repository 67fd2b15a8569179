// The workstation service the drivers hand results to: the null service before the application
// registers, moving a result to its document's data file, and a result that cannot be stored,
// set aside in its folder under a name the next capture does not reuse, and logged.
#include "driverharness.h"

#include <QFileInfo>

TEST(WorkstationService, TheNullServiceRegistersNothingAndMoveFileKeepsAFileItCannotMove)
{
    TestWorkspace ws;
    WorkstationService& service = Workstation();
    EXPECT_THROW(service.AddImportedFile(0, ws.path(u"r.tst"_s), 3, 0, u"tst"_s), Exception);
    QStringList lines;
    EXPECT_THROW(service.ReadBFAFile(ws.path(u"r.bfa"_s), lines), Exception);
    {
        FakeWorkstation fake;
        EXPECT_EQ(&Workstation(), &fake);
    }
    EXPECT_EQ(&Workstation(), &service) << "unregistering restores the null service";

    const QString from = ws.path(u"~buf~.tst"_s);
    const QString to = ws.path(u"moved.tst"_s);
    writeFileBytes(from, "result");
    fileops::failNth(fileops::Op::Move, 1, ENOSPC);
    const QString message = messageOf<EInOutError>([&] { service.MoveFile(from, to); });
    EXPECT_TRUE(message.contains(from)) << message.toStdString();
    fileops::resetFaults();
    EXPECT_EQ(readFileBytes(from), QByteArray("result")) << "the file stays where it was";
    EXPECT_FALSE(QFileInfo::exists(to));
}

TEST(StoreResult, AResultNotStoredIsSetAsideUnderANameOfItsOwnOrStaysAndIsLogged)
{
    TestWorkspace ws;
    ASSERT_TRUE(QDir().mkpath(ComBufDir));
    const QString file = ComBufDir + u"~buf~.mxm"_s;
    writeFileBytes(file, "transfer");
    // Without the application nothing is stored.
    EXPECT_EQ(Workstation().StoreResult(file, 3, u"mxm"_s), 0);
    const QString kept = ComBufDir + u"~buf~-20261206-221046.mxm"_s;
    EXPECT_FALSE(QFileInfo::exists(file));
    EXPECT_EQ(readFileBytes(kept), QByteArray("transfer"));
    const QString log = QString::fromLatin1(ws.operationsLog());
    EXPECT_TRUE(log.contains(u"the workstation is not ready"_s)) << log.toStdString();
    EXPECT_TRUE(log.contains(kept)) << log.toStdString();

    // Set aside again in the same second: it keeps a name of its own.
    writeFileBytes(file, "second");
    KeepUnstoredResult(file, u"refused"_s);
    EXPECT_EQ(readFileBytes(kept), QByteArray("transfer"));
    EXPECT_EQ(readFileBytes(ComBufDir + u"~buf~-20261206-221046-2.mxm"_s), QByteArray("second"));
    // A name without an extension takes the stamp at its end.
    writeFileBytes(ComBufDir + u"capture"_s, "raw");
    EXPECT_EQ(KeepUnstoredResult(ComBufDir + u"capture"_s, u"refused"_s),
              ComBufDir + u"capture-20261206-221046"_s);

    // It cannot even be set aside: it stays, and that is logged.
    writeFileBytes(file, "fourth");
    fileops::failNth(fileops::Op::Rename, 1, EACCES);
    EXPECT_EQ(KeepUnstoredResult(file, u"refused"_s), file);
    fileops::resetFaults();
    EXPECT_EQ(readFileBytes(file), QByteArray("fourth"));
    EXPECT_TRUE(ws.operationsLog().contains("setting it aside failed"))
        << ws.operationsLog().toStdString();
}
