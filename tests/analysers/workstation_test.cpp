// Handing results to the workstation: a result that cannot be stored is set aside in its folder
// under a name the next capture does not reuse, and the failure is logged.
#include "driverharness.h"

#include <QFileInfo>

TEST(StoreResult, WithoutTheApplicationNothingIsStoredAndTheResultIsSetAside)
{
    TestWorkspace ws;
    ASSERT_TRUE(QDir().mkpath(ComBufDir));
    const QString file = ComBufDir + u"~buf~.mxm"_s;
    writeFileBytes(file, "transfer");

    EXPECT_EQ(Workstation().StoreResult(file, 3, u"mxm"_s), 0);
    const QString kept = ComBufDir + u"~buf~-20261206-221046.mxm"_s;
    EXPECT_FALSE(QFileInfo::exists(file));
    EXPECT_EQ(readFileBytes(kept), QByteArray("transfer"));
    const QString log = QString::fromLatin1(ws.operationsLog());
    EXPECT_TRUE(log.contains(u"the workstation is not ready"_s)) << log.toStdString();
    EXPECT_TRUE(log.contains(kept)) << log.toStdString();
}

TEST(StoreResult, ResultsSetAsideInTheSameSecondKeepTheirOwnNames)
{
    TestWorkspace ws;
    ASSERT_TRUE(QDir().mkpath(ComBufDir));
    const QString file = ComBufDir + u"~buf~.mdt"_s;
    for (const char* bytes : {"first", "second", "third"}) {
        writeFileBytes(file, bytes);
        KeepUnstoredResult(file, u"refused"_s);
    }
    EXPECT_EQ(readFileBytes(ComBufDir + u"~buf~-20261206-221046.mdt"_s), QByteArray("first"));
    EXPECT_EQ(readFileBytes(ComBufDir + u"~buf~-20261206-221046-2.mdt"_s), QByteArray("second"));
    EXPECT_EQ(readFileBytes(ComBufDir + u"~buf~-20261206-221046-3.mdt"_s), QByteArray("third"));

    // A name without an extension takes the stamp at its end.
    writeFileBytes(ComBufDir + u"capture"_s, "raw");
    EXPECT_EQ(KeepUnstoredResult(ComBufDir + u"capture"_s, u"refused"_s),
              ComBufDir + u"capture-20261206-221046"_s);
}

TEST(StoreResult, AResultThatCannotEvenBeSetAsideStaysAndIsLogged)
{
    TestWorkspace ws;
    ASSERT_TRUE(QDir().mkpath(ComBufDir));
    const QString file = ComBufDir + u"~buf~.mxm"_s;
    writeFileBytes(file, "transfer");
    fileops::failNth(fileops::Op::Rename, 1, EACCES);
    EXPECT_EQ(KeepUnstoredResult(file, u"refused"_s), file);
    fileops::resetFaults();
    EXPECT_EQ(readFileBytes(file), QByteArray("transfer"));
    EXPECT_TRUE(ws.operationsLog().contains("setting it aside failed"))
        << ws.operationsLog().toStdString();
}
