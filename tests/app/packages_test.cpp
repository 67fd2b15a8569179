// Packages: the package file compared byte for byte with layouts written by hand and read back by a
// Python reader, the patients of either mode, the archiver (a scripted one and a real 7-Zip), what
// happens during its wait and on a failed write, and the purge of old packages.
#include "localtables_fixture.h"
#include "practice_fixture.h"

#include <app/appglobals.h>
#include <app/documents/docregistry.h>
#include <app/documents/tablehelpers.h>
#include <app/packages/packages.h>
#include <app/patients/iddlg.h>
#include <app/patients/practicedb.h>
#include <platform/clock.h>
#include <platform/codepage.h>
#include <platform/exception.h>
#include <platform/fileops.h>
#include <platform/regional.h>
#include <platform/support/docfiles.h>
#include <platform/support/globals.h>

#include <support/python.h>
#include <support/scoped_dialogs.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QScopeGuard>
#include <QTimer>

#include <gtest/gtest.h>

namespace {

// ---- the layout, written by hand

QByteArray i32(qint32 v)
{
    QByteArray out;
    for (int i = 0; i < 4; ++i)
        out += char((quint32(v) >> (8 * i)) & 0xFF);
    return out;
}

// A short string of bytes already in the code page.
QByteArray ss(const QByteArray& bytes)
{
    return char(bytes.size()) + bytes;
}

struct PackageFixture : LocalTablesFixture
{
    PackageFixture()
    {
        QDir().mkpath(ExchangeDir);
        IniFileName = ws.path("QUORVANE.INI");
        appendSource(*tables->cfg, 1, 1, 1, "Fichiers ECG", "JAE");
        SetPackageNumbersForTesting({0x1A2B, 0x2B3C});
        InitCurrentPackage();
    }
    ~PackageFixture()
    {
        SetPackageNumbersForTesting({});
        SetArchiverTimeoutForTesting(0);
        NeedCompression = false;
        RarPath.clear();
        IniFileName.clear();
        CurrentPack = 0;
        fileops::resetFaults();
    }

    // A document of `pages` pages of source 1 whose data files hold `data` (page 1) and
    // "page <i>".
    int document(const QByteArray& data, int pages = 1)
    {
        const int first = AddImportedFile(CurrentPack, "doc", 1, 0, "X");
        writeFileBytes(DocumentFileName(first, 1), data);
        for (int i = 2; i <= pages; ++i) {
            const int page = AddImportedFile(CurrentPack, "doc", 1, first, "X");
            writeFileBytes(DocumentFileName(page, 1), QByteArray("page ") + QByteArray::number(i));
        }
        set(first, "Pages", pages);
        return first;
    }

    void set(int number, const char* fieldName, const Variant& value)
    {
        LocalTable& files = *tables->files;
        files.setIndexName(QString());
        ASSERT_TRUE(files.findKey({number}));
        files.edit();
        files.fieldByName(fieldName)->setValue(value);
        files.post();
    }

    // The record of a one-page document of source 1 with no patient, comment or page.
    static QByteArray plainRecord(const QByteArray& data)
    {
        return i32(qint32(data.size())) + data + ss("JAE") + ss("Fichiers ECG") + ss("") + ss("") +
               ss("") + i32(0) + ss("06/12/2026") + ss("22:10:46") + i32(0) + ss("") + ss("") +
               i32(1);
    }

    QString rows() const
    {
        return cli("SELECT group_concat(Number || ':' || Pack) FROM (SELECT Number, Pack FROM "
                   "\"FILES.DB\" ORDER BY Number);");
    }
    QString packs() const
    {
        return cli("SELECT group_concat(printf('%X', Number & 0xFFFFFFFF) || ':' || "
                   "\"Transfer state\") FROM (SELECT * FROM \"PACKAGE.DB\" ORDER BY Seq);");
    }
    QStringList exchange() const
    {
        return QDir(ExchangeDir).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
    }

