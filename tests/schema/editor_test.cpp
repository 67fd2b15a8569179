// The structure editor offscreen on a SQLite kernel database, driven through its controls with
// scripted dialogs: the fields, indexes and links pages, the new link dialog, the action, OK and
// Cancel.
#include "editor_helpers.h"

#include <schema/newlink.h>

#include <support/qt_printers.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QToolButton>

#include <gtest/gtest.h>

using namespace schematest;

namespace {

class Editor : public ::testing::Test
{
protected:
    void SetUp() override
    {
        makeClinic(d);
        visit = d.table("VISIT", uaAlter);
        dlg = CreateForm<TTableStrEditDlg>();
        dlg->show();
        dlg->LoadStructure(*visit);
    }
    void TearDown() override { dlg->Free(); }

    void page(QWidget* p)
    {
        dlg->PC->setCurrentWidget(p);
        QCoreApplication::processEvents();
    }
    QStringList fields(const QStringList& columns = {"UA", "NEW_NAME", "DATATYPE", "SIZE", "ORDER"})
    {
        return rowsOf(dlg->Engine.TFields, columns);
    }
    QString members() { return dlg->Engine.TInd.fieldByName("FIELDS")->asString(); }
    QStringList listed(QListWidget* list)
    {
        QStringList names;
        for (int i = 0; i < list->count(); ++i)
            names << list->item(i)->text();
        return names;
    }
    // Adds a link through the new link dialog: the master, then what the callback does.
    void newLink(const QString& master, const std::function<void(TfNewLink&)>& more = {})
    {
        dialogs.answerModal("TfNewLink", [master, more](TForm& form) {
            auto& link = static_cast<TfNewLink&>(form);
            link.fTList->setEditText(master);
            link.fTListClick(link.fTList);
            if (more)
                more(link);
            link.bOK->click();
            return link.ModalResult();
        });
        dlg->tbNewLink->click();
    }

    SchemaDb d;
    ScopedScriptedDialogs dialogs;
    std::unique_ptr<TTableStruct> visit;
    TTableStrEditDlg* dlg = nullptr;
};

} // namespace

