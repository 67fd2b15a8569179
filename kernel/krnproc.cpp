// The kernel's support routines.
#include "krnproc.h"

#include <kernel/regexpr.h>
#include <platform/codepage.h>

QString UpperCaseSQLVariables(const QString& text)
{
    TRegExpr variable;
    variable.SetExpression(QStringLiteral("@[A-Za-z0-9_]+\\W"));
    if (!variable.Exec(text))
        return text;
    QString result;
    result.reserve(text.size());
    qsizetype kept = 0; // characters of `text` already carried over
    do {
        const qsizetype at = variable.GetMatchPos(0) - 1;
        const qsizetype length = variable.GetMatchLen(0);
        result += QStringView(text).sliced(kept, at - kept);
        result += codepage::upper(text.sliced(at, length));
        kept = at + length;
    } while (variable.ExecNext());
    result += QStringView(text).sliced(kept);
    return result;
}
