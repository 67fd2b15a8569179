// The structure tool: its entry run in this process on a SQLite kernel database reached through an
// alias, the user's answers scripted (cancel, OK and no, OK and yes, read back with the sqlite3
// tool), and the program itself started offscreen on an alias nobody defined.
#include "editor_helpers.h"

#include <schema/structuretool.h>

#include <support/qt_printers.h>

#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QToolButton>

#include <gtest/gtest.h>

using namespace schematest;

namespace {

// The editor's answer: a nullable column MOTIF added, then OK.
int addColumn(TForm& form)
{
    auto& editor = static_cast<TTableStrEditDlg&>(form);
    editor.show();
    EXPECT_EQ(editor.Caption(), "Alter table - [VISIT]");
    editor.PC->setCurrentWidget(editor.pgFields);
    editor.tbNewFld->click();
    EXPECT_TRUE(typeInto(editor.gFields, "NEW_NAME", "MOTIF"));
    EXPECT_TRUE(typeInto(editor.gFields, "DT", "String"));
    EXPECT_TRUE(typeInto(editor.gFields, "SIZE", "40"));
    editor.bOK->click();
    return editor.ModalResult();
}

QStringList columns(SchemaDb& d)
{
    return d.rows("select group_concat(name) from pragma_table_info('VISIT')");
}

} // namespace

TEST(StructureTool, TheEditorOpensOnTheTableAndAppliesOnlyWhatTheUserAccepts)
{
    SchemaDb d;
    makeClinic(d);
    d.db.close();
    d.kernel.exec("insert into VERSION values ('DBKERNEL', 7);"); // a kernel database's own row
    ScopedScriptedDialogs dialogs;
    EXPECT_EQ(StructureToolMain({}), 2);
    EXPECT_EQ(StructureToolMain({"KRN", "VISIT where 0=1; drop table PATIENT --"}), 2);

    dialogs.answerModal("TTableStrEditDlg", [](TForm& form) {
        auto& editor = static_cast<TTableStrEditDlg&>(form);
        EXPECT_EQ(rowsOf(editor.Engine.TFields, {"NEW_NAME"}).join(','),
                  "VIS_ID,PAT_ID,DOC_ID,NOTE");
        editor.CancelButton->click();
        return editor.ModalResult();
    });
    EXPECT_EQ(StructureToolMain({"KRN", "visit"}), 0);

    dialogs.answerModal("TTableStrEditDlg", addColumn);
    dialogs.answerMessage(mrNo, "Apply the changes to table VISIT now?");
    EXPECT_EQ(StructureToolMain({"KRN", "VISIT"}), 0);
    EXPECT_EQ(columns(d), QStringList({"VIS_ID,PAT_ID,DOC_ID,NOTE"}));

    dialogs.answerModal("TTableStrEditDlg", addColumn);
    dialogs.answerMessage(mrYes, "Apply the changes to table VISIT now?");
    dialogs.expectShowMessage("Table VISIT altered.");
    EXPECT_EQ(StructureToolMain({"KRN", "VISIT"}), 0);
    EXPECT_EQ(columns(d), QStringList({"VIS_ID,PAT_ID,DOC_ID,NOTE,MOTIF"}));
    EXPECT_EQ(d.rows("select VIS_ID, PAT_ID, DOC_ID, NOTE, MOTIF from VISIT"),
              QStringList({"1|7|2|Toux|NULL"}));
    EXPECT_EQ(d.rows("select DATATYPE, FSIZE from METAFIELD where TABLE_NAME = 'VISIT' and "
                     "FIELD_NAME = 'MOTIF'"),
              QStringList({"3|40"}));

    // An alias whose database cannot be opened ends the run.
    AliasRegistry::global().modify(
        "EMPTY", "STANDARD", ConnectionParams::fromLines({"PATH=" + d.kernel.folder() + "/none"}));
    EXPECT_EQ(StructureToolMain({"EMPTY", "VISIT"}), 1);
}

TEST(StructureTool, TheProgramEndsOnAnUnknownAliasWithItsMessage)
{
    QTemporaryDir config;
    QProcess program;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("XDG_CONFIG_HOME", config.path());
    program.setProcessEnvironment(env);
    program.start(QStringLiteral(QUORVANE_BINARY_DIR "/quorvane-structure"), {"NOPE", "VISIT"});
    ASSERT_TRUE(program.waitForFinished(60000)) << program.errorString().toStdString();
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program.exitCode(), 1);
    const QString error = QString::fromLocal8Bit(program.readAllStandardError());
    EXPECT_TRUE(error.contains("Unknown database alias: NOPE")) << error.toStdString();
    EXPECT_TRUE(error.contains(config.path())) << error.toStdString();
}
