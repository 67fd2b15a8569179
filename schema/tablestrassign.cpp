// Writing the engine's work sets back into its structure TS: the table's texts compared with its
// stored METATABLE row, and one item per marked field, index and link row.
#include "tablestrengine.h"

#include "tablestrwork.h"

#include <kernel/krnproc.h>

using namespace strwork;

namespace {

// The three triggers' texts on the table page and where they go in the structure.
struct Trigger
{
    const char* head;
    const char* body;
    quint8 bit;
    TDropTriggerOption drop;
    void (TTableStruct::*setHead)(const QStringList&);
    void (TTableStruct::*setBody)(const QStringList&);
};
const Trigger triggers[] = {{"INSERT_HEAD", "INSERT_BODY", TriggerBit::Insert, dtInsert,
                             &TTableStruct::SetInsertHead, &TTableStruct::SetInsertBody},
                            {"UPDATE_HEAD", "UPDATE_BODY", TriggerBit::Update, dtUpdate,
                             &TTableStruct::SetUpdateHead, &TTableStruct::SetUpdateBody},
                            {"DELETE_HEAD", "DELETE_BODY", TriggerBit::Delete, dtDelete,
                             &TTableStruct::SetDeleteHead, &TTableStruct::SetDeleteBody}};

} // namespace

void TTableStrEngine::AssignStructure()
{
    const TTraceLogAction trace = TS.TraceLogAction();
    TS.Clear();
    TS.SetTraceLogAction(trace);
    assignTable(trace);
    assignFields();
    assignIndexes();
    assignLinks();
}

// The table's names, texts and triggers; on ALTER only what differs from its stored METATABLE row.
void TTableStrEngine::assignTable(TTraceLogAction trace)
{
    if (m_action == uaAlter)
        TS.SetFieldsOrder(FieldOrderText());
    const QString tableName = S(TTable, "TABLE_NAME");
    TS.SetTableName(tableName);
    const QString newName = TrimmedText(S(TTable, "NEW_NAME"));
    TS.SetNewName(sameName(newName, tableName) ? QString() : newName);

    const QString custom = TrimmedText(S(TTable, "CUSTOM"));
    TS.SetCustom(MemoLines(custom));
    for (const Trigger& t : triggers) {
        (TS.*t.setHead)(MemoLines(TrimmedText(S(TTable, t.head))));
        (TS.*t.setBody)(MemoLines(TrimmedText(S(TTable, t.body))));
    }
    const bool repl = B(TTable, "REPL");
    TS.SetReplication(repl);

    if (m_action != uaAlter) {
        TS.SetUpgradeAction(uaCreate);
        if (repl)
            TS.ReplicationChange = 1;
    } else {
        TS.SetUpgradeAction(uaAlter);
        QTable.close();
        QTable.paramByName(QStringLiteral("TABLE_NAME")).setAsString(tableName);
        QTable.open();
        QTable.recordCount();
        const bool stored = !QTable.isEmpty();
        const auto storedText = [this, stored](const char* name) {
            return stored ? S(QTable, name) : QString();
        };
        if (storedText("CUSTOM") == S(TTable, "CUSTOM")) {
            TS.SetCustom({});
        } else {
            TS.CustomChanged = true;
        }
        for (const Trigger& t : triggers) {
            const QString head = TrimmedText(S(TTable, t.head));
            const QString body = TrimmedText(S(TTable, t.body));
            if (TrimmedText(storedText(t.head)) == head &&
                TrimmedText(storedText(t.body)) == body) {
                (TS.*t.setHead)({});
                (TS.*t.setBody)({});
                continue;
            }
            TS.TriggersChanged |= t.bit;
            if (head.isEmpty() && body.isEmpty())
                TS.SetDropTriggers(TS.DropTriggers() | t.drop);
        }
        const bool storedRepl = stored && FieldAsBoolean(F(QTable, "REPL"));
        if (storedRepl != repl) {
            TS.TriggersChanged |= TriggerBit::Insert | TriggerBit::Update | TriggerBit::Delete;
            TS.ReplicationChange = repl ? 1 : 2;
        }
        const bool storedTrace = stored && FieldAsBoolean(F(QTable, "TRACE_LOG"));
        if ((trace == tlaEnable && storedTrace) || (trace == tlaDisable && !storedTrace))
            TS.SetTraceLogAction(tlaDefault);
        QTable.close();
    }
}

