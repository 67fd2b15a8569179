// The custom data editor offscreen: labels and lookup values read into their language columns
// and written back only where they changed, the checks of lookup keys and of the separators, the
// table-list mode on a SQLite kernel database, and the editor opened from the structure editor.
#include "editor_helpers.h"

#include <kernel/dbaccess.h>
#include <schema/customedit.h>

#include <support/qt_printers.h>

#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QPushButton>
#include <QToolButton>

#include <gtest/gtest.h>

using namespace schematest;

namespace {

const QString Long80 = QString(70, QLatin1Char('x')) + QStringLiteral("0123456789");

class CustomEdit : public ::testing::Test
{
protected:
    void SetUp() override
    {
        makeClinic(d);
        auto stay = d.table("SEJOUR");
        addField(*stay, "SEJ_ID", dtInteger, 0, foRequired);
        addField(*stay, "MODE", dtString, 4);
        addIndex(*stay, "PRIMARY KEY", "SEJ_ID", idxPrimary);
        stay->Execute();
        for (const char* sql :
             {"update METATABLE set CUSTOM = 'Label=#fra#Visites#rus#Визиты#eng#Visits' || "
              "char(13, 10) || 'StatHidden=1' where TABLE_NAME = 'VISIT'",
              "update METAFIELD set CUSTOM = 'Label=Numéro' where FIELD_NAME = 'VIS_ID'",
              "update METAFIELD set CUSTOM = 'Label=#fra#Virus#rus#Вирус#eng#Virus' || "
              "char(13, 10) || 'LookupKeys=1,2,3' || char(13, 10) || "
              "'LookupValues=Un,#fra#Deux#rus#Два' where TABLE_NAME = 'VISIT' and FIELD_NAME = "
              "'PAT_ID'",
              "update METAFIELD set CUSTOM = 'Label=Médecin', VISIBLE = 0 where TABLE_NAME = "
              "'VISIT' and FIELD_NAME = 'DOC_ID'"})
            d.db.execute(QString::fromUtf8(sql));
        for (SqlQuery* q : {&tables, &fields, &links})
            q->setDatabase(&d.db);
        tables.setSql("select * from METATABLE order by TABLE_NAME");
        fields.setSql("select * from METAFIELD order by TABLE_NAME,ORD");
        links.setSql("select * from TABLELINK");
        access.SetDataBase(&d.db);
        access.SetTables(&tables);
        access.SetFields(&fields);
        access.SetLinks(&links);
        access.UpdateServerKind();
        access.LoadMetaData();
        form = CreateForm<TfCustomEdit>();
        form->DBAccess = &access;
        form->pTableList->show();
        form->fTableList->addItems({"PATIENT", "SEJOUR", "VISIT"});
        form->show();
    }
    void TearDown() override { form->Free(); }

    QStringList labels(DataSet& set) { return rowsOf(set, {"FIELD_NAME", "VAL1", "VAL2", "VAL3"}); }
    QStringList lookups() { return rowsOf(form->CDSLook, {"KEY", "VAL1", "VAL2", "VAL3"}); }
    // The field's stored Custom text, line breaks shown as "/".
    QStringList stored(const QString& table, const QString& field)
    {
        return d.rows(QStringLiteral("select replace(CUSTOM, char(13, 10), '/') from METAFIELD "
                                     "where TABLE_NAME = '%1' and FIELD_NAME = '%2'")
                          .arg(table, field));
    }
    QStringList updates(qsizetype from)
    {
        return d.firstLines(from).filter(QRegularExpression("^update "));
    }

    SchemaDb d;
    ScopedScriptedDialogs dialogs;
    SqlQuery tables, fields, links;
    TDBAccess access;
    TfCustomEdit* form = nullptr;
};

} // namespace

