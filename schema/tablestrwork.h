// Small helpers shared by the structure engine's units: field access by name, the edit marks,
// memo texts as line lists, and guards for the engine's flags and the views of a work set.
#pragma once

#include <kernel/metadata.h>
#include <platform/data/memdataset.h>

#include <QString>
#include <QStringList>

namespace strwork {

inline const QString MarkNew = QStringLiteral("C");
inline const QString MarkAltered = QStringLiteral("A");
inline const QString MarkDropped = QStringLiteral("D");

inline Field& F(const DataSet& d, const char* name)
{
    return *d.fieldByName(QLatin1String(name));
}
inline QString S(const DataSet& d, const char* name)
{
    return F(d, name).asString();
}
inline int I(const DataSet& d, const char* name)
{
    return int(F(d, name).asInteger());
}
inline bool B(const DataSet& d, const char* name)
{
    return F(d, name).asBoolean();
}
inline QString Mark(const DataSet& d)
{
    return S(d, "UA");
}

// The lines of a memo text: split at CR LF, LF or CR; a final line break adds no empty line.
QStringList MemoLines(const QString& text);
// The text without the blanks and control characters at either end.
QString TrimmedText(const QString& text);
// The names of a comma (or semicolon) list, trimmed, without empty ones.
QStringList NameList(const QString& text);
// The delete action of a TABLELINK.DEL_ACT code: "C", "R", "N", "X", anything else none.
TDeleteAction DeleteActionOf(const QString& code);
// Whether the list holds the name, case ignored.
bool HasName(const QStringList& list, const QString& name);

// One column of a work set.
struct WorkColumn
{
    const char* name;
    FieldType type;
    int size;
};

// Names a work set and gives it its columns (persistent fields); the caller creates it.
void DefineWorkSet(MemDataSet& d, const char* name, std::initializer_list<WorkColumn> columns);

// Empties a work set by making it again from its definitions.
inline void recreate(MemDataSet& d)
{
    d.close();
    d.createDataSet();
}

// Disables the views of a work set for its lifetime.
class ControlsOff
{
public:
    explicit ControlsOff(DataSet& d) : m_d(d) { m_d.disableControls(); }
    ~ControlsOff() { m_d.enableControls(); }
    ControlsOff(const ControlsOff&) = delete;
    ControlsOff& operator=(const ControlsOff&) = delete;

private:
    DataSet& m_d;
};

} // namespace strwork
