// Checking the work sets before they are applied or accepted, the repairs that follow from earlier
// edits (index columns following renamed and dropped fields), the duplicate-name checks, the
// change mark of a field row, and the one clustered index.
#include "tablestrengine.h"

#include "tablestrwork.h"

#include <kernel/krnproc.h>

#include <QScopedValueRollback>

using namespace strwork;

namespace {

// A table's constraints and triggers are named after it with a prefix of this length ("PK_",
// "tI_"): their names too must keep within the kind's limit.
constexpr int TableNamePrefix = 3;

} // namespace

bool TTableStrEngine::ValidateStructure(bool RaiseErrors)
{
    try {
        if (S(TTable, "TABLE_NAME").isEmpty())
            fail(pgTable, QStringLiteral("Table name is required."), QStringLiteral("fTName"));
        checkTableNames();
        checkFields();
        checkIndexes();
        checkLinks();
        return true;
    } catch (const Exception& e) {
        if (RaiseErrors)
            throw;
        errorBox(e.message());
        return false;
    }
}

// Only the names the database does not have yet are checked: a table's that is created, and the
// new name of a table that is renamed.
void TTableStrEngine::checkTableNames()
{
    const QString name = S(TTable, "TABLE_NAME");
    const QString newName = TrimmedText(S(TTable, "NEW_NAME"));
    QString control = QStringLiteral("fTName");
    QString checked = name;
    if (m_action != uaCreate) {
        if (newName.isEmpty() || sameName(newName, name))
            return;
        control = QStringLiteral("fNewName");
        checked = newName;
    }
    if (IsReservedName(checked, ServerKind))
        fail(pgTable,
             QStringLiteral("%1. The name %2 is reserved and cannot be used for table name")
                 .arg(structName(), checked),
             control);
    if (!IsPlainName(checked, ServerKind))
        fail(pgTable,
             QStringLiteral("%1. Table name '%2' is not valid: a name is %3.")
                 .arg(structName(), checked, PlainNameRule(ServerKind)),
             control);
    const int limit = MaxNameLength(ServerKind);
    if (limit > 0 && checked.size() > limit - TableNamePrefix)
        fail(pgTable,
             QStringLiteral("%1. Table name '%2' is too long: a table name is at most %3 "
                            "characters, its constraints and triggers adding %4 to it.")
                 .arg(structName(), checked)
                 .arg(limit - TableNamePrefix)
                 .arg(TableNamePrefix),
             control);
}

void TTableStrEngine::checkFields()
{
    if (m_action == uaCreate && TFields.isEmpty())
        fail(pgFields, structName() + QStringLiteral(". Fields section is empty"));
    ControlsOff off(TFields);
    int autoinc = 0;
    for (TFields.first(); !TFields.eof(); TFields.next()) {
        if (I(TFields, "DATATYPE") == dtAutoinc && Mark(TFields) != MarkDropped && ++autoinc > 1) {
            if (FormVisible())
                fail(pgFields,
                     structName() +
                         QStringLiteral(". Only one autoincrement field per table is allowed"),
                     QStringLiteral("gFields"), QStringLiteral("DT"));
            QScopedValueRollback<bool> updating(Updating, true);
            TFields.edit();
            F(TFields, "DATATYPE").setAsInteger(dtInteger);
            TFields.post();
        }
        CheckFieldRow();
    }
    TFields.first();
}

void TTableStrEngine::CheckFieldRow()
{
    const QString name = S(TFields, "NEW_NAME");
    const auto bad = [this](const QString& text, const char* cell) {
        fail(pgFields, structName() + QStringLiteral(". ") + text, QStringLiteral("gFields"),
             QLatin1String(cell));
    };
    if (name.isEmpty())
        bad(QStringLiteral("Field name is required"), "NEW_NAME");
    // A name the table has already is left as it is (its statements quote it): only a new
    // field's name and a changed one are checked.
    const QString mark = Mark(TFields);
    if (mark != MarkDropped && (mark == MarkNew || !sameName(name, S(TFields, "FIELD_NAME")))) {
        if (IsReservedName(name, ServerKind))
            bad(QStringLiteral("The name %1 is reserved and cannt be used for field name")
                    .arg(name),
                "NEW_NAME");
        if (!IsPlainName(name, ServerKind))
            bad(QStringLiteral("Field name '%1' is not valid: a name is %2.")
                    .arg(name, PlainNameRule(ServerKind)),
                "NEW_NAME");
    }
    const int type = I(TFields, "DATATYPE");
    if (type == dtUnknown && Mark(TFields) != MarkDropped)
        bad(QStringLiteral("Field %1: data type is required.").arg(name), "DT");
    if (I(TFields, "SIZE") == 0 && (type == dtString || type == dtNumeric || type == dtLangString))
        bad(QStringLiteral("Field %1: data size is required.").arg(name), "SIZE");
    if (I(TFields, "PREC") == 0 && type == dtNumeric)
        bad(QStringLiteral("Field %1: data precision is required.").arg(name), "PREC");
}

