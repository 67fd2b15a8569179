// The used-field list.
#include "uflist.h"

#include <platform/codepage.h>

#include <algorithm>

int TUsedFieldList::IndexOf(const QString& name) const
{
    const QString key = codepage::upper(name);
    const auto at = std::lower_bound(m_names.begin(), m_names.end(), key);
    return at != m_names.end() && *at == key ? int(at - m_names.begin()) : -1;
}

int TUsedFieldList::Add(const QString& name, int flags)
{
    const QString key = codepage::upper(name);
    const auto at = std::lower_bound(m_names.begin(), m_names.end(), key);
    const int i = int(at - m_names.begin());
    if (at == m_names.end() || *at != key) {
        m_names.insert(i, key);
        m_flags.insert(i, 0);
    }
    m_flags[i] |= flags;
    return i;
}

void TUsedFieldList::Clear()
{
    m_names.clear();
    m_flags.clear();
}