    // An archiver in the WinRAR manner written as a shell script: it notes its folder and
    // arguments in archiver.args, runs `body`, and ends with `status`.
    void scriptArchiver(const QString& body, int status = 0)
    {
        RarPath = ws.path("archiver.sh");
        writeFileBytes(RarPath, QStringLiteral("#!/bin/sh\npwd > '%1'\nprintf '%s\\n' \"$@\" >> "
                                               "'%1'\n%2\nexit %3\n")
                                    .arg(ws.path("archiver.args"), body)
                                    .arg(status)
                                    .toUtf8());
        QFile::setPermissions(RarPath, QFile::permissions(RarPath) | QFile::ExeOwner);
        NeedCompression = true;
    }
};

QByteArray prepare(QString* name = nullptr)
{
    QString result;
    PreparePackage(result, nullptr, nullptr);
    if (name)
        *name = result;
    return readFileBytes(result);
}

} // namespace

TEST(PackageFile, LayoutsWrittenByHand)
{
    PackageFixture f;
    // An empty table: the row count alone.
    EXPECT_EQ(prepare(), QByteArray(4, '\0'));

    // A patient with an accented first name, a comment of two lines and a two-page document whose
    // second page file is missing.
    f.tables->Patients_Local->appendRecord(
        {5, "DUPONT", "Élodie", Variant::fromDateTime(EncodeDate(1950, 3, 12)), 42});
    const int doc = f.document("abc", 2);
    f.set(doc, "Patient", 5);
    f.set(doc, "Comment", "a\r\nb");
    f.set(doc, "TComment1", "t1");
    QFile::remove(DocumentFileName(doc + 1, 1));
    f.document("xyz");
    QString name;
    const QByteArray bytes = prepare(&name);
    EXPECT_EQ(name, ExchangeDir + "2B3C.mpk");
    EXPECT_EQ(bytes, i32(3) + i32(3) + "abc" + ss("JAE") + ss("Fichiers ECG") + ss("DUPONT") +
                         ss("\xC9lodie") + ss("12/03/1950") + i32(42) + ss("06/12/2026") +
                         ss("22:10:46") + i32(4) + QByteArray("a\rb\r") + ss("t1") + ss("") +
                         i32(2) + i32(0) + PackageFixture::plainRecord("xyz"));
    // Read by a reader of the layout of its own.
    const QString reader = R"(
import struct, sys
b = open(sys.argv[1], 'rb').read(); p = 0
def i():
    global p; v = struct.unpack_from('<i', b, p)[0]; p += 4; return v
def s():
    global p; n = b[p]; v = b[p+1:p+1+n].decode('cp1252'); p += 1 + n; return v
def raw(n):
    global p; v = b[p:p+n]; p += n; return v
rows = i(); out = [str(rows)]
while p < len(b):
    size = i(); data = raw(size)
    if size == 0:
        out.append('empty'); continue
    f = [data.decode('latin-1'), s(), s(), s(), s(), s(), str(i()), s(), s()]
    f.append(repr(raw(i()))); f += [s(), s()]; pages = i(); f.append(str(pages))
    for _ in range(2, pages + 1):
        f.append(repr(raw(i())))
    out.append('|'.join(f))
print('\n'.join(out))
)";
    EXPECT_EQ(runPython(reader, {name}).trimmed(),
              "3\nabc|JAE|Fichiers ECG|DUPONT|Élodie|12/03/1950|42|06/12/2026|22:10:46|"
              "b'a\\rb\\r'|t1||2|b''\n"
              "xyz|JAE|Fichiers ECG||||0|06/12/2026|22:10:46|b''|||1");
    EXPECT_EQ(f.rows(), "");
    EXPECT_TRUE(QDir(BufDir).entryList(QDir::Files | QDir::Hidden).isEmpty());
}