TEST_F(Editor, FieldsAreAddedInsertedMovedDroppedRevertedAndUndone)
{
    EXPECT_EQ(dlg->Caption(), "Alter table - [VISIT]");
    EXPECT_FALSE(dlg->PC->isTabVisible(dlg->PC->indexOf(dlg->pgInsTrig))); // the local kind
    page(dlg->pgFields);
    const QStringList loaded{"|VIS_ID|1||1", "|PAT_ID|1||2", "|DOC_ID|1||3", "|NOTE|3|60|4"};
    EXPECT_EQ(fields(), loaded);

    // A new column goes last, marked new; its type is chosen by typing the start of its caption.
    dlg->tbNewFld->click();
    ASSERT_TRUE(typeInto(dlg->gFields, "NEW_NAME", "MOTIF"));
    dialogs.expectException("xyz is invalid datatype");
    typeInto(dlg->gFields, "DT", "xyz");
    ASSERT_TRUE(typeInto(dlg->gFields, "DT", "str"));
    EXPECT_EQ(dlg->Engine.TFields.fieldByName("DT")->asString(), "String");
    EXPECT_FALSE(typeInto(dlg->gFields, "PREC", "2")); // a string has no precision
    ASSERT_TRUE(typeInto(dlg->gFields, "SIZE", "40"));
    page(dlg->pgInd); // leaving the page posts the row
    page(dlg->pgFields);
    EXPECT_EQ(fields().last(), "C|MOTIF|3|40|5");

    // Insert puts a row between the current row and the one above.
    selectRow(dlg->gFields, "NEW_NAME", "NOTE");
    pressKey(dlg->gFields, Qt::Key_Insert);
    ASSERT_TRUE(typeInto(dlg->gFields, "NEW_NAME", "URGENT"));
    ASSERT_TRUE(typeInto(dlg->gFields, "DT", "Logical"));
    EXPECT_FALSE(typeInto(dlg->gFields, "SIZE", "1")); // only strings and numbers have a size
    selectRow(dlg->gFields, "NEW_NAME", "VIS_ID");
    EXPECT_EQ(fields({"NEW_NAME", "ORDER"}),
              QStringList({"VIS_ID|1", "PAT_ID|2", "DOC_ID|3", "URGENT|4", "NOTE|5", "MOTIF|6"}));
    EXPECT_FALSE(typeInto(dlg->gFields, "SIZE", "4")); // an integer has no size either

    // Up and Down move a row one place.
    selectRow(dlg->gFields, "NEW_NAME", "NOTE");
    dlg->tbUp->click();
    dlg->tbDown->click();
    dlg->tbDown->click();
    EXPECT_EQ(rowsOf(dlg->Engine.TFields, {"NEW_NAME"}).join(','),
              "VIS_ID,PAT_ID,DOC_ID,URGENT,MOTIF,NOTE");

    // An existing column is only marked dropped: read-only until reverted.
    selectRow(dlg->gFields, "NEW_NAME", "DOC_ID");
    dlg->tbDelFld->click();
    EXPECT_EQ(dlg->Engine.TFields.fieldByName("UA")->asString(), "D");
    EXPECT_TRUE(dlg->gFields->ReadOnly);
    EXPECT_FALSE(dlg->tbDelFld->isEnabled());
    EXPECT_TRUE(dlg->tbRevFld->isEnabled());
    EXPECT_FALSE(typeInto(dlg->gFields, "NEW_NAME", "DOCTOR_ID"));
    dlg->tbRevFld->click();
    EXPECT_EQ(dlg->Engine.TFields.fieldByName("UA")->asString(), "");
    EXPECT_FALSE(dlg->gFields->ReadOnly);

    // A key field stays required.
    selectRow(dlg->gFields, "NEW_NAME", "VIS_ID");
    dialogs.expectException("TS_VISIT. Primary key field must be required");
    clickCell(dlg->gFields, "REQUIRED");
    EXPECT_TRUE(dlg->Engine.TFields.fieldByName("REQUIRED")->asBoolean());
    selectRow(dlg->gFields, "NEW_NAME", "NOTE");
    clickCell(dlg->gFields, "HIDDEN");
    EXPECT_EQ(dlg->Engine.TFields.fieldByName("UA")->asString(), "A");

    // Undoing every change asks first.
    dialogs.answerMessage(mrNo, "cancel all changes for fields");
    dlg->tbRestFld->click();
    EXPECT_EQ(dlg->Engine.TFields.recordCount(), 6);
    dialogs.answerMessage(mrYes, "cancel all changes for fields");
    dlg->tbRestFld->click();
    EXPECT_EQ(fields(), loaded);
}

