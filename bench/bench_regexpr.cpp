// UpperCaseSQLVariables on a 1 MiB SQL script against the same rewrite done with std::regex in the
// same run; prints the ratio of their times (goal: not above 1).
#include <kernel/krnproc.h>
#include <platform/codepage.h>

#include <benchmark/benchmark.h>

#include "ratio.h"

#include <QString>
#include <cstdio>
#include <regex>
#include <string>

namespace {

// A script with variables in every statement, some Cyrillic text and no variable at its very end.
QString sqlScript()
{
    QString script;
    for (int k = 0; script.size() < (1 << 20); ++k) {
        script += QStringLiteral("select p.id, p.name, @row_%1 as row_no from patient p\n"
                                 "  where p.birth >= @from_date and p.code = @Code%1\n"
                                 "  and p.comment <> 'анализ крови' -- @ alone is no variable\n"
                                 "update result set value = @value%1, checked = @Checked "
                                 "where id=@Id;\n")
                      .arg(k % 1000);
    }
    script.truncate(1 << 20);
    script += QStringLiteral(";");
    return script;
}

const QString& script()
{
    static const QString s = sqlScript();
    return s;
}

// The same rewrite as UpperCaseSQLVariables with std::regex finding the variables: the text is
// converted to the same bytes and each match is upper-cased the same way.
QString upperCaseWithStdRegex(const QString& text)
{
    const std::regex variable("@[A-Za-z0-9_]+\\W");
    const QByteArray bytes = codepage::encode(text, codepage::Cp1251);
    QString result;
    result.reserve(text.size());
    qsizetype kept = 0;
    const auto end = std::cregex_iterator();
    for (auto it = std::cregex_iterator(bytes.constBegin(), bytes.constEnd(), variable); it != end;
         ++it) {
        const qsizetype at = it->position();
        const qsizetype length = it->length();
        result += QStringView(text).sliced(kept, at - kept);
        result += codepage::upper(text.sliced(at, length));
        kept = at + length;
    }
    result += QStringView(text).sliced(kept);
    return result;
}

void BM_UpperCaseSQLVariables(benchmark::State& state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(UpperCaseSQLVariables(script()));
    state.SetBytesProcessed(state.iterations() * script().size());
}
BENCHMARK(BM_UpperCaseSQLVariables)->Unit(benchmark::kMillisecond);

void BM_StdRegexBaseline(benchmark::State& state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(upperCaseWithStdRegex(script()));
    state.SetBytesProcessed(state.iterations() * script().size());
}
BENCHMARK(BM_StdRegexBaseline)->Unit(benchmark::kMillisecond);

} // namespace

BenchProgram benchProgram()
{
    BenchProgram program;
    // Both rewrites must agree before their times mean anything.
    program.check = [] {
        return UpperCaseSQLVariables(script()) == upperCaseWithStdRegex(script())
                   ? QString()
                   : QStringLiteral("UpperCaseSQLVariables and the std::regex rewrite disagree");
    };
    program.ratios = [](const RatioReporter& r) {
        r.printRatio("BM_UpperCaseSQLVariables", "BM_StdRegexBaseline", "at most 1");
    };
    return program;
}