TEST(PackageFile, LongTextsMissingDataAndAGoneSource)
{
    PackageFixture f;
    // A comment title of 300 characters (another program's row) is cut at 255 bytes.
    const int titled = f.document("n");
    f.cli(QStringLiteral("UPDATE \"FILES.DB\" SET TComment1 = replace(hex(zeroblob(150)), '0', "
                         "'T') WHERE Number = %1;")
              .arg(titled));
    TableAction(*f.tables->files, 2);
    // A document without a data file is four zero bytes; an empty file is no data either.
    const int missing = f.document("m");
    QFile::remove(DocumentFileName(missing, 1));
    f.document("");
    // A document whose source row went is packed from its number's file with no extension or
    // title, never another source's.
    appendSource(*f.tables->cfg, 2, 2, 1, "Breeze", "BRZ");
    const int orphan = AddImportedFile(CurrentPack, "doc", 2, 0, "X");
    writeFileBytes(BufDir + QString::number(orphan, 16).toUpper() + ".2", "o");
    f.set(orphan, "Pages", 1);
    f.cli("DELETE FROM \"cfg.db\" WHERE Number = 2;");
    TableAction(*f.tables->cfg, 2);

    const QByteArray expected =
        i32(4) + i32(1) + "n" + ss("JAE") + ss("Fichiers ECG") + ss("") + ss("") + ss("") + i32(0) +
        ss("06/12/2026") + ss("22:10:46") + i32(0) + char(255) + QByteArray(255, 'T') + ss("") +
        i32(1) + i32(0) + i32(0) + i32(1) + "o" + ss("") + ss("") + ss("") + ss("") + ss("") +
        i32(0) + ss("06/12/2026") + ss("22:10:46") + i32(0) + ss("") + ss("") + i32(1);
    EXPECT_EQ(prepare().toHex(' ').toStdString(), expected.toHex(' ').toStdString());
    EXPECT_EQ(PackageHex(-1), "FFFFFFFF");
}

TEST(PackageFile, NumbersAndTheirRows)
{
    PackageFixture f;
    // The first package of a new installation: drawn below 0x0FFFFFFF, open.
    EXPECT_EQ(f.packs(), "1A2B:0");
    EXPECT_EQ(CurrentPack, 0x1A2B);
    f.cli("DELETE FROM \"PACKAGE.DB\";");
    TableAction(*f.tables->packs, 2);
    for (int i = 0; i < 50; ++i) {
        SetPackageNumbersForTesting({});
        InitCurrentPackage();
        EXPECT_GE(CurrentPack, 0);
        EXPECT_LT(CurrentPack, 0x0FFFFFFF);
        f.cli("DELETE FROM \"PACKAGE.DB\";");
        TableAction(*f.tables->packs, 2);
    }
    // Package -1 writes FFFFFFFF.mpk; a number already taken is drawn again; the new row is
    // appended even without the old one.
    SetPackageNumbersForTesting({-1, -1, 7, 7, 8});
    InitCurrentPackage();
    QString name;
    prepare(&name);
    EXPECT_EQ(name, ExchangeDir + "FFFFFFFF.mpk");
    EXPECT_EQ(f.packs(), "FFFFFFFF:1,7:0");
    CurrentPack = 99;
    prepare(&name);
    EXPECT_EQ(f.packs(), "FFFFFFFF:1,7:0,8:0");
    EXPECT_EQ(name, ExchangeDir + "63.mpk");
    // At the next start the open package is the last one created.
    CurrentPack = 0;
    InitCurrentPackage();
    EXPECT_EQ(CurrentPack, 8);
}

namespace {

// A practice database whose PATIENTS table `more` may change, connected.
struct PracticePackage : PracticeWorkstation
{
    explicit PracticePackage(const QString& more)
    {
        QDir().mkpath(ExchangeDir);
        appendSource(*tables->cfg, 1, 1, 1, "Fichiers ECG", "JAE");
        practice.writeVersionFile();
        practice.createDatabase(more);
        PracticeDBInUse = ConnectDatabase();
        SetPackageNumbersForTesting({0x10, 0x11});
        InitCurrentPackage();
    }
    ~PracticePackage()
    {
        PracticeDBInUse = false;
        SetPackageNumbersForTesting({});
        CurrentPack = 0;
    }
    int document(int patient)
    {
        const int n = AddImportedFile(CurrentPack, "doc", 1, 0, "X");
        writeFileBytes(DocumentFileName(n, 1), "d");
        LocalTable& files = *tables->files;
        files.setIndexName(QString());
        files.findKey({n});
        files.edit();
        files.fieldByName("Patient")->setAsInteger(patient);
        files.fieldByName("Pages")->setAsInteger(1);
        files.post();
        return n;
    }
    CodePageScope codePage{codepage::Cp1252};
};

QByteArray patientPart(const QByteArray& nom, const QByteArray& prenom, const QByteArray& ne,
                       qint32 number)
{
    return ss(nom) + ss(prenom) + ss(ne) + i32(number);
}

} // namespace