TEST_F(Editor, IndexMembersGoInOutUpDownAndByDragAndOneIndexIsClustered)
{
    page(dlg->pgInd);
    dlg->tbNewInd->click();
    ASSERT_TRUE(typeInto(dlg->gInd, "NEW_NAME", "IX_DOC"));
    EXPECT_EQ(listed(dlg->SrcList), QStringList({"VIS_ID", "PAT_ID", "DOC_ID", "NOTE"}));
    dlg->SrcList->setCurrentRow(2);
    dlg->bIn->click();
    EXPECT_EQ(members(), "DOC_ID");
    EXPECT_EQ(dlg->Engine.TInd.state(), DataSet::State::Browse); // stored and posted
    EXPECT_EQ(dlg->SrcList->currentItem()->text(), "PAT_ID");
    dlg->bIn->click();
    dlg->SrcList->setCurrentRow(dlg->SrcList->count() - 1);
    dlg->bIn->click();
    EXPECT_EQ(members(), "DOC_ID,PAT_ID,NOTE");
    EXPECT_EQ(listed(dlg->SrcList), QStringList({"VIS_ID"}));
    dlg->bUp->click();
    EXPECT_EQ(members(), "DOC_ID,NOTE,PAT_ID");
    dlg->bDown->click();
    EXPECT_EQ(members(), "DOC_ID,PAT_ID,NOTE");
    dlg->IndList->setCurrentRow(1);
    dlg->bOut->click();
    EXPECT_EQ(members(), "DOC_ID,NOTE");
    EXPECT_EQ(listed(dlg->SrcList), QStringList({"VIS_ID", "PAT_ID"}));

    // The member dragged onto the first takes its place, and so it is stored. (A drop event made
    // here would not reach the list: Qt hands drops only to the target of a real drag.)
    dlg->IndList->setCurrentRow(1);
    bool accept = false;
    dlg->IndListDragOver(dlg->IndList, accept);
    EXPECT_TRUE(accept);
    dlg->IndListDragDrop(dlg->IndList, 0);
    EXPECT_EQ(members(), "NOTE,DOC_ID");
    EXPECT_EQ(dlg->IndList->currentItem()->text(), "NOTE");
    EXPECT_EQ(rowsOf(dlg->Engine.TInd, {"UA", "NEW_NAME", "FIELDS"}).last(),
              "C|IX_DOC|NOTE,DOC_ID");

    // The key takes only required fields, in the table's order.
    selectRow(dlg->gInd, "NEW_NAME", "PRIMARY KEY");
    EXPECT_EQ(listed(dlg->IndList), QStringList({"VIS_ID"}));
    EXPECT_TRUE(listed(dlg->SrcList).isEmpty());
    EXPECT_FALSE(dlg->tbDelInd->isEnabled());

    // One clustered index: clustering another takes it from the first.
    clickCell(dlg->gInd, "CLASTERED");
    selectRow(dlg->gInd, "NEW_NAME", "IX_PAT");
    clickCell(dlg->gInd, "CLASTERED");
    EXPECT_EQ(rowsOf(dlg->Engine.TInd, {"NEW_NAME", "CLASTERED", "UA"}),
              QStringList({"PRIMARY KEY|0|A", "IX_NOTE|0|", "IX_PAT|1|A", "IX_DOC|0|C"}));
}

TEST_F(Editor, LinksComeFromTheNewLinkDialogOnly)
{
    dlg->Engine.TableList = QStringList{"DOCTOR", "PATIENT"};
    page(dlg->pgLink);
    // A name that is not listed gives no key and no OK.
    dialogs.answerModal("TfNewLink", [](TForm& form) {
        auto& link = static_cast<TfNewLink&>(form);
        EXPECT_EQ(link.Caption(), "VISIT - [create link]");
        EXPECT_FALSE(link.fReq->isChecked()); // the table is altered: new fields are optional
        link.fTList->setEditText("DOCTORS");
        link.fTListClick(link.fTList);
        EXPECT_TRUE(link.TKeys.isEmpty());
        EXPECT_FALSE(link.bOK->isEnabled());
        return int(mrCancel);
    });
    dlg->tbNewLink->click();
    EXPECT_TRUE(dlg->Engine.TLink.isEmpty());

    // A field that exists is tied to the link.
    newLink("PATIENT", [](TfNewLink& link) {
        EXPECT_EQ(rowsOf(link.TKeys, {"KEY", "REFERENCE", "STORED"}),
                  QStringList({"PAT_ID|PAT_ID|1"}));
        link.fCustom->setPlainText("Label=Patient");
    });
    // A field that exists only as dropped is made again, typed as the master's key (an
    // autoincrement key is referred to by an integer).
    page(dlg->pgFields);
    selectRow(dlg->gFields, "NEW_NAME", "DOC_ID");
    dlg->tbDelFld->click();
    newLink("DOCTOR", [](TfNewLink& link) { link.SetActIndex(2); });

    EXPECT_EQ(rowsOf(dlg->Engine.TLink, {"UA", "MASTER", "REFERENCE", "NEW_REFERENCE", "KEY",
                                         "ACTION", "ACT", "CUSTOM", "LINK_ID"}),
              QStringList({"C|PATIENT|PAT_ID|PAT_ID|PAT_ID|0|None|Label=Patient|1",
                           "C|DOCTOR|DOC_ID|DOC_ID|DOC_ID|2|Restrict||2"}));
    EXPECT_EQ(fields({"UA", "NEW_NAME", "DATATYPE", "REQUIRED", "ORDER", "LINK_ID"}),
              QStringList({"|VIS_ID|1|1|1|", "|PAT_ID|1|0|2|1", "D|DOC_ID|1|0|3|", "|NOTE|3|0|4|",
                           "C|DOC_ID|1|0|5|2"}));
    // A field made with a link is not dropped on its own.
    ASSERT_TRUE(dlg->Engine.TFields.locate("ORDER", Variant(qint64(5))));
    EXPECT_FALSE(dlg->tbDelFld->isEnabled());
    // A link row is not inserted from the grid either.
    page(dlg->pgLink);
    pressKey(dlg->gLink, Qt::Key_Insert);
    EXPECT_EQ(dlg->Engine.TLink.recordCount(), 2);
}

