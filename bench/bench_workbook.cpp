// A formatted sheet of 20,000 rows and 10 columns (a bold filled title row, thin borders, centred,
// right-aligned and wrapped columns) written as .xlsx through the workbook model (cells and
// formats set, then the book written) against the same cells and formats written straight
// through libxlsxwriter, in the same run. Goal: at most 1.5 times as long.
#include <platform/workbook/workbook.h>

#include <benchmark/benchmark.h>

#include "ratio.h"

#include <QTemporaryDir>

#include <xlsxwriter.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr int Rows = 20000;
constexpr int Cols = 10;

// The cells' texts, in the form each side takes them.
const std::vector<std::string>& utf8Texts()
{
    static const std::vector<std::string> texts = [] {
        std::vector<std::string> t;
        t.reserve(size_t(Rows) * Cols);
        for (int r = 1; r <= Rows; ++r) {
            for (int c = 1; c <= Cols; ++c)
                t.push_back(r == 1 ? "Colonne " + std::to_string(c)
                                   : "Résultat " + std::to_string(r * Cols + c));
        }
        return t;
    }();
    return texts;
}

const std::vector<QString>& texts()
{
    static const std::vector<QString> t = [] {
        std::vector<QString> out;
        for (const std::string& s : utf8Texts())
            out.push_back(QString::fromStdString(s));
        return out;
    }();
    return t;
}

const QTemporaryDir& folder()
{
    static const QTemporaryDir dir;
    return dir;
}

// The look of a cell: title, or one of three body columns kinds.
enum Look { Title, Plain, Centred, Right };
Look lookOf(int row, int col)
{
    return row == 1 ? Title : col == 1 ? Plain : col % 2 ? Centred : Right;
}

void BM_ThroughModel(benchmark::State& state)
{
    const QString path = folder().filePath(QStringLiteral("model.xlsx"));
    CellFormat formats[4];
    formats[Title].Font.Bold = true;
    formats[Title].Pattern = 1;
    formats[Title].PatternColor = 0xFFC0C0C0;
    formats[Title].Horizontal = HAlign::Center;
    for (CellFormat& f : formats) {
        for (BorderSide side :
             {BorderSide::Left, BorderSide::Right, BorderSide::Top, BorderSide::Bottom})
            f.setBorder(side, ThinBorder);
    }
    formats[Centred].Horizontal = HAlign::Center;
    formats[Right].Horizontal = HAlign::Right;
    formats[Right].WordWrap = true;
    for (auto _ : state) {
        Workbook book;
        Worksheet& sheet = book.current();
        sheet.Name = QStringLiteral("Rapport");
        for (int c = 1; c <= Cols; ++c)
            sheet.SetColWidth(c, 1800);
        size_t i = 0;
        for (int r = 1; r <= Rows; ++r) {
            for (int c = 1; c <= Cols; ++c) {
                sheet.SetText(r, c, texts()[i++]);
                sheet.SetFormatAt(r, c, formats[lookOf(r, c)]);
            }
        }
        book.Write(path);
    }
    state.SetItemsProcessed(state.iterations() * Rows * Cols);
}

void BM_StraightThroughLibxlsxwriter(benchmark::State& state)
{
    const QByteArray path = folder().filePath(QStringLiteral("direct.xlsx")).toLocal8Bit();
    for (auto _ : state) {
        lxw_workbook* file = workbook_new(path.constData());
        lxw_worksheet* sheet = workbook_add_worksheet(file, "Rapport");
        lxw_format* formats[4];
        for (lxw_format*& f : formats) {
            f = workbook_add_format(file);
            format_set_border(f, LXW_BORDER_THIN);
        }
        format_set_bold(formats[Title]);
        format_set_pattern(formats[Title], LXW_PATTERN_SOLID);
        format_set_bg_color(formats[Title], 0xC0C0C0);
        format_set_align(formats[Title], LXW_ALIGN_CENTER);
        format_set_align(formats[Centred], LXW_ALIGN_CENTER);
        format_set_align(formats[Right], LXW_ALIGN_RIGHT);
        format_set_text_wrap(formats[Right]);
        worksheet_set_column(sheet, 0, Cols - 1, (120 - 5) / 7.0, nullptr);
        size_t i = 0;
        for (int r = 1; r <= Rows; ++r) {
            for (int c = 1; c <= Cols; ++c)
                worksheet_write_string(sheet, lxw_row_t(r - 1), lxw_col_t(c - 1),
                                       utf8Texts()[i++].c_str(), formats[lookOf(r, c)]);
        }
        if (workbook_close(file) != LXW_NO_ERROR)
            state.SkipWithError("libxlsxwriter could not write the file");
    }
    state.SetItemsProcessed(state.iterations() * Rows * Cols);
}

BENCHMARK(BM_StraightThroughLibxlsxwriter)->Unit(benchmark::kMillisecond)->MinTime(3.0);
BENCHMARK(BM_ThroughModel)->Unit(benchmark::kMillisecond)->MinTime(3.0);

} // namespace

BenchProgram benchProgram()
{
    return {.check =
                [] {
                    texts();
                    return folder().isValid() ? QString()
                                              : QStringLiteral("no temporary folder for the files");
                },
            .ratios =
                [](const RatioReporter& r) {
                    r.printRatio("BM_ThroughModel", "BM_StraightThroughLibxlsxwriter",
                                 "at most 1.5");
                }};
}
