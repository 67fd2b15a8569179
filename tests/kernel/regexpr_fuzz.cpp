// Fuzz target: arbitrary expressions and subjects through the regular-expression engine and
// UpperCaseSQLVariables. Run with a time limit, for example -timeout=10 -max_len=2600, and the
// dictionary regexpr_fuzz.dict beside this file.
#include <kernel/krnproc.h>
#include <kernel/regexpr.h>
#include <platform/codepage.h>
#include <support/fuzz_support.h>

#include <QString>
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace {

// The bytes are an expression, a NUL byte and a subject, both in code page 1251 (without a NUL
// the bytes serve as both). The sizes are capped, which with the engine's polynomial search and
// its loop-stack limit bounds the time and the memory of one run.
//
// Returns an empty text when the engine behaved: a compile error carries a code of the compile
// table and a position inside the expression, a search raises nothing but the loop-stack error,
// every sub-match lies inside its match and the match inside the subject, and successive matches
// move forward. Otherwise it returns what went wrong.
QString faultOf(const std::uint8_t* data, std::size_t size)
{
    constexpr std::size_t maxExpression = 512;
    constexpr std::size_t maxSubject = 2048;
    const auto* begin = reinterpret_cast<const char*>(data);
    const auto* nul = static_cast<const char*>(std::memchr(begin, 0, size));
    const QByteArray exprBytes(
        begin, qsizetype(std::min(nul ? std::size_t(nul - begin) : size, maxExpression)));
    const QByteArray subjectBytes =
        nul ? QByteArray(nul + 1,
                         qsizetype(std::min(size - std::size_t(nul - begin) - 1, maxSubject)))
            : exprBytes;
    const QString expression = codepage::decode(exprBytes, codepage::Cp1251);
    const QString subject = codepage::decode(subjectBytes, codepage::Cp1251);

    TRegExpr re;
    try {
        re.SetExpression(expression);
    } catch (const ERegExpr& e) {
        const int code = e.errorCode();
        const bool internal = code == RegExprCode::JunkOnEnd || code == RegExprCode::InternalUrp ||
                              code == RegExprCode::AtomInternalDisaster;
        if (code < RegExprCode::NullArgument || code > RegExprCode::UnrecognizedModifier ||
            internal)
            return QStringLiteral("compile raised %1: %2").arg(code).arg(e.message());
        if (e.compilerErrorPos() < 0 || e.compilerErrorPos() > expression.size() + 1)
            return QStringLiteral("compile error position %1 outside the expression")
                .arg(e.compilerErrorPos());
        if (e.message() !=
            re.ErrorMsg(code) + QStringLiteral(" (pos %1)").arg(e.compilerErrorPos()))
            return QStringLiteral("compile error message: ") + e.message();
        return QString();
    }

    const int n = int(subject.size());
    try {
        bool found = re.Exec(subject);
        int previousPos = 0;
        int previousEnd = 1;
        for (int round = 0; found; ++round) {
            if (round > n + 1)
                return QStringLiteral("ExecNext does not come to an end");
            const int pos = re.GetMatchPos(0);
            const int len = re.GetMatchLen(0);
            if (pos < previousEnd || (pos == previousPos && round > 0) || len < 0 ||
                pos + len > n + 1)
                return QString::asprintf("match %d,%d after %d,%d in %d characters", pos, len,
                                         previousPos, previousEnd, n);
            for (int idx = 1; idx < TRegExpr::SubExprCount; ++idx) {
                const int gp = re.GetMatchPos(idx);
                const int gl = re.GetMatchLen(idx);
                if ((gp < 0) != (gl < 0))
                    return QStringLiteral("group %1 half set").arg(idx);
                if (gp >= 0 && (gp < pos || gp + gl > pos + len || re.GetMatch(idx).size() != gl))
                    return QString::asprintf("group %d at %d,%d outside match %d,%d", idx, gp, gl,
                                             pos, len);
            }
            previousPos = pos;
            previousEnd = pos + len;
            found = re.ExecNext();
        }
        if (re.GetMatchPos(0) != -1 || re.GetMatchPos(15) != -1)
            return QStringLiteral("sub-match set after a failed search");
    } catch (const ERegExpr& e) {
        if (e.errorCode() != RegExprCode::LoopStackExceeded)
            return QStringLiteral("search raised %1: %2").arg(e.errorCode()).arg(e.message());
    }

    UpperCaseSQLVariables(subject);
    return QString();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QString fault = faultOf(data, size);
    if (!fault.isEmpty())
        fuzz::fail("regexpr", fault);
    return 0;
}
