// The translation dictionary and its statement file: reading, writing and merging, against
// hand-written files.
#include <platform/exception.h>
#include <platform/fileops.h>

#include <support/qt_printers.h>
#include <support/translator_scope.h>
#include <support/workspace.h>

#include <QFile>

#include <gtest/gtest.h>

namespace {

class Dictionary : public ::testing::Test
{
protected:
    void TearDown() override { fileops::resetFaults(); }

    static QString text(const QString& formClass, const QString& name)
    {
        return TranslationText(FindTranslation(formClass, name));
    }

    TestWorkspace ws;
    const TranslatorScope translator{ws.path("QUORVANE.LAN")};
};

TEST_F(Dictionary, SavesEveryEntryInKeyOrderAsTheHandWrittenFile)
{
    AddTranslation("TMainForm", "LC1.17", "17=<Aucun>");
    AddTranslation("TMainForm", "Label1", "Utilisateur d'été");
    AddTranslation("TMainForm", "bCont", "&Continuer");
    AddTranslation("TIdDlg", "OKBtn", "Valider");
    // A key differing only in case is the same key: the first text stays.
    EXPECT_EQ(AddTranslation("TMAINFORM", "BCONT", "other"), FindTranslation("TMainForm", "bCont"));
    SaveTranslations();
    EXPECT_EQ(readFileBytes(TranslationFileName), testData("translation/saved.lan"));
}

TEST_F(Dictionary, LoadingKeepsTheFirstStatementAndKeysNumberedLinesByTheirNumber)
{
    writeFileBytes(TranslationFileName, testData("translation/loaded.lan"));
    ASSERT_TRUE(LoadTranslations());
    EXPECT_EQ(TranslationCount(), 4);
    EXPECT_EQ(text("tmainform", "BCONT"), "&Suite");
    EXPECT_EQ(text("TMainForm", "LC1.17"), "17=<Rien>");
    EXPECT_EQ(text("TMainForm", "Label1"), "l'"); // the unterminated rest is dropped
    EXPECT_EQ(text("TEdge", "N"), "a'b");         // everything outside the quotes is ignored
    EXPECT_EQ(TLCLineKey("LC1.", "no number"), "LC1.no number");

    // No file, or a name that is not a file: an empty dictionary, and false.
    for (const QString& name : {ws.path("missing.lan"), ws.root(), QString()}) {
        TranslationFileName = name;
        EXPECT_FALSE(LoadTranslations() || TranslationCount() > 0) << name.toStdString();
    }
}

TEST_F(Dictionary, MergingReplacesAndAddsStatementsWhereverTheFileLeavesThem)
{
    const QByteArray head = "begin\r\nif (F='TA')AND(N='x') then Result:='old';\r\n";
    const QByteArray keep = "if (F='TA')AND(N='y') then Result:='keep';\r\n";
    const QByteArray added = "if (F='TA')AND(N='x') then Result:='new';\r\n"
                             "if (F='TB')AND(N='z') then Result:='it''s';\r\n";
    const QByteArray end = "end; {TRANSLATE}\r\n";
    // The same key in other letters would be read first and hide the new text: it goes too.
    const QByteArray otherCase = "begin\r\nif (F='ta')AND(N='X') then Result:='old';\r\n";
    const std::pair<std::optional<QByteArray>, QByteArray> cases[] = {
        {head + keep + end, "begin\r\n" + keep + added + end},       // at the marker
        {head + keep, "begin\r\n" + keep + added + end},             // no marker: at the end
        {std::nullopt, "begin\r\n" + added + end},                   // no file: created
        {otherCase + keep + end, "begin\r\n" + keep + added + end}}; // replaced all the same
    const QString file = TranslationFileName;
    for (const auto& [before, after] : cases) {
        QFile::remove(file);
        if (before)
            writeFileBytes(file, *before);
        MergeTranslations({"TA", "TB"}, {"x", "z"}, {"new", "it's"}, file);
        EXPECT_EQ(readFileBytes(file), after);
    }

    // A numbered line named by its position is the line named by its number.
    writeFileBytes(file, "begin\r\nif (F='TA')AND(N='LC1.Consts[3]') then Result:='17=Old';\r\n" +
                             keep + end);
    MergeTranslations({"TA"}, {"LC1.17"}, {"17=New"}, file);
    EXPECT_EQ(readFileBytes(file),
              "begin\r\n" + keep + "if (F='TA')AND(N='LC1.17') then Result:='17=New';\r\n" + end);

    // A failed rename leaves the old file whole and no temporary file behind.
    const QByteArray old = readFileBytes(file);
    AddTranslation("TA", "x", "newer");
    fileops::failNth(fileops::Op::Rename, 1, ENOSPC);
    EXPECT_THROW(SaveTranslations(), EInOutError);
    fileops::failNth(fileops::Op::Rename, 1, ENOSPC);
    EXPECT_THROW(MergeTranslations({"TA"}, {"x"}, {"newer"}, file), EInOutError);
    EXPECT_EQ(readFileBytes(file), old);
    EXPECT_FALSE(QFile::exists(file + ".new"));
}

} // namespace