TEST_F(CustomEdit, LabelsLoadIntoTheirLanguagesAndAnOkThatChangesNothingWritesNothing)
{
    form->LoadTable("VISIT");
    EXPECT_EQ(form->Caption(), "Custom data - VISIT");
    EXPECT_EQ(labels(form->CDSTable),
              QStringList({"Label|Visites|Визиты|Visits", "Multi Label|||"}));
    EXPECT_TRUE(form->cbStatHidden->isChecked());
    // The hidden field is not shown; "Virus" holds the letters of "rus" and is French all the same.
    EXPECT_EQ(labels(form->CDSFields),
              QStringList({"VIS_ID|Numéro|Numéro|Numéro", "PAT_ID|Virus|Вирус|Virus", "NOTE|||"}));
    EXPECT_FALSE(form->pLink->isVisibleTo(form));
    selectRow(form->GFields, "FIELD_NAME", "PAT_ID");
    // More keys than values: the last key has no text yet.
    EXPECT_EQ(lookups(), QStringList({"1|Un|Un|Un", "2|Deux|Два|", "3|||"}));
    EXPECT_TRUE(form->cbLook->isChecked());
    EXPECT_FALSE(form->cbLook->isEnabled()); // the field has lookup rows

    qsizetype from = d.recorder->statements.size();
    form->bOK->click();
    EXPECT_EQ(form->ModalResult(), mrOk);
    EXPECT_TRUE(updates(from).isEmpty()) << updates(from).join('\n').toStdString();
    EXPECT_EQ(stored("VISIT", "PAT_ID"), QStringList({"Label=#fra#Virus#rus#Вирус#eng#Virus/"
                                                      "LookupKeys=1,2,3/LookupValues=Un,#fra#"
                                                      "Deux#rus#Два"}));

    // A label is kept whole, however long.
    selectRow(form->GFields, "FIELD_NAME", "NOTE");
    ASSERT_TRUE(typeInto(form->GFields, "VAL1", Long80));
    ASSERT_TRUE(typeInto(form->GFields, "VAL2", "Примечание"));
    from = d.recorder->statements.size();
    form->bOK->click();
    EXPECT_EQ(updates(from), QStringList({"update METAFIELD set CUSTOM = ? where TABLE_NAME = ? "
                                          "and FIELD_NAME = ?"}));
    EXPECT_EQ(stored("VISIT", "NOTE"),
              QStringList({"Label=#fra#" + Long80 + "#rus#Примечание#eng#/"}));
    EXPECT_EQ(stored("VISIT", "DOC_ID"), QStringList({"Label=Médecin"}));
    access.SetLanguage(krnLangFRA);
    EXPECT_EQ(access.FindTableProps("VISIT")->FieldPropsByName("NOTE")->Label(), Long80);
    access.SetLanguage(krnLangUnknown);
}

TEST_F(CustomEdit, LookupKeysAreCheckedAndSeparatorsRefused)
{
    form->LoadTable("VISIT");
    selectRow(form->GFields, "FIELD_NAME", "PAT_ID");
    pressKey(form->GLook, Qt::Key_Insert);
    dialogs.expectException("A lookup key or value cannot contain \",\"");
    typeInto(form->GLook, "KEY", "4,5");
    EXPECT_EQ(form->CDSLook.fieldByName("KEY")->asString(), "");
    ASSERT_TRUE(typeInto(form->GLook, "KEY", "quatre"));
    dialogs.expectException("'quatre' is not a valid integer value");
    selectRow(form->GLook, "KEY", "1"); // leaving the row posts it
    ASSERT_TRUE(typeInto(form->GLook, "KEY", "4"));
    dialogs.expectException("A label cannot contain \"#\"");
    typeInto(form->GLook, "VAL2", "четыре#");
    ASSERT_TRUE(typeInto(form->GLook, "VAL1", "Quatre"));
    dialogs.expectException("A label cannot contain \"#\"");
    selectRow(form->GFields, "FIELD_NAME", "NOTE"); // posts the lookup row
    typeInto(form->GFields, "VAL1", "Note #1");
    selectRow(form->GFields, "FIELD_NAME", "PAT_ID");
    // Inserted where the cursor was, above the first row.
    EXPECT_EQ(lookups(), QStringList({"4|Quatre||", "1|Un|Un|Un", "2|Deux|Два|", "3|||"}));
    form->bOK->click();
    EXPECT_EQ(stored("VISIT", "PAT_ID"),
              QStringList({"Label=#fra#Virus#rus#Вирус#eng#Virus/LookupKeys=4,1,2,3/"
                           "LookupValues=Quatre,Un,#fra#Deux#rus#Два,/"}));

    // Every lookup row deleted: both lines go.
    for (int i = 0; i < 4; ++i) {
        dialogs.answerMessage(mrOk, "Delete record?");
        pressKey(form->GLook, Qt::Key_Delete, Qt::ControlModifier);
    }
    EXPECT_TRUE(form->CDSLook.isEmpty());
    EXPECT_TRUE(form->cbLook->isEnabled()); // an integer field without rows
    form->bOK->click();
    EXPECT_EQ(stored("VISIT", "PAT_ID"), QStringList({"Label=#fra#Virus#rus#Вирус#eng#Virus/"}));

    // A key of a string field is no longer than the field.
    form->LoadTable("SEJOUR");
    selectRow(form->GFields, "FIELD_NAME", "MODE");
    EXPECT_TRUE(form->cbLook->isEnabled());
    EXPECT_FALSE(form->pLook->isVisibleTo(form));
    form->cbLook->click();
    EXPECT_TRUE(form->pLook->isVisibleTo(form));
    pressKey(form->GLook, Qt::Key_Insert);
    ASSERT_TRUE(typeInto(form->GLook, "KEY", "URGEN"));
    ASSERT_TRUE(typeInto(form->GLook, "VAL1", "Urgence"));
    dialogs.expectException("Key too long: max length is 4 characters.");
    pressKey(form->GLook, Qt::Key_Insert); // posting comes first, and is refused
    ASSERT_TRUE(typeInto(form->GLook, "KEY", "URG"));
    pressKey(form->GLook, Qt::Key_Insert);
    ASSERT_TRUE(typeInto(form->GLook, "VAL1", "x"));
    dialogs.expectException("Lookup key is empty.");
    pressKey(form->GLook, Qt::Key_Insert);
    pressKey(form->GLook, Qt::Key_Escape);
    EXPECT_EQ(lookups(), QStringList({"URG|Urgence||"}));
    form->bOK->click();
    EXPECT_EQ(stored("SEJOUR", "MODE"), QStringList({"LookupKeys=URG/LookupValues=Urgence/"}));
}