TEST(PackageFile, PracticePatients)
{
    PracticePackage f("UPDATE PATIENTS SET N_OMON = 4711 WHERE PATIENTS_ID = 1;");
    ASSERT_TRUE(PracticeDBInUse);
    f.document(1);
    f.document(999); // unknown
    f.document(2);   // N_OMON null
    const QByteArray head = i32(1) + "d" + ss("JAE") + ss("Fichiers ECG");
    const QByteArray tail = ss("06/12/2026") + ss("22:10:46") + i32(0) + ss("") + ss("") + i32(1);
    EXPECT_EQ(prepare().toHex(' ').toStdString(),
              (i32(3) + head + patientPart("DUPONT", "JEAN", "12/03/1950", 4711) + tail + head +
               patientPart("", "", "", 0) + tail + head +
               patientPart("DU", "MARC", "02/06/1971", 0) + tail)
                  .toHex(' ')
                  .toStdString());
}

TEST(PackageFile, APracticeWithoutPatientsLosesNothing)
{
    PracticePackage f("");
    ASSERT_TRUE(PracticeDBInUse);
    f.practice.cli("DROP TABLE PATIENTS;");
    const int doc = f.document(1);
    QString name;
    EXPECT_THROW(PreparePackage(name, nullptr, nullptr), std::exception);
    EXPECT_EQ(f.cli("SELECT Number FROM \"FILES.DB\";"), QString::number(doc));
    EXPECT_TRUE(QFileInfo::exists(DocumentFileName(doc, 1)));
    EXPECT_TRUE(QDir(ExchangeDir).entryList(QDir::Files | QDir::Hidden).isEmpty());
}

TEST(PackageArchiver, ScriptedArchiverSucceedsOrFails)
{
    PackageFixture f;
    f.document("abc");
    f.scriptArchiver("cp \"$3\" \"$2\"");
    QString name;
    const QByteArray archive = prepare(&name);
    EXPECT_EQ(name, ExchangeDir + "1A2B.mrk");
    EXPECT_EQ(readFileBytes(f.ws.path("archiver.args")),
              (QDir(ExchangeDir).canonicalPath() + "\na\n1A2B.mrk\n1A2B.mpk\n").toUtf8());
    EXPECT_EQ(archive, i32(1) + PackageFixture::plainRecord("abc"));
    EXPECT_EQ(f.exchange(), QStringList({"1A2B.mrk"}));

    // Status 3 with a half-made archive: the package file is kept and transferred.
    f.document("def");
    f.scriptArchiver("echo partial > \"$2\"; echo 'disk error' >&2", 3);
    EXPECT_EQ(prepare(&name), i32(1) + PackageFixture::plainRecord("def"));
    EXPECT_EQ(name, ExchangeDir + "2B3C.mpk");
    EXPECT_EQ(f.exchange(), QStringList({"1A2B.mrk", "2B3C.mpk"}));
    EXPECT_TRUE(f.ws.operationsLog().contains("ended with status 3 (disk error)"));
    // Status 0 without an archive, and a crash: the same.
    for (const QString& body : {QStringLiteral("true"), QStringLiteral("kill -9 $$")}) {
        f.document("ghi");
        f.scriptArchiver(body);
        const qint32 old = CurrentPack;
        EXPECT_EQ(prepare(&name), i32(1) + PackageFixture::plainRecord("ghi"));
        EXPECT_EQ(name, PackageFileName(old, ".mpk"));
    }
    // Compression on with no archiver: the package file.
    RarPath = f.ws.path("nowhere");
    f.document("jkl");
    EXPECT_EQ(prepare(&name), i32(1) + PackageFixture::plainRecord("jkl"));
    EXPECT_TRUE(name.endsWith(".mpk"));
    EXPECT_EQ(f.rows(), "");
}