QString TTableStrEngine::mappedIndexFields(const QString& fields)
{
    QStringList mapped;
    const QStringList names = NameList(fields);
    for (int i = 0; i < names.size(); ++i) {
        const Variant name(names.at(i));
        const bool found =
            TFields.locate(QStringLiteral("FIELD_NAME"), name, DataSet::CaseInsensitive) ||
            TFields.locate(QStringLiteral("NEW_NAME"), name, DataSet::CaseInsensitive);
        if (found && Mark(TFields) != MarkDropped)
            mapped.append(S(TFields, "NEW_NAME"));
        else if (i == 0)
            return QString();
    }
    return mapped.join(QLatin1Char(','));
}

void TTableStrEngine::checkIndexes()
{
    ControlsOff off(TInd);
    CheckDuplicateIndexNames();
    QScopedValueRollback<bool> updating(Updating, true);
    int clustered = 0;
    for (const Bookmark& b : TInd.bookmarks()) {
        TInd.gotoBookmark(b);
        if (Mark(TInd) == MarkDropped)
            continue;
        if (B(TInd, "CLASTERED") && ++clustered > 1)
            fail(pgInd,
                 structName() +
                     QStringLiteral(". Cannot create more then one clastered index on table"));
        const QString fields = NameList(S(TInd, "FIELDS")).join(QLatin1Char(','));
        const QString mapped = mappedIndexFields(fields);
        if (!sameName(mapped, fields)) {
            if (mapped.isEmpty()) {
                if (B(TInd, "PK"))
                    fail(pgInd, structName() + QStringLiteral(". Blank columns for PRIMARY KEY"));
                if (Mark(TInd) == MarkNew) {
                    TInd.deleteRecord();
                    continue;
                }
                TInd.edit();
                F(TInd, "UA").setAsString(MarkDropped);
            } else {
                TInd.edit();
                F(TInd, "FIELDS").setAsString(mapped);
                if (Mark(TInd).isEmpty())
                    F(TInd, "UA").setAsString(MarkAltered);
            }
            TInd.post();
        }
        CheckIndexRow(true);
    }
    TInd.first();
}

void TTableStrEngine::CheckIndexRow(bool CheckKeyOrder)
{
    const QString name = S(TInd, "NEW_NAME");
    if (name.isEmpty())
        fail(pgInd, structName() + QStringLiteral(". Index name is required"),
             QStringLiteral("gInd"), QStringLiteral("NEW_NAME"));
    if (S(TInd, "FIELDS").isEmpty() && Mark(TInd) != MarkDropped)
        fail(pgInd, structName() + QStringLiteral(". Blank column for index ") + name,
             QStringLiteral("SrcList"));
    // The primary key is named after its table; an index the table has keeps its name.
    const QString mark = Mark(TInd);
    if (!B(TInd, "PK") && mark != MarkDropped &&
        (mark == MarkNew || !sameName(name, S(TInd, "NAME")))) {
        if (IsReservedName(name, ServerKind))
            fail(pgInd,
                 QStringLiteral("%1. The name %2 is reserved and cannot be used for index name")
                     .arg(structName(), name),
                 QStringLiteral("gInd"), QStringLiteral("NEW_NAME"));
        if (!IsPlainName(name, ServerKind))
            fail(pgInd,
                 QStringLiteral("%1. Index name '%2' is not valid: a name is %3.")
                     .arg(structName(), name, PlainNameRule(ServerKind)),
                 QStringLiteral("gInd"), QStringLiteral("NEW_NAME"));
    }
    if (!B(TInd, "PK") || !CheckKeyOrder)
        return;
    // The key fields are the first fields of the table, in order; dropped fields do not count.
    QStringList leading;
    for (const Bookmark& b : TFields.bookmarks()) {
        TFields.viewRecord(b, [this, &leading] {
            if (Mark(TFields) != MarkDropped)
                leading.append(S(TFields, "NEW_NAME") + QLatin1Char(',') +
                               S(TFields, "FIELD_NAME"));
        });
    }
    const QStringList keys = NameList(S(TInd, "FIELDS"));
    for (int i = 0; i < keys.size(); ++i) {
        const QStringList names =
            i < leading.size() ? leading.at(i).split(QLatin1Char(',')) : QStringList();
        if (!HasName(names, keys.at(i)))
            fail(pgInd,
                 QStringLiteral("%1. Field %2: Key fields must be consecutive ,starting with the "
                                "first field in the fields list.")
                     .arg(structName(), keys.at(i)),
                 QStringLiteral("gInd"), QStringLiteral("NEW_NAME"));
    }
}

