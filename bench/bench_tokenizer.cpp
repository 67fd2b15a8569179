// Tokenizing and macro expansion of a 2,000-line request text, beside a plain copy-and-scan of the
// same text measured in the same run. Throughput counts characters of request text (the bytes the
// server receives); goal: at least 50 MB/s for the expansion.
#include <kernel/macros.h>
#include <kernel/tokenizer.h>

#include <benchmark/benchmark.h>

#include <chrono>

namespace {

// Statements as the request compiler writes them: select lists with macro calls, joins, outer-join
// marks, quoted texts, numbers and parameters; about one line in two holds a call.
QString requestText()
{
    const QStringList block = {
        "SELECT TOP 50",
        " P.ID, P.NAME, P.FIRST_NAME, %coalesce(P.BIRTH_NAME,'') %add ' ' %add P.NAME BNAME,",
        " %case(P.SEX,1,'M','F') SEX, P.BIRTH_DATE, V.VISIT_DATE, V.RESULT_VALUE * 1.5 R",
        "FROM PATIENTS P, VISITS V, DOCUMENTS D",
        "WHERE V.PAT_ID%join = P.ID",
        " AND D.VISIT_ID%join = V.ID AND D.KIND IN (1, 2, 3) AND P.NAME LIKE 'DUP%'",
        " AND ((P.ACTIVE = %true)",
        "      OR (P.ARCHIVED = %false AND P.OWNER = %user))",
        " AND %coalesce(V.STATUS, 0) <> 9 AND D.CREATED >= :P1 AND D.TITLE <> 'x,y (z)'",
        "ORDER BY P.NAME, P.FIRST_NAME DESC",
    };
    QStringList lines;
    while (lines.size() < 2000)
        lines += block;
    return lines.join(QLatin1Char('\n'));
}

TMacroInfo msSqlMacros()
{
    TMacroInfo m;
    m.SetText(BuildMacroLines(1, false, {}, nullptr).join(QLatin1Char('\n')));
    return m;
}

// The baseline: copy the text and find every "%" in it, as any pass over the text must.
qsizetype copyAndScan(const QString& text)
{
    QString copy = text;
    copy.detach();
    return copy.count(QLatin1Char('%'));
}

// Seconds per baseline pass, measured once in this process.
double baselineSeconds(const QString& text)
{
    static const double seconds = [&text] {
        constexpr int passes = 500;
        const auto start = std::chrono::steady_clock::now();
        for (int i = 0; i < passes; ++i)
            benchmark::DoNotOptimize(copyAndScan(text));
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        return took.count() / passes;
    }();
    return seconds;
}

// Characters per second, and the time of one pass as a multiple of the baseline's.
void setThroughput(benchmark::State& state, const QString& text,
                   std::chrono::steady_clock::time_point start)
{
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    state.SetBytesProcessed(int64_t(state.iterations()) * text.size());
    if (state.iterations() > 0)
        state.counters["x_baseline"] =
            took.count() / double(state.iterations()) / baselineSeconds(text);
}

void BM_CopyAndScan(benchmark::State& state)
{
    const QString text = requestText();
    baselineSeconds(text);
    const auto start = std::chrono::steady_clock::now();
    for (auto _ : state)
        benchmark::DoNotOptimize(copyAndScan(text));
    setThroughput(state, text, start);
}

void BM_Tokenize(benchmark::State& state)
{
    const QString text = requestText();
    baselineSeconds(text);
    const auto start = std::chrono::steady_clock::now();
    for (auto _ : state) {
        TFFParser parser;
        parser.SetEncloseStrings(true);
        parser.SetString(text);
        int tokens = 0;
        while (parser.Token(true) != toEOF)
            ++tokens;
        benchmark::DoNotOptimize(tokens);
    }
    setThroughput(state, text, start);
}

void BM_ExpandMacros(benchmark::State& state)
{
    const QString text = requestText();
    const TMacroInfo macros = msSqlMacros();
    baselineSeconds(text);
    const auto start = std::chrono::steady_clock::now();
    for (auto _ : state)
        benchmark::DoNotOptimize(ExpandMacros(macros, text));
    setThroughput(state, text, start);
}

BENCHMARK(BM_CopyAndScan)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Tokenize)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ExpandMacros)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