TEST(PackageArchiver, TimeOutKeepsThePackageFile)
{
    PackageFixture f;
    f.document("abc");
    // It never ends by itself: it waits for a file nobody makes.
    f.scriptArchiver(
        QStringLiteral("while [ ! -e '%1' ]; do sleep 0.05; done").arg(f.ws.path("x")));
    SetArchiverTimeoutForTesting(300);
    QString name;
    EXPECT_EQ(prepare(&name), i32(1) + PackageFixture::plainRecord("abc"));
    EXPECT_EQ(name, ExchangeDir + "1A2B.mpk");
    EXPECT_TRUE(f.ws.operationsLog().contains("did not end within"));
}

TEST(PackageArchiver, Real7Zip)
{
    PackageFixture f;
    f.document(QByteArray(100000, 'q') + "\r\n\x00\xFF");
    f.document("second");
    RarPath = "/usr/bin/7zz";
    NeedCompression = true;
    QString name;
    prepare(&name);
    ASSERT_EQ(name, ExchangeDir + "1A2B.mrk");
    EXPECT_EQ(f.exchange(), QStringList({"1A2B.mrk"}));
    QProcess list;
    list.start("/usr/bin/7zz", {"l", "-ba", name});
    ASSERT_TRUE(list.waitForFinished(60000));
    EXPECT_TRUE(list.readAllStandardOutput().trimmed().endsWith(" 1A2B.mpk"));
    QProcess extract;
    extract.start("/usr/bin/7zz", {"x", "-o" + f.ws.path("out"), name});
    ASSERT_TRUE(extract.waitForFinished(60000));
    EXPECT_EQ(extract.exitCode(), 0);
    EXPECT_EQ(readFileBytes(f.ws.path("out/1A2B.mpk")),
              i32(2) + PackageFixture::plainRecord(QByteArray(100000, 'q') + "\r\n\x00\xFF") +
                  PackageFixture::plainRecord("second"));
}

// While the archiver runs the polling loop goes on: a document registered then belongs to the new
// package and stays; the packed one is not offered to identification.
TEST(PackageArchiver, TicksDuringTheWait)
{
    PackageFixture f;
    const int packed = f.document("abc");
    const QString sign = f.ws.path("go");
    f.scriptArchiver(
        QStringLiteral("i=0; while [ ! -e '%1' ] && [ $i -lt 1200 ]; do sleep 0.05; i=$((i+1)); "
                       "done; cp \"$3\" \"$2\"")
            .arg(sign));
    SetPackageNumbersForTesting({0x77});
    int registered = 0;
    bool offered = true;
    QTimer::singleShot(0, [&] {
        EXPECT_EQ(CurrentPack, 0x77);
        registered = f.document("new");
        offered = !DocumentBeingPacked(packed) || DocumentBeingPacked(registered);
        ScopedScriptedDialogs none; // any dialog fails the test
        CurrentNumber = packed;
        ShowIdDlg();
        CurrentNumber = 0;
        writeFileBytes(sign, "");
    });
    QString name;
    EXPECT_EQ(prepare(&name), i32(1) + PackageFixture::plainRecord("abc"));
    EXPECT_EQ(name, ExchangeDir + "1A2B.mrk");
    ASSERT_NE(registered, 0);
    EXPECT_FALSE(offered);
    EXPECT_FALSE(DocumentBeingPacked(packed));
    EXPECT_EQ(f.rows(), QString::number(registered) + ":119");
    EXPECT_FALSE(QFileInfo::exists(DocumentFileName(packed, 1)));
    EXPECT_EQ(readFileBytes(DocumentFileName(registered, 1)), "new");
}

