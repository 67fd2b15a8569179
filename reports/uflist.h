// The list of the field names a report's expressions use, each with how it is used.
#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// How a field is used, OR-ed per name.
enum : int {
    ufLaterArgument = 1, // a later argument of SUM, AVG, MIN or MAX
    ufInFunction = 2,    // inside a user function or COUNT
    ufOutside = 4,       // outside any argument list
    ufAccumulated = 8,   // the first argument of SUM, AVG, MIN or MAX
};

// Sorted upper-cased names without duplicates, each with its usage flags.
class TUsedFieldList
{
public:
    // Adds the upper-cased name, or finds it, and ORs the flags into its own; returns its line.
    int Add(const QString& name, int flags);
    // The line of the name (any case), -1 when absent.
    int IndexOf(const QString& name) const;
    int Count() const { return int(m_names.size()); }
    const QString& Names(int i) const { return m_names.at(i); }
    int Flags(int i) const { return m_flags.at(i); }
    void Clear();

private:
    QStringList m_names;
    QList<int> m_flags;
};