TEST_F(CustomEdit, ChoosingAnotherTableSavesTheChangedRowsOfTheFirst)
{
    form->fTableList->setCurrentText("VISIT");
    form->fTableListClick(nullptr);
    selectRow(form->GFields, "FIELD_NAME", "NOTE");
    ASSERT_TRUE(typeInto(form->GFields, "VAL1", "Remarque"));
    selectRow(form->GTable, "FIELD_NAME", "Multi Label");
    ASSERT_TRUE(typeInto(form->GTable, "VAL3", "Visits"));
    const qsizetype from = d.recorder->statements.size();
    form->fTableList->setCurrentText("PATIENT");
    form->fTableListClick(form->fTableList);
    EXPECT_EQ(updates(from),
              QStringList({"update METATABLE set CUSTOM = ? where TABLE_NAME = ?",
                           "update METAFIELD set CUSTOM = ? where TABLE_NAME = ? and FIELD_NAME "
                           "= ?"}));
    EXPECT_EQ(stored("VISIT", "NOTE"), QStringList({"Label=Remarque/"}));
    EXPECT_EQ(d.rows("select replace(CUSTOM, char(13, 10), '/') from METATABLE where "
                     "TABLE_NAME = 'VISIT'"),
              QStringList({"Label=#fra#Visites#rus#Визиты#eng#Visits/StatHidden=1/"
                           "MultiLabel=Visits/"}));
    // The description was read again; the other table is shown.
    EXPECT_EQ(access.FindTableProps("VISIT")->FieldPropsByName("NOTE")->Label(), "Remarque");
    EXPECT_EQ(form->Caption(), "Custom data - PATIENT");
    EXPECT_EQ(labels(form->CDSFields), QStringList({"PAT_ID|||", "NOM|||"}));
}

TEST(CustomEditFromTheStructureEditor, OkWritesIntoTheEditorsFieldRows)
{
    SchemaDb d;
    makeClinic(d);
    d.db.execute("update METAFIELD set VISIBLE = 0, CUSTOM = 'Label=Médecin' where FIELD_NAME = "
                 "'DOC_ID' and TABLE_NAME = 'VISIT'");
    ScopedScriptedDialogs dialogs;
    auto visit = d.table("VISIT", uaAlter);
    TTableStrEditDlg* editor = CreateForm<TTableStrEditDlg>();
    editor->show();
    editor->LoadStructure(*visit);
    dialogs.answerModal("TfCustomEdit", [](TForm& form) {
        auto& custom = static_cast<TfCustomEdit&>(form);
        EXPECT_EQ(custom.Caption(), "Custom data - VISIT");
        EXPECT_EQ(rowsOf(custom.CDSFields, {"FIELD_NAME"}),
                  QStringList({"VIS_ID", "PAT_ID", "NOTE"}));
        selectRow(custom.GFields, "FIELD_NAME", "NOTE");
        typeInto(custom.GFields, "VAL1", "Remarque");
        custom.bOK->click();
        return custom.ModalResult();
    });
    editor->tbCustom->click();
    EXPECT_EQ(rowsOf(editor->Engine.TFields, {"NEW_NAME", "UA", "ONLY_META", "CUSTOM"}),
              QStringList({"VIS_ID||0|", "PAT_ID||0|", "DOC_ID||0|Label=Médecin",
                           "NOTE|A|1|Label=Remarque\r\n"}));
    editor->Free();
}