// One item per marked field row, in their order.
void TTableStrEngine::assignFields()
{
    for (TFields.first(); !TFields.eof(); TFields.next()) {
        const QString mark = Mark(TFields);
        if (mark.isEmpty())
            continue;
        TFieldItem* item = TS.Fields().Add();
        item->FieldName = S(TFields, "FIELD_NAME");
        if (mark == MarkDropped) {
            item->UpgradeAction = uaDrop;
            // A link whose key holds the dropped field goes with it.
            const QString name = S(TFields, "NEW_NAME");
            for (const Bookmark& b : TLink.bookmarks()) {
                TLink.gotoBookmark(b);
                if (!HasName(NameList(S(TLink, "KEY")), name))
                    continue;
                TLink.edit();
                F(TLink, "UA").setAsString(MarkDropped);
                TLink.post();
            }
            continue;
        }
        if (mark == MarkAltered) {
            item->UpgradeAction = uaAlter;
            if (!sameName(S(TFields, "NEW_NAME"), item->FieldName))
                item->NewName = S(TFields, "NEW_NAME");
        } else {
            item->UpgradeAction = uaCreate;
            item->FieldName = S(TFields, "NEW_NAME");
        }
        item->DataType = TDataType(I(TFields, "DATATYPE"));
        item->Size = I(TFields, "SIZE");
        item->Precision = I(TFields, "PREC");
        item->MetaType = S(TFields, "METATYPE");
        item->Custom = MemoLines(S(TFields, "CUSTOM"));
        item->Options.setFlag(foRequired, B(TFields, "REQUIRED"));
        item->Options.setFlag(foHidden, B(TFields, "HIDDEN"));
    }
}

// One item per marked index row.
void TTableStrEngine::assignIndexes()
{
    for (TInd.first(); !TInd.eof(); TInd.next()) {
        const QString mark = Mark(TInd);
        if (mark.isEmpty())
            continue;
        TIndexItem* item = TS.Indexes().Add();
        item->Name = S(TInd, "NAME");
        if (mark == MarkDropped) {
            item->UpgradeAction = uaDrop;
            continue;
        }
        if (mark == MarkAltered) {
            item->UpgradeAction = uaAlter;
            if (!sameName(S(TInd, "NEW_NAME"), item->Name))
                item->NewName = S(TInd, "NEW_NAME");
        } else {
            item->UpgradeAction = uaCreate;
            item->Name = S(TInd, "NEW_NAME");
        }
        item->IndexFields = S(TInd, "FIELDS");
        if (item->Name.isEmpty())
            item->Name = S(TInd, "NEW_NAME");
        item->Options.setFlag(idxPrimary, B(TInd, "PK"));
        item->Options.setFlag(idxUnique, B(TInd, "UNIQUE"));
        item->Options.setFlag(idxClastered, B(TInd, "CLASTERED"));
    }
}

// One item per marked link row.
void TTableStrEngine::assignLinks()
{
    for (TLink.first(); !TLink.eof(); TLink.next()) {
        const QString mark = Mark(TLink);
        if (mark.isEmpty())
            continue;
        TLinkItem* item = TS.Links().Add();
        item->MasterTable = S(TLink, "MASTER");
        item->MasterFields = S(TLink, "REFERENCE");
        item->UpgradeAction = mark == MarkAltered ? uaAlter : mark == MarkNew ? uaCreate : uaDrop;
        if (item->UpgradeAction == uaDrop)
            continue;
        item->MasterKeyFields = S(TLink, "KEY");
        item->Custom = MemoLines(S(TLink, "CUSTOM"));
        item->DeleteAction = TDeleteAction(I(TLink, "ACTION"));
    }
}
