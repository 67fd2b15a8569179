// The program's own binary, offscreen, beside a practice software whose database is the practice
// database file written by hand: it connects at start-up without asking anything and hands a
// document identified beforehand to the practice software with its patient's names.
#include "practice_fixture.h"
#include "program_folder.h"

#include <platform/support/globals.h>

#include <QDir>
#include <QFileInfo>

#include <gtest/gtest.h>

TEST(PracticeProgram, AnIdentifiedDocumentIsPublishedWithItsPatientsNames)
{
    ProgramFolder folder;
    PracticeFolder practice(folder.ws.path("tressoly/"));
    practice.writeVersionFile();
    practice.createDatabase();
    folder.writeUsualIni({"Tressoly_Path=" + practice.folder()});
    // One folder source, and its document identified as patient 1 (DUPONT JEAN) before the start.
    folder.prepareTables(
        "INSERT INTO \"cfg.db\" (Number, Type, State, Titul, Extension, NeedId, NeedComment, "
        "Warning) VALUES (1, 1, 1, 'Dossier ECG', 'ECG', 1, 0, 0);"
        "INSERT INTO \"FILES.DB\" (Number, Pack, Cfg, Date, Time, Type, Pages, NeedId, Patient, "
        "TComment1) VALUES (1, 0, 1, '2026-12-06', '22:10:46', 0, 1, 0, 1, 'repos');");
    writeFileBytes(folder.work() + "buf/1.1", "tracé");
    folder.start();

    const QString descriptor = practice.folder() + "QVXIMP/ECG/1.QVX";
    EXPECT_TRUE(folder.waitFor([&] { return QFileInfo::exists(descriptor); }))
        << folder.output().toStdString();
    // Not before the sixth quiet tick, which follows the first tick: the tick during which it
    // came is the seventh or later, and at least six have said they were done.
    EXPECT_GE(folder.output().count("QUORVANE tick "), 6);
    // The descriptor is written before the document's row goes: wait for the row too.
    EXPECT_TRUE(
        folder.waitFor([&] { return folder.cli("SELECT count(*) FROM \"FILES.DB\";") == "0"; }));
    folder.process.terminate();
    EXPECT_TRUE(folder.process.waitForFinished(20000));

    const QStringList common = iniSectionOf(descriptor, "Common");
    // The date of birth in the program's regional format.
    const char* const born = ProgLanguage == 2 ? "Naissance=12.03.1950" : "Naissance=12/03/1950";
    for (const char* line :
         {"Source=Dossier ECG", "Nom=DUPONT", "Prenom=JEAN", born, "TComment1=repos", "Pages=1"})
        EXPECT_TRUE(common.contains(line)) << line << " in " << common.join(" | ").toStdString();
    EXPECT_EQ(iniSectionOf(descriptor, "Pages"), QStringList({"Page1=1.ECG"}));
    EXPECT_EQ(readFileBytes(practice.folder() + "QVXIMP/ECG/1.ECG"), "tracé");
    // Published on a quiet tick, after the start: nothing was asked of anyone meanwhile.
    EXPECT_FALSE(folder.output().contains("question open")) << folder.output().toStdString();
}
