// The structure tool: its entry run in this process on a SQLite kernel database reached through an
// alias, the user's answers scripted (cancel, OK and no, OK and yes, read back with the sqlite3
// tool), and the program itself started offscreen on an alias nobody defined.
#include "editor_helpers.h"

#include <schema/structuretool.h>

#include <support/qt_printers.h>

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTabWidget>
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

// The editor's answer: the note made 80 long, which rebuilds the table, then OK.
int lengthenNote(TForm& form)
{
    auto& editor = static_cast<TTableStrEditDlg&>(form);
    editor.show();
    editor.PC->setCurrentWidget(editor.pgFields);
    selectRow(editor.gFields, "NEW_NAME", "NOTE");
    EXPECT_TRUE(typeInto(editor.gFields, "SIZE", "80"));
    editor.bOK->click();
    return editor.ModalResult();
}

QStringList columns(SchemaDb& d)
{
    return d.rows("select group_concat(name) from pragma_table_info('VISIT')");
}

// Types into a line edit key by key, as a user does.
void typeText(QLineEdit* edit, const QString& text)
{
    for (const QChar c : text) {
        QKeyEvent press(QEvent::KeyPress, c.toUpper().unicode(), Qt::NoModifier, QString(c));
        QApplication::sendEvent(edit, &press);
    }
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

TEST(StructureTool, ABadNameOrAFailedChangeKeepsTheEditorAndTheUsersEditsUntilMended)
{
    SchemaDb d;
    makeClinic(d);
    d.db.close();
    d.kernel.exec("insert into VERSION values ('DBKERNEL', 7);");
    ScopedScriptedDialogs dialogs;
    // A new column named by a word SQLite keeps for itself (the tool takes it), and a new table
    // name that is no name, then one SQLite keeps for its own tables.
    dialogs.answerModal("TTableStrEditDlg", [](TForm& form) {
        auto& editor = static_cast<TTableStrEditDlg&>(form);
        editor.show();
        editor.PC->setCurrentWidget(editor.pgFields);
        editor.tbNewFld->click();
        EXPECT_TRUE(typeInto(editor.gFields, "NEW_NAME", "ORDER"));
        EXPECT_TRUE(typeInto(editor.gFields, "DT", "String"));
        EXPECT_TRUE(typeInto(editor.gFields, "SIZE", "40"));
        editor.PC->setCurrentWidget(editor.pgTable);
        typeText(editor.fNewName, "1 mauvais-nom;");
        editor.bOK->click();
        EXPECT_EQ(editor.ModalResult(), mrNone);
        EXPECT_EQ(editor.PC->currentWidget(), editor.pgTable);
        editor.fNewName->selectAll();
        pressKey(editor.fNewName, Qt::Key_Backspace);
        typeText(editor.fNewName, "SQLITE_VISIT");
        editor.bOK->click();
        return editor.ModalResult();
    });
    dialogs.answerMessage(mrOk,
                          "VISIT. Table name '1 mauvais-nom;' is not valid: a name is letters A-Z, "
                          "digits and _, not beginning with a digit.",
                          mtError);
    dialogs.answerMessage(mrYes, "Apply the changes to table VISIT now?");
    dialogs.answerMessage(mrOk, "SQLITE_VISIT", mtError);
    // The editor comes back as the user left it; without the new name the change is applied.
    dialogs.answerModal("TTableStrEditDlg", [&d](TForm& form) {
        auto& editor = static_cast<TTableStrEditDlg&>(form);
        editor.show();
        EXPECT_EQ(editor.Caption(), "Alter table - [VISIT]");
        EXPECT_EQ(rowsOf(editor.Engine.TFields, {"UA", "NEW_NAME", "DT", "SIZE"}),
                  QStringList({"|VIS_ID|Integer|", "|PAT_ID|Integer|", "|DOC_ID|Integer|",
                               "|NOTE|String|60", "C|ORDER|String|40"}));
        EXPECT_EQ(editor.fNewName->text(), "SQLITE_VISIT");
        // The failed change left nothing behind.
        EXPECT_EQ(columns(d), QStringList({"VIS_ID,PAT_ID,DOC_ID,NOTE"}));
        editor.PC->setCurrentWidget(editor.pgTable);
        editor.fNewName->selectAll();
        pressKey(editor.fNewName, Qt::Key_Backspace);
        editor.bOK->click();
        return editor.ModalResult();
    });
    dialogs.answerMessage(mrYes, "Apply the changes to table VISIT now?");
    dialogs.expectShowMessage("Table VISIT altered.");
    EXPECT_EQ(StructureToolMain({"KRN", "VISIT"}), 0);
    EXPECT_EQ(columns(d), QStringList({"VIS_ID,PAT_ID,DOC_ID,NOTE,ORDER"}));
    EXPECT_EQ(d.rows("select VIS_ID, NOTE, \"ORDER\" from VISIT"), QStringList({"1|Toux|NULL"}));

    // Given up after a failure, the run ends with status 1 and the table as it was.
    dialogs.answerModal("TTableStrEditDlg", [](TForm& form) {
        auto& editor = static_cast<TTableStrEditDlg&>(form);
        editor.show();
        editor.PC->setCurrentWidget(editor.pgFields);
        editor.tbNewFld->click();
        EXPECT_TRUE(typeInto(editor.gFields, "NEW_NAME", "GROUP"));
        EXPECT_TRUE(typeInto(editor.gFields, "DT", "Integer"));
        editor.PC->setCurrentWidget(editor.pgTable);
        typeText(editor.fNewName, "SQLITE_VISIT");
        editor.bOK->click();
        return editor.ModalResult();
    });
    dialogs.answerMessage(mrYes, "Apply the changes to table VISIT now?");
    dialogs.answerMessage(mrOk, "SQLITE_VISIT", mtError);
    dialogs.answerModal("TTableStrEditDlg", [](TForm& form) {
        auto& editor = static_cast<TTableStrEditDlg&>(form);
        editor.CancelButton->click();
        return editor.ModalResult();
    });
    EXPECT_EQ(StructureToolMain({"KRN", "VISIT"}), 1);
    EXPECT_EQ(columns(d), QStringList({"VIS_ID,PAT_ID,DOC_ID,NOTE,ORDER"}));
}

// Columns the table has under SQLite's keywords or under the words the tool keeps from new
// names stand in the way of no change.
TEST(StructureTool, ColumnsNamedByReservedWordsAreTheTablesAndTakePartInAChange)
{
    SchemaDb d;
    makeClinic(d);
    d.db.execute("alter table VISIT add column \"ORDER\" integer");
    d.db.execute("alter table VISIT add column \"FUNCTION\" varchar(20)");
    d.db.execute("alter table VISIT add column \"INT\" integer");
    d.db.execute("update VISIT set \"ORDER\" = 3, \"FUNCTION\" = 'f', \"INT\" = 5");
    d.db.close();
    d.kernel.exec("insert into VERSION values ('DBKERNEL', 7);"
                  "insert into METAFIELD (TABLE_NAME, FIELD_NAME, REQUIRED, VISIBLE, DATATYPE,"
                  " FSIZE, FPREC, ORD) values ('VISIT', 'ORDER', 0, 1, 1, 0, 0, 5),"
                  " ('VISIT', 'FUNCTION', 0, 1, 3, 20, 0, 6), ('VISIT', 'INT', 0, 1, 1, 0, 0, 7);");
    ScopedScriptedDialogs dialogs;
    dialogs.answerModal("TTableStrEditDlg", [](TForm& form) {
        EXPECT_EQ(
            rowsOf(static_cast<TTableStrEditDlg&>(form).Engine.TFields, {"NEW_NAME", "DT", "SIZE"}),
            QStringList({"VIS_ID|Integer|", "PAT_ID|Integer|", "DOC_ID|Integer|", "NOTE|String|60",
                         "ORDER|Integer|", "FUNCTION|String|20", "INT|Integer|"}));
        return lengthenNote(form);
    });
    dialogs.answerMessage(mrYes, "Apply the changes to table VISIT now?");
    dialogs.expectShowMessage("Table VISIT altered.");
    EXPECT_EQ(StructureToolMain({"KRN", "VISIT"}), 0);
    EXPECT_EQ(columns(d), QStringList({"VIS_ID,PAT_ID,DOC_ID,NOTE,ORDER,FUNCTION,INT"}));
    EXPECT_EQ(d.rows("select * from VISIT"), QStringList({"1|7|2|Toux|3|f|5"}));
    EXPECT_EQ(d.rows("select FSIZE from METAFIELD where TABLE_NAME = 'VISIT' and FIELD_NAME = "
                     "'NOTE'"),
              QStringList({"80"}));
}

namespace {

// The kernel tables as the README lists them for the structure tool, on the local kind.
const char* const ReadmeTables =
    "create table VERSION (MODULE varchar(30), VERSION integer);"
    "insert into VERSION values ('DBKERNEL', 7);"
    "create table _KRN_SYS_FLAGS (FLAG varchar(30), VALUE integer);"
    "create table METATABLE (TABLE_NAME varchar(30), KEY_FIELDS varchar(250), SYSTEM boolean,"
    " CUSTOM text, OWNER_NAME varchar(30), INSERT_HEAD text, INSERT_BODY text, UPDATE_HEAD text,"
    " UPDATE_BODY text, DELETE_HEAD text, DELETE_BODY text, REPL boolean, BASE_TABLE varchar(30),"
    " OBJECT_KIND varchar(1), TRACE_LOG varchar(1));"
    "create table METAFIELD (TABLE_NAME varchar(30), FIELD_NAME varchar(30), REQUIRED boolean,"
    " VISIBLE boolean, METATYPE varchar(30), DATATYPE integer, FSIZE integer, FPREC integer,"
    " CUSTOM text, ORIGIN varchar(30), NATIVE_NAME varchar(30), ORD integer);"
    "create table TABLELINK (PARENT varchar(30), CHILD varchar(30), KEY_FIELDS varchar(250),"
    " REF_FIELDS varchar(250), DEL_ACT varchar(1), CUSTOM text);"
    "create table ROLEPERM (DBROLE_ID integer, TABLE_NAME varchar(30), ACTION varchar(1),"
    " KIND integer);"
    "create table DBROLE (DBROLE_ID integer, DBNAME varchar(30));";

} // namespace

TEST(StructureTool, WhatTheDatabaseLacksOfTheKernelTablesIsNamedAtStart)
{
    struct Case
    {
        const char* driver;
        QString tables;
        QString missing;
        QString flagsSelect = {};
    };
    const QList<Case> cases{
        // Only the four tables of the kernel's metadata and versions, as the reader made.
        {"STANDARD",
         "create table VERSION (MODULE varchar(30), VERSION integer);"
         "insert into VERSION values ('DBKERNEL', 7);"
         "create table METATABLE (TABLE_NAME varchar(30), KEY_FIELDS varchar(50), SYSTEM boolean,"
         " CUSTOM text, TRACE_LOG boolean, BASE_TABLE varchar(30), OBJECT_KIND varchar(1));"
         "create table METAFIELD (TABLE_NAME varchar(30), FIELD_NAME varchar(30), REQUIRED "
         "boolean, VISIBLE boolean, METATYPE varchar(30), DATATYPE integer, FSIZE integer, FPREC "
         "integer, CUSTOM text, ORIGIN varchar(30), NATIVE_NAME varchar(30));"
         "create table TABLELINK (PARENT varchar(30), CHILD varchar(30), KEY_FIELDS varchar(50),"
         " REF_FIELDS varchar(50), DEL_ACT varchar(1), CUSTOM text);",
         "_KRN_SYS_FLAGS, METATABLE.OWNER_NAME, METATABLE.INSERT_HEAD, METATABLE.INSERT_BODY, "
         "METATABLE.UPDATE_HEAD, METATABLE.UPDATE_BODY, METATABLE.DELETE_HEAD, "
         "METATABLE.DELETE_BODY, METATABLE.REPL, METAFIELD.ORD, ROLEPERM, DBROLE"},
        // Enough for the local kind; the servers' triggers need more. Oracle has the flags' table
        // under a quoted name.
        {"MSSQL", ReadmeTables, "KRN_SYS_TRACE, REC_VERSION",
         "select * from _KRN_SYS_FLAGS where 0=1"},
        {"ORACLE", ReadmeTables, "KRN_SYS_TRACE", "select * from \"_KRN_SYS_FLAGS\" where 0=1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.driver);
        krntest::KernelDb kernel;
        kernel.exec(c.tables);
        auto recorder = std::make_shared<krntest::Recorder>();
        if (QLatin1String(c.driver) != QLatin1String("STANDARD")) {
            krntest::registerRecordingDriver(c.driver, recorder);
            kernel.addAlias("KRN", c.driver);
        }
        ScopedScriptedDialogs dialogs; // no box is shown
        testing::internal::CaptureStderr();
        EXPECT_EQ(StructureToolMain({"KRN", "VISIT"}), 1);
        EXPECT_EQ(QString::fromStdString(testing::internal::GetCapturedStderr()),
                  "The database of alias KRN lacks what the structure tool needs of a kernel "
                  "database: " +
                      c.missing + "\n");
        EXPECT_TRUE(dialogs.requests().isEmpty());
        if (!c.flagsSelect.isEmpty()) {
            EXPECT_TRUE(recorder->statements.contains(c.flagsSelect))
                << recorder->statements.join('\n').toStdString();
        }
    }
}

TEST(StructureTool, TheTablesTheReadmeListsAreEnoughToRebuildATable)
{
    krntest::KernelDb kernel;
    kernel.exec(ReadmeTables);
    {
        Database db;
        db.setAliasName("KRN");
        db.setDatabaseName("Main");
        TDBVersion version;
        version.SetDataBase(&db);
        version.UpdateServerKind();
        TTableStruct patient;
        patient.setObjectName("PATIENT");
        patient.SetDBVersion(&version);
        patient.SetTableName("PATIENT");
        addField(patient, "PAT_ID", dtInteger, 0, foRequired);
        addIndex(patient, "PRIMARY KEY", "PAT_ID", idxPrimary);
        patient.Execute();
        TTableStruct visit;
        visit.setObjectName("VISIT");
        visit.SetDBVersion(&version);
        visit.SetTableName("VISIT");
        addField(visit, "VIS_ID", dtInteger, 0, foRequired);
        addField(visit, "PAT_ID", dtInteger);
        addField(visit, "NOTE", dtString, 20);
        addIndex(visit, "PRIMARY KEY", "VIS_ID", idxPrimary);
        addLink(visit, "PATIENT", "PAT_ID", "PAT_ID", daCascade);
        visit.Execute();
        db.execute("insert into PATIENT values (7)");
        db.execute("insert into VISIT values (1, 7, 'Toux')");
        db.close();
    }
    ScopedScriptedDialogs dialogs;
    // A longer note rebuilds the table: a copy with the rows, the links and the rights.
    dialogs.answerModal("TTableStrEditDlg", lengthenNote);
    dialogs.answerMessage(mrYes, "Apply the changes to table VISIT now?");
    dialogs.expectShowMessage("Table VISIT altered.");
    EXPECT_EQ(StructureToolMain({"KRN", "VISIT"}), 0);
    EXPECT_EQ(kernel.rows("select * from VISIT"), QStringList({"1|7|Toux"}));
    EXPECT_EQ(kernel.rows("select FSIZE from METAFIELD where TABLE_NAME = 'VISIT' and FIELD_NAME = "
                          "'NOTE'"),
              QStringList({"80"}));
    EXPECT_EQ(kernel.rows("select PARENT, CHILD, REF_FIELDS from TABLELINK"),
              QStringList({"PATIENT|VISIT|PAT_ID"}));
    EXPECT_EQ(kernel.rows("select group_concat(ACTION, '') from ROLEPERM where TABLE_NAME = "
                          "'VISIT'"),
              QStringList({"SIUD"}));
    EXPECT_EQ(kernel.rows("select count(*) from sqlite_master where name like '%_TMP'"),
              QStringList({"0"}));
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