void TTableStrEngine::checkLinks()
{
    WorkList.clear();
    for (TLink.first(); !TLink.eof(); TLink.next()) {
        const QString key = S(TLink, "MASTER") + QLatin1Char(',') + S(TLink, "NEW_REFERENCE");
        if (HasName(WorkList, key))
            fail(pgLink, QStringLiteral("%1. Duplicate master reference for table '%2'.")
                             .arg(structName(), S(TLink, "MASTER")));
        WorkList.append(key);
    }
}

void TTableStrEngine::CheckDuplicateFieldNames()
{
    WorkList.clear();
    for (TFields.first(); !TFields.eof(); TFields.next()) {
        const QString name = S(TFields, "NEW_NAME");
        if (HasName(WorkList, name)) {
            showPage(pgFields);
            TFields.edit();
            DBKernelError(QStringLiteral("%1. Duplicate field name '%2'.").arg(structName(), name));
        }
        WorkList.append(name);
    }
}

void TTableStrEngine::CheckDuplicateIndexNames()
{
    WorkList.clear();
    for (TInd.first(); !TInd.eof(); TInd.next()) {
        const QString name = S(TInd, "NEW_NAME");
        if (HasName(WorkList, name)) {
            showPage(pgInd);
            TInd.edit();
            DBKernelError(QStringLiteral("%1. Duplicate index name '%2'.").arg(structName(), name));
        }
        WorkList.append(name);
    }
}

void TTableStrEngine::MarkFieldChange()
{
    if (!TSrcFld.locate(QStringLiteral("FIELD_NAME"), F(TFields, "FIELD_NAME").value(),
                        DataSet::CaseInsensitive))
        return; // a row without a source keeps its mark
    QStringList changed;
    GetChangedFields(TFields, TSrcFld, changed);
    if (changed.isEmpty()) {
        F(TFields, "UA").setAsString(QString());
        return;
    }
    F(TFields, "UA").setAsString(MarkAltered);
    bool onlyMeta = true;
    for (const char* name : {"NEW_NAME", "DATATYPE", "SIZE", "PREC", "REQUIRED"})
        onlyMeta = onlyMeta && !HasName(changed, QLatin1String(name));
    F(TFields, "ONLY_META").setAsBoolean(onlyMeta);
}

void TTableStrEngine::ToggleBooleanCell(DataSet& D, Field& F)
{
    const bool browsing = D.state() == DataSet::State::Browse;
    D.edit();
    F.setAsBoolean(!F.asBoolean());
    if (&D == &TInd && sameName(F.fieldName(), QStringLiteral("CLASTERED")) && F.asBoolean()) {
        // The toggled row is posted through its own checks, so that it carries its mark; then the
        // other indexes lose the flag.
        const QString name = S(TInd, "NEW_NAME");
        TInd.post();
        const Bookmark toggled = TInd.bookmark();
        {
            QScopedValueRollback<bool> updating(Updating, true);
            ControlsOff off(TInd);
            for (const Bookmark& b : TInd.bookmarks()) {
                TInd.gotoBookmark(b);
                if (sameName(S(TInd, "NEW_NAME"), name) || !B(TInd, "CLASTERED"))
                    continue;
                TInd.edit();
                strwork::F(TInd, "CLASTERED").setAsBoolean(false);
                if (Mark(TInd).isEmpty())
                    strwork::F(TInd, "UA").setAsString(MarkAltered);
                TInd.post();
            }
        }
        TInd.gotoBookmark(toggled);
        return;
    }
    if (&D == &TInd || browsing)
        D.post();
}
