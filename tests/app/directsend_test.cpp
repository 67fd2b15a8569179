// Direct send against a temporary import folder: descriptors read back key by key, numbering and
// subfolders, multi-page documents, the walk over the waiting documents, Breeze files, and what a
// failed file operation or a process ended between two steps leaves behind.
#include "localtables_fixture.h"
#include "practice_standin.h"

#include <app/appglobals.h>
#include <app/documents/docregistry.h>
#include <app/patients/directsend.h>
#include <platform/codepage.h>
#include <platform/db/localtable.h>
#include <platform/fileops.h>
#include <platform/regional.h>
#include <platform/support/globals.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>

#include <gtest/gtest.h>

namespace {

struct DirectSendFixture : LocalTablesFixture
{
    DirectSendFixture()
    {
        QDir().mkpath(ws.path("practice"));
        InitDirectSend(ws.path("practice"));
        LogFileName = ws.path("qvxfiles.log");
    }
    ~DirectSendFixture()
    {
        DirectSend = false;
        ExportDir.clear();
        LogFileName.clear();
        IdentificationActive = false;
        CurrentNumber = 0;
    }

    void source(int number, int type, const QString& titul, const QString& extension)
    {
        appendSource(*tables->cfg, number, type, 1, titul, extension);
    }

    // A document of `pages` pages whose data files hold "<name> page <i>".
    int document(int cfg, int type, const QString& name, int pages = 1)
    {
        const int first = AddImportedFile(CurrentPack, name, cfg, 0, "X");
        writeFileBytes(DocumentFileName(first, type), (name + " page 1").toUtf8());
        for (int i = 2; i <= pages; ++i) {
            const int page = AddImportedFile(CurrentPack, name, cfg, first, "X");
            writeFileBytes(DocumentFileName(page, type), (name + " page %1").arg(i).toUtf8());
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

    QString folder(const QString& sub) const { return ExportDir + sub + "/"; }
    // Every name in a subfolder, hidden ones included, sorted.
    QStringList listing(const QString& sub) const
    {
        return QDir(folder(sub)).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
    }
    QString rows() const
    {
        return cli("SELECT group_concat(Number) FROM (SELECT Number FROM \"FILES.DB\" "
                   "ORDER BY Number);");
    }
    int exportPending() const
    {
        int flags = -1;
        ExportPendingDocuments(flags);
        return flags;
    }
};

// A descriptor read back: "Section/Key=Value" lines in file order. Every line must end in CR LF.
QStringList descriptor(const QString& path)
{
    const QByteArray bytes = readFileBytes(path);
    EXPECT_TRUE(bytes.endsWith("\r\n")) << path.toStdString();
    QStringList out;
    QString section;
    for (const QByteArray& raw : bytes.split('\n')) {
        if (raw.isEmpty())
            continue;
        EXPECT_TRUE(raw.endsWith('\r')) << raw.toStdString();
        const QString line = codepage::decode(raw.chopped(1), codepage::Cp1252);
        if (line.startsWith('['))
            section = line.mid(1, line.size() - 2);
        else
            out << section + "/" + line;
    }
    return out;
}

// The pages part of a descriptor.
QStringList pages(const QString& path)
{
    const QStringList keys = descriptor(path);
    return keys.mid(int(keys.indexOf(QRegularExpression("Common/Pages=.*"))));
}

} // namespace

TEST(DirectSend, DescriptorsAndLogLinesKeyByKey)
{
    DirectSendFixture f;
    EXPECT_EQ(ExportDir, f.ws.path("practice/QVXIMP/"));
    f.source(1, 1, "Fichiers ECG", "JAE");
    f.tables->Patients_Local->appendRecord(
        {5, "DUPONT", "Élodie", Variant::fromDateTime(EncodeDate(1950, 3, 12))});
    const int withPatient = f.document(1, 1, "a");
    f.set(withPatient, "Patient", 5);
    f.set(withPatient, "Comment", "ligne 1\r\nligne 2\rligne 3");
    f.set(withPatient, "TComment1", "06/12\n2026");
    f.set(withPatient, "TComment2", "ECG d'effort");
    f.set(withPatient, "Patient_Nom", "DUPONT E.");
    const int withoutPatient = f.document(1, 1, "b");
    f.set(withoutPatient, "Patient_Nom", "DUPONT J.");
    f.set(withoutPatient, "Dossier", 123);
    f.set(f.document(1, 1, "c"), "Patient", 99);

    EXPECT_EQ(f.exportPending(), dsExported);
    EXPECT_EQ(f.listing("JAE"),
              QStringList({"1.JAE", "1.QVX", "2.JAE", "2.QVX", "3.JAE", "3.QVX"}));
    EXPECT_EQ(readFileBytes(f.folder("JAE") + "2.JAE"), "b page 1");
    EXPECT_EQ(descriptor(f.folder("JAE") + "1.QVX"),
              QStringList(
                  {"Common/Source=Fichiers ECG", "Common/Nom=DUPONT", "Common/Prenom=Élodie",
                   "Common/Naissance=12/03/1950", "Common/Date=06/12/2026", "Common/Time=22:10:46",
                   "Common/Comment=ligne 1|ligne 2|ligne 3", "Common/TComment1=06/12 2026",
                   "Common/TComment2=ECG d'effort", "Common/Pages=1", "Pages/Page1=1.JAE"}));
    EXPECT_EQ(descriptor(f.folder("JAE") + "2.QVX"),
              QStringList({"Common/Source=Fichiers ECG", "Common/Nom=DUPONT J.", "Common/Prenom=",
                           "Common/Naissance=", "Common/Dossier=123", "Common/Date=06/12/2026",
                           "Common/Time=22:10:46", "Common/Comment=", "Common/TComment1=",
                           "Common/TComment2=", "Common/Pages=1", "Pages/Page1=2.JAE"}));
    // A patient that no longer exists gives no name rather than another patient's.
    EXPECT_EQ(descriptor(f.folder("JAE") + "3.QVX").mid(1, 4),
              QStringList({"Common/Nom=", "Common/Prenom=", "Common/Naissance=",
                           "Common/Date=06/12/2026"}));
    EXPECT_EQ(readFileBytes(LogFileName),
              "Envoy\xE9: Fichiers ECG\tDUPONT E.\t\t06/12/2026 22:10:46\r\n"
              "Envoy\xE9: Fichiers ECG\tDUPONT J.\t123\t06/12/2026 22:10:46\r\n"
              "Envoy\xE9: Fichiers ECG\t\t\t06/12/2026 22:10:46\r\n");
    EXPECT_EQ(f.rows(), "");
    EXPECT_TRUE(QDir(BufDir).entryList(QDir::Files | QDir::Hidden).isEmpty());

    // With Russian regional settings the descriptor's date keeps "/"; the log follows the region.
    setRegionalLanguage(2);
    f.document(1, 1, "d");
    f.exportPending();
    EXPECT_TRUE(descriptor(f.folder("JAE") + "4.QVX").contains("Common/Date=06/12/2026"));
    EXPECT_TRUE(readFileBytes(LogFileName).endsWith("\t\t\t06.12.2026 22:10:46\r\n"));
}

// With the practice database in use the names come from its patient cache, loaded by the
// document's patient key: a patient it no longer has gives no name, never another patient's.
TEST(DirectSend, PracticeDatabaseNamesTheDescriptors)
{
    DirectSendFixture f;
    PracticeStandIn practice({{7, "MARTIN", "Luc", "02/03/1961"}, {8, "DURAND", "Léa", ""}});
    PracticeDBInUse = true;
    const auto localAgain = qScopeGuard([] { PracticeDBInUse = false; });
    f.source(1, 1, "Fichiers ECG", "JAE");
    f.set(f.document(1, 1, "a"), "Patient", 8);
    f.set(f.document(1, 1, "b"), "Patient", 9);
    f.set(f.document(1, 1, "c"), "Patient", 7);

    EXPECT_EQ(f.exportPending(), dsExported);
    const QStringList names[] = {
        {"Common/Nom=DURAND", "Common/Prenom=Léa", "Common/Naissance="},
        {"Common/Nom=", "Common/Prenom=", "Common/Naissance="},
        {"Common/Nom=MARTIN", "Common/Prenom=Luc", "Common/Naissance=02/03/1961"}};
    for (int n = 1; n <= 3; ++n)
        EXPECT_EQ(descriptor(f.folder("JAE") + QString::number(n) + ".QVX").mid(1, 3), names[n - 1])
            << n;
    EXPECT_EQ(practice.namedPatients.loads,
              QStringList({"key PATIENTS PATIENTS_ID 8", "key PATIENTS PATIENTS_ID 9",
                           "key PATIENTS PATIENTS_ID 7"}));
    EXPECT_EQ(f.rows(), "");
}

TEST(DirectSend, NumbersSubfoldersAndPages)
{
    DirectSendFixture f;
    f.source(1, 1, "Fichiers", "JAE");
    f.source(2, 4, "Analyseur", "PDF");
    f.source(3, 3, "Imprimante", "EMF");
    ASSERT_TRUE(f.tables->cfg->findKey({2}));
    f.tables->cfg->edit();
    f.tables->cfg->fieldByName("DS_CODE")->setAsInteger(12);
    f.tables->cfg->post();
    // A stale descriptor and a file in lower case hold their numbers.
    writeFileBytes(f.folder("JAE") + "1.QVX", "stale");
    writeFileBytes(f.folder("JAE") + "3.jae", "other");
    writeFileBytes(f.folder("EMF") + "2.EMF", "other");

    for (int i = 0; i < 10; ++i)
        ASSERT_TRUE(ExportDocument(f.document(1, 1, QStringLiteral("j%1").arg(i))));
    EXPECT_EQ(f.listing("JAE"),
              QStringList({"1.QVX", "2.JAE", "2.QVX", "3.jae", "4.JAE", "4.QVX", "5.JAE", "5.QVX",
                           "6.JAE", "6.QVX", "7.JAE", "7.QVX", "8.JAE", "8.QVX", "9.JAE", "9.QVX",
                           "A.JAE", "A.QVX", "B.JAE", "B.QVX", "C.JAE", "C.QVX"}));
    EXPECT_EQ(readFileBytes(f.folder("JAE") + "1.QVX"), "stale");
    EXPECT_EQ(readFileBytes(f.folder("JAE") + "C.JAE"), "j9 page 1");
    ASSERT_TRUE(ExportDocument(f.document(2, 4, "p")));
    EXPECT_EQ(f.listing("PDF-12"), QStringList({"1.PDF", "1.QVX"}));

    const int printed = f.document(3, 3, "e", 3);
    ASSERT_TRUE(ExportDocument(printed));
    EXPECT_EQ(f.listing("EMF"), QStringList({"1.EMF", "1.QVX", "2.EMF", "3.EMF", "4.EMF"}));
    EXPECT_EQ(pages(f.folder("EMF") + "1.QVX"),
              QStringList({"Common/Pages=3", "Pages/Page1=1.EMF", "Pages/Page2=3.EMF",
                           "Pages/Page3=4.EMF"}));
    EXPECT_EQ(readFileBytes(f.folder("EMF") + "1.EMF"), "e page 1");
    EXPECT_EQ(readFileBytes(f.folder("EMF") + "4.EMF"), "e page 3");
    EXPECT_EQ(f.rows(), "");
}

TEST(DirectSend, TheWalkHoldsBackTheDocumentUnderIdentificationAndSkipsWhatIsMissing)
{
    DirectSendFixture f;
    f.source(1, 1, "Fichiers", "JAE");
    f.addSource(2, 1, true, false, 0, "JAE");
    const int first = f.document(1, 1, "a");
    const int held = f.document(1, 1, "b");
    const int needsId = f.document(2, 1, "c");
    const int third = f.document(1, 1, "d");

    DirectSend = false;
    EXPECT_EQ(f.exportPending(), 0);
    DirectSend = true;
    const QString exportDir = ExportDir;
    ExportDir = f.ws.path("nowhere/");
    EXPECT_EQ(f.exportPending(), 0);
    ExportDir = exportDir;
    EXPECT_EQ(f.rows(), QString("%1,%2,%3,%4").arg(first).arg(held).arg(needsId).arg(third));

    IdentificationActive = true;
    CurrentNumber = held;
    EXPECT_EQ(f.exportPending(), dsExported | dsHeldBack);
    EXPECT_EQ(f.rows(), QString("%1,%2").arg(held).arg(needsId));
    EXPECT_EQ(readFileBytes(f.folder("JAE") + "2.JAE"), "d page 1");
    // The dialog closed: the document goes on the next pass. Then there is nothing to do.
    IdentificationActive = false;
    EXPECT_EQ(f.exportPending(), dsExported);
    EXPECT_EQ(f.exportPending(), 0);
    EXPECT_EQ(f.rows(), QString::number(needsId));

    // Without the file of its first page a document is dropped, further pages included.
    f.source(3, 3, "Imprimante", "EMF");
    f.source(4, 1, "Ailleurs", "../X");
    const int number = f.document(3, 3, "e", 2);
    QFile::remove(DocumentFileName(number, 3));
    const QByteArray sentLog = readFileBytes(LogFileName);
    EXPECT_EQ(f.exportPending(), dsExported);
    EXPECT_EQ(f.rows(), QString::number(needsId));
    EXPECT_TRUE(f.listing("EMF").isEmpty());
    EXPECT_EQ(readFileBytes(LogFileName), sentLog);
    EXPECT_TRUE(f.ws.operationsLog().contains("its file is missing"));

    // A missing further page: the document goes with the pages it has, and says so.
    const int partial = f.document(3, 3, "p", 3);
    QFile::remove(DocumentFileName(partial + 1, 3));
    EXPECT_TRUE(ExportDocument(partial));
    EXPECT_EQ(pages(f.folder("EMF") + "1.QVX"),
              QStringList({"Common/Pages=2", "Pages/Page1=1.EMF", "Pages/Page2=2.EMF"}));
    EXPECT_EQ(readFileBytes(f.folder("EMF") + "2.EMF"), "p page 3");
    EXPECT_TRUE(f.ws.operationsLog().contains("without its page"));

    // A row or a source that does not exist, or an extension that would lead out of the import
    // folder, changes nothing.
    EXPECT_FALSE(ExportDocument(77));
    const int orphan = f.document(3, 3, "g");
    f.set(orphan, "Cfg", 9);
    EXPECT_FALSE(ExportDocument(orphan));
    const int escaping = f.document(4, 1, "x");
    EXPECT_FALSE(ExportDocument(escaping));
    EXPECT_TRUE(QFileInfo::exists(DocumentFileName(orphan, 3)));
    EXPECT_TRUE(QFileInfo::exists(DocumentFileName(escaping, 1)));
    EXPECT_FALSE(QFileInfo::exists(f.ws.path("practice/X")));

    // An import folder that cannot be made stops nothing: direct send waits for it.
    InitDirectSend(f.ws.path("no/such/practice"));
    EXPECT_TRUE(DirectSend);
    EXPECT_TRUE(f.ws.operationsLog().contains("no/such/practice/QVXIMP"));
    EXPECT_EQ(f.exportPending(), 0);
    EXPECT_EQ(f.rows(), QString("%1,%2,%3").arg(needsId).arg(orphan).arg(escaping));
}

TEST(DirectSend, BreezeFilesAreCopiedOrMovedAndRecorded)
{
    DirectSendFixture f;
    f.source(1, 2, "Breeze", "SM1");
    f.source(2, 2, "Breeze 3", "SAL");
    for (int cfg : {1, 2})
        f.tables->rcfiles->appendRecord({cfg, "/breeze/CURPAT.DAT", 0, cfg == 2});
    const QString kept = f.ws.path("breeze/P0001.SM1");
    const QString cleared = f.ws.path("breeze/P0002.SAL");
    for (const QString& path : {kept, cleared}) {
        writeFileBytes(path, "breeze " + QFileInfo(path).fileName().toUtf8());
        setModified(path, QDateTime(QDate(2026, 12, 6), QTime(10, 20, 30)));
    }
    AddImportedFile(CurrentPack, kept, 1, 0, "SM1");
    AddImportedFile(CurrentPack, cleared, 2, 0, "SAL");
    EXPECT_EQ(f.exportPending(), dsExported);
    EXPECT_EQ(readFileBytes(f.folder("SM1") + "1.SM1"), "breeze P0001.SM1");
    EXPECT_EQ(readFileBytes(f.folder("SAL") + "1.SAL"), "breeze P0002.SAL");
    EXPECT_TRUE(QFileInfo::exists(kept));
    EXPECT_FALSE(QFileInfo::exists(cleared));
    // 2026-12-06 10:20:30 packed: (46 << 25) + (12 << 21) + (6 << 16) + (10 << 11) + (20 << 5)
    // + 30 / 2 = 1569084047. A file that left its folder has no stamp.
    EXPECT_EQ(f.cli("SELECT Number, \"Source file\", \"Date&Time\", \"Destination file\", Cfg "
                    "FROM \"DSfiles.db\" ORDER BY Number;"),
              QString("1|%1|1569084047|%2|1\n2|%3|-1|%4|2")
                  .arg(kept, f.folder("SM1") + "1.SM1", cleared, f.folder("SAL") + "1.SAL"));
    EXPECT_EQ(f.rows(), "");
}

TEST(DirectSend, AFailedFileOperationLosesNothing)
{
    DirectSendFixture f;
    f.source(3, 3, "Imprimante", "EMF");
    const int number = f.document(3, 3, "e", 3);
    const QStringList bufFiles = QDir(BufDir).entryList(QDir::Files | QDir::Hidden, QDir::Name);
    ASSERT_EQ(bufFiles.size(), 3);

    const std::pair<fileops::Op, int> faults[] = {
        {fileops::Op::Copy, 1},   {fileops::Op::Copy, 2},   {fileops::Op::Copy, 3},
        {fileops::Op::Write, 1},  {fileops::Op::Rename, 1}, {fileops::Op::Rename, 2},
        {fileops::Op::Rename, 3}, {fileops::Op::Rename, 4}};
    int logLines = 0;
    for (const auto& [op, n] : faults) {
        SCOPED_TRACE(QString("op %1, call %2").arg(int(op)).arg(n).toStdString());
        fileops::resetFaults();
        fileops::failNth(op, n, ENOSPC);
        EXPECT_FALSE(ExportDocument(number));
        EXPECT_EQ(f.rows(), QString("%1,%2,%3").arg(number).arg(number + 1).arg(number + 2));
        EXPECT_EQ(QDir(BufDir).entryList(QDir::Files | QDir::Hidden, QDir::Name), bufFiles);
        EXPECT_EQ(readFileBytes(DocumentFileName(number + 2, 3)), "e page 3");
        EXPECT_EQ(f.listing("EMF"), QStringList());
        EXPECT_FALSE(QFileInfo::exists(LogFileName));
        const int lines = int(f.ws.operationsLog().count('\n'));
        EXPECT_EQ(lines, logLines + 1) << f.ws.operationsLog().toStdString();
        logLines = lines;
    }

    // Once the fault is gone, the document goes whole; a source file that cannot be removed
    // afterwards stays behind, logged, and the document is not sent twice.
    fileops::resetFaults();
    fileops::failNth(fileops::Op::Remove, 2);
    EXPECT_TRUE(ExportDocument(number));
    EXPECT_EQ(f.listing("EMF"), QStringList({"1.EMF", "1.QVX", "2.EMF", "3.EMF"}));
    EXPECT_EQ(readFileBytes(f.folder("EMF") + "3.EMF"), "e page 3");
    EXPECT_EQ(f.rows(), "");
    EXPECT_EQ(QDir(BufDir).entryList(QDir::Files), QStringList({bufFiles.at(1)}));
    EXPECT_EQ(f.ws.operationsLog().count('\n'), logLines + 1);
}

TEST(DirectSend, AProcessEndedBetweenTwoStepsLeavesNoHalfDocument)
{
    const QString child = QStringLiteral(QUORVANE_BINARY_DIR "/tests/directsend_child");
    ASSERT_TRUE(QFileInfo(child).isExecutable()) << child.toStdString();

    const QStringList steps{"staged",    "descriptor-written", "pages-named",
                            "published", "sources-removed",    "logged"};
    for (int index = 0; index < steps.size(); ++index) {
        SCOPED_TRACE(steps[index].toStdString());
        DirectSendFixture f;
        f.source(3, 3, "Imprimante", "EMF");
        const int number = f.document(3, 3, "e", 2);
        const QString rowsBefore = f.rows();

        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QUORVANE_TEST_CRASH_AT", steps[index]);
        p.setProcessEnvironment(env);
        p.start(child, {WorkPath, ExportDir, LogFileName, QString::number(number)});
        ASSERT_TRUE(p.waitForFinished(30000));
        ASSERT_EQ(p.exitCode(), 70) << p.readAllStandardError().toStdString();

        // Until published, still waiting with everything it needs to go on the next pass; once
        // published, whole. The rows go last.
        const bool published = QFileInfo::exists(f.folder("EMF") + "1.QVX");
        EXPECT_EQ(published, index >= 3);
        EXPECT_EQ(f.rows(), rowsBefore);
        EXPECT_EQ(readFileBytes(DocumentFileName(number, 3)) == "e page 1" &&
                      readFileBytes(DocumentFileName(number + 1, 3)) == "e page 2",
                  index <= 3);
        if (published) {
            EXPECT_EQ(pages(f.folder("EMF") + "1.QVX"),
                      QStringList({"Common/Pages=2", "Pages/Page1=1.EMF", "Pages/Page2=2.EMF"}));
            EXPECT_EQ(readFileBytes(f.folder("EMF") + "1.EMF"), "e page 1");
            EXPECT_EQ(readFileBytes(f.folder("EMF") + "2.EMF"), "e page 2");
        }

        // The next pass completes the work: either the document goes now, or its rows are dropped
        // since its files were already sent. Only an end right at publication sends it twice.
        EXPECT_EQ(f.exportPending(), dsExported);
        EXPECT_EQ(f.rows(), "");
        const QStringList descriptors = QDir(f.folder("EMF")).entryList({"*.QVX"}, QDir::Files);
        EXPECT_EQ(descriptors.size(), steps[index] == "published" ? 2 : 1);
        for (const QString& name : descriptors) {
            for (const QString& key : pages(f.folder("EMF") + name).mid(1))
                EXPECT_TRUE(QFileInfo::exists(f.folder("EMF") + key.section('=', 1)))
                    << key.toStdString();
        }
    }
}