TEST_F(Editor, OkAssignsTheEditedStructureAndAnActionChangeCanBeRefused)
{
    dlg->Engine.TableList = QStringList{"DOCTOR"};
    // Changing the action is asked about; No keeps it.
    dialogs.answerMessage(mrNo, "Changing the upgrade action");
    dlg->fActionCreate->setChecked(true);
    dlg->fActionClick(dlg->fAction);
    EXPECT_EQ(dlg->Engine.ActionIndex(), int(uaAlter));
    EXPECT_TRUE(dlg->fActionAlter->isChecked());

    page(dlg->pgFields);
    dlg->tbNewFld->click();
    ASSERT_TRUE(typeInto(dlg->gFields, "NEW_NAME", "MOTIF"));
    ASSERT_TRUE(typeInto(dlg->gFields, "DT", "String"));
    ASSERT_TRUE(typeInto(dlg->gFields, "SIZE", "40"));
    dlg->mFldCustom->setPlainText("Label=Motif");
    selectRow(dlg->gFields, "NEW_NAME", "NOTE");
    dlg->tbDelFld->click();
    newLink("DOCTOR", [](TfNewLink& link) {
        link.fCustom->setPlainText("Label=Médecin");
        link.SetActIndex(2);
    });
    dlg->bOK->click();
    EXPECT_EQ(dlg->ModalResult(), mrOk);

    TTableStruct expected;
    expected.SetTableName("VISIT");
    expected.SetUpgradeAction(uaAlter);
    addField(expected, "NOTE", dtUnknown)->UpgradeAction = uaDrop;
    addField(expected, "MOTIF", dtString, 40)->Custom = QStringList{"Label=Motif"};
    addIndex(expected, "IX_NOTE", "")->UpgradeAction = uaDrop;
    addLink(expected, "DOCTOR", "DOC_ID", "DOC_ID", daRestrict)->Custom =
        QStringList{"Label=Médecin"};
    EXPECT_EQ(describe(*visit), describe(expected));
}

TEST_F(Editor, TypingOnTheTablePageKeepsEveryKeystrokeInItsPlace)
{
    // Key by key, as a user types: the first key puts the table's row into edit state.
    const auto type = [](QWidget* w, const QString& text) {
        for (const QChar c : text) {
            QKeyEvent press(QEvent::KeyPress, c.toUpper().unicode(), Qt::NoModifier, QString(c));
            QApplication::sendEvent(w, &press);
        }
    };
    type(dlg->fNewName, QStringLiteral("VISITE"));
    EXPECT_EQ(dlg->Engine.TTable.fieldByName("NEW_NAME")->asString(), "VISITE");
    dlg->Engine.TTable.post();
    type(dlg->fCustom, QStringLiteral("Label=Visite"));
    EXPECT_EQ(dlg->Engine.TTable.fieldByName("CUSTOM")->asString(), "Label=Visite");
}

TEST_F(Editor, CancelLeavesTheStructureAsItWas)
{
    const QStringList before = describe(*visit);
    page(dlg->pgFields);
    dlg->tbNewFld->click();
    ASSERT_TRUE(typeInto(dlg->gFields, "NEW_NAME", "MOTIF"));
    dlg->CancelButton->click();
    EXPECT_EQ(dlg->ModalResult(), mrCancel);
    EXPECT_EQ(describe(*visit), before);
}