TEST(PackageFile, AFailedWriteLosesNothing)
{
    PackageFixture f;
    const int doc = f.document("abc", 2);
    for (const fileops::Op op : {fileops::Op::Write, fileops::Op::Flush, fileops::Op::Rename}) {
        fileops::resetFaults();
        fileops::failNth(op, 1, ENOSPC);
        const qint32 old = CurrentPack;
        QString name = "unchanged";
        EXPECT_THROW(PreparePackage(name, nullptr, nullptr), EInOutError);
        EXPECT_EQ(name, "unchanged");
        EXPECT_EQ(f.exchange(), QStringList());
        EXPECT_EQ(f.rows(), QStringLiteral("%1:6699,%2:6699").arg(doc).arg(doc + 1));
        EXPECT_EQ(readFileBytes(DocumentFileName(doc, 1)), "abc");
        EXPECT_EQ(readFileBytes(DocumentFileName(doc + 1, 1)), "page 2");
        // The old package is closed, the new one open.
        EXPECT_NE(CurrentPack, old);
    }
    fileops::resetFaults();
    EXPECT_EQ(prepare(), i32(2) + i32(3) + "abc" + ss("JAE") + ss("Fichiers ECG") + ss("") +
                             ss("") + ss("") + i32(0) + ss("06/12/2026") + ss("22:10:46") + i32(0) +
                             ss("") + ss("") + i32(2) + i32(6) + "page 2");
}

TEST(PackagePurge, SentOldPackagesAndStrayFilesGo)
{
    PackageFixture f;
    LocalTable& packs = *f.tables->packs;
    const auto row = [&](qint32 number, const QString& closed, int state) {
        packs.appendRecord(
            {number, "01/09/2026", "10:00:00", closed, closed.isEmpty() ? "" : "11:00:00", state});
    };
    row(0x10, "01/11/2026", 2); // sent, old: goes
    row(0x11, "01/11/2026", 1); // never sent: the only copy, stays
    row(0x12, "zz/11/2026", 2); // a date that cannot be read: stays
    row(0x13, "20/11/2026", 2); // closed after the limit: stays
    const QDateTime old(QDate(2026, 10, 1), QTime(12, 0));
    for (const char* file :
         {"10.mpk", "10.MRK", "11.mpk", "11.mrk", "12.mrk", "13.mrk", "1A2B.mpk", "stray.txt"}) {
        writeFileBytes(ExchangeDir + file, "x");
        setModified(ExchangeDir + file, old);
    }
    writeFileBytes(ExchangeDir + "new.txt", "x");
    writeFileBytes(f.ws.path("target.txt"), "t");
    setModified(f.ws.path("target.txt"), old);
    ASSERT_TRUE(QFile::link(f.ws.path("target.txt"), ExchangeDir + "link.txt"));
    QDir().mkpath(ExchangeDir + "sub");
    writeFileBytes(ExchangeDir + "sub/inner.txt", "x");
    setModified(ExchangeDir + "sub/inner.txt", old);

    // The open package 1A2B (started 06/12/2026, never closed) stays whatever the limit.
    PurgeOldPackages(QDate(2026, 11, 6));
    EXPECT_EQ(f.packs(), "1A2B:0,11:1,12:2,13:2");
    EXPECT_EQ(f.exchange(), QStringList({"11.mpk", "11.mrk", "12.mrk", "13.mrk", "1A2B.mpk",
                                         "link.txt", "new.txt"}));
    EXPECT_TRUE(QFileInfo::exists(f.ws.path("target.txt")));
    EXPECT_TRUE(QFileInfo::exists(ExchangeDir + "sub/inner.txt"));
    EXPECT_TRUE(f.ws.operationsLog().contains("Package 11 closed on 01/11/2026 was never sent"));
}

// The size written is the one taken before reading: a file whose entry says 0 bytes however much
// it gives (as the kernel's own files do) is a record of four zero bytes.
TEST(PackageFile, AFileWritesTheSizeItRecorded)
{
    TestWorkspace ws;
    fileops::FileWriter out(ws.path("p.mpk"));
    ASSERT_TRUE(out.open());
    EXPECT_EQ(AddFileToPackage(out, "/proc/self/status"), 0);
    writeFileBytes(ws.path("d"), "12345");
    EXPECT_EQ(AddFileToPackage(out, ws.path("d")), 5);
    EXPECT_THROW(AddFileToPackage(out, ws.path("none")), EInOutError);
    ASSERT_TRUE(out.commit());
    EXPECT_EQ(readFileBytes(ws.path("p.mpk")), i32(0) + i32(5) + "12345");
}
