// The structure editor tests' database, grid typing and structure description.
#include "editor_helpers.h"

#include <QAbstractItemDelegate>
#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>

namespace schematest {

void makeClinic(SchemaDb& d)
{
    auto patient = d.table("PATIENT");
    addField(*patient, "PAT_ID", dtInteger, 0, foRequired);
    addField(*patient, "NOM", dtString, 30, foRequired);
    addIndex(*patient, "PRIMARY KEY", "PAT_ID", idxPrimary);
    patient->Execute();
    auto doctor = d.table("DOCTOR");
    addField(*doctor, "DOC_ID", dtAutoinc, 0, foRequired);
    addField(*doctor, "NAME", dtString, 40);
    addIndex(*doctor, "PRIMARY KEY", "DOC_ID", idxPrimary);
    doctor->Execute();
    auto visit = d.table("VISIT");
    addField(*visit, "VIS_ID", dtInteger, 0, foRequired);
    addField(*visit, "PAT_ID", dtInteger);
    addField(*visit, "DOC_ID", dtInteger);
    addField(*visit, "NOTE", dtString, 60);
    addIndex(*visit, "PRIMARY KEY", "VIS_ID", idxPrimary);
    addIndex(*visit, "IX_NOTE", "NOTE");
    addIndex(*visit, "IX_PAT", "PAT_ID");
    visit->Execute();
    d.db.execute("insert into VISIT values (1, 7, 2, 'Toux')");
}

namespace {

int columnOf(const TDBGrid* grid, const QString& field)
{
    for (int i = 0; i < grid->columns().size(); ++i) {
        if (grid->columns().at(i).FieldName == field)
            return i;
    }
    ADD_FAILURE() << "no column " << field.toStdString();
    return 0;
}

} // namespace

bool typeInto(TDBGrid* grid, const QString& field, const QString& text)
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    const QModelIndex at = grid->model()->index(grid->CurrentRow(), columnOf(grid, field));
    grid->setCurrentIndex(at);
    grid->edit(at);
    QWidget* editor = nullptr;
    for (QWidget* w : grid->viewport()->findChildren<QWidget*>()) {
        if (w->parentWidget() == grid->viewport() && w->isVisibleTo(grid) &&
            (qobject_cast<QComboBox*>(w) || qobject_cast<QLineEdit*>(w)))
            editor = w;
    }
    if (!editor)
        return false;
    if (auto* combo = qobject_cast<QComboBox*>(editor))
        combo->setEditText(text);
    else
        static_cast<QLineEdit*>(editor)->setText(text);
    emit grid->itemDelegate()->commitData(editor);
    emit grid->itemDelegate()->closeEditor(editor);
    return true;
}

void selectRow(TDBGrid* grid, const QString& field, const QString& value)
{
    const int column = columnOf(grid, field);
    for (int row = 0; row < grid->model()->rowCount(); ++row) {
        const QModelIndex at = grid->model()->index(row, column);
        if (at.data().toString() == value) {
            grid->setCurrentIndex(at);
            return;
        }
    }
    ADD_FAILURE() << "no row " << value.toStdString();
}

void clickCell(TDBGrid* grid, const QString& field)
{
    const QModelIndex at = grid->model()->index(grid->CurrentRow(), columnOf(grid, field));
    grid->setCurrentIndex(at);
    emit grid->clicked(at);
}

void pressKey(QWidget* widget, int key, Qt::KeyboardModifiers modifiers)
{
    QKeyEvent press(QEvent::KeyPress, key, modifiers);
    QApplication::sendEvent(widget, &press);
}

QStringList describe(const TTableStruct& s)
{
    const auto custom = [](const QStringList& lines) { return lines.join(';'); };
    QStringList lines{QStringLiteral("%1 action %2 new '%3' order '%4' custom '%5'")
                          .arg(s.TableName())
                          .arg(int(s.UpgradeAction()))
                          .arg(s.NewName(), s.FieldsOrder(), custom(s.Custom()))};
    for (const TFieldItem& f : s.Fields())
        lines << QStringLiteral("F %1 %2 new '%3' type %4 size %5.%6 options %7 '%8'")
                     .arg(f.FieldName)
                     .arg(int(f.UpgradeAction))
                     .arg(f.NewName)
                     .arg(int(f.DataType))
                     .arg(f.Size)
                     .arg(f.Precision)
                     .arg(int(f.Options))
                     .arg(custom(f.Custom));
    for (const TIndexItem& i : s.Indexes())
        lines << QStringLiteral("I %1 %2 new '%3' (%4) options %5")
                     .arg(i.Name)
                     .arg(int(i.UpgradeAction))
                     .arg(i.NewName, i.IndexFields)
                     .arg(int(i.Options));
    for (const TLinkItem& l : s.Links())
        lines << QStringLiteral("L %1 %2 (%3) key (%4) delete %5 '%6'")
                     .arg(l.MasterTable)
                     .arg(int(l.UpgradeAction))
                     .arg(l.MasterFields, l.MasterKeyFields)
                     .arg(int(l.DeleteAction))
                     .arg(custom(l.Custom));
    return lines;
}

} // namespace schematest
