// The document viewer: the choice of window by source type, the table of device codes whose
// results are shown as reports, and the layout of a decoded report.
#include "viewer.h"

#include "datatables.h"
#include "emfview.h"
#include "imageform.h"
#include "memoform.h"

#include <analysers/devcatalogue.h>
#include <analysers/resultdecoders.h>
#include <analysers/resultreport.h>
#include <app/appglobals.h>
#include <app/sources/bfareport.h>
#include <platform/codepage.h>
#include <platform/db/database.h>
#include <platform/db/localtable.h>
#include <platform/db/sqlname.h>
#include <platform/exception.h>
#include <platform/files.h>
#include <platform/support/docfiles.h>

#include <QImage>
#include <QLabel>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QRegularExpression>

#include <optional>

namespace {

// The header keys shown, in their order, with their labels; Title shows its value alone.
struct HeaderLabel
{
    const char* key;
    const char* label;
};
constexpr HeaderLabel HeaderLabels[] = {
    {"Title", ""},
    {"Name", "Пациент:     "},
    {"PatID", "№ ЭМК:       "},
    {"Code", "Код:         "},
    {"Date", "Дата:        "},
    {"Time", "Время:       "},
    {"SeqNo", "Номер:       "},
    {"Temp", "Темп.:       "},
    {"TestStrip", "Т.полоска:   "},
    {"Duration", "Длит.(мин.): "},
    {"CarPos", "Позиция:     "},
};

const QString ColumnHeading = QStringLiteral(
    "  №   Код           Параметр                                               Значение");
constexpr int RuleWidth = 89;

// The value of the first "key=value" line whose key is `key` (case does not count); none when
// no line has that key.
std::optional<QString> valueOf(const QStringList& lines, const QString& key)
{
    for (const QString& line : lines) {
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (eq >= 0 && QStringView(line).left(eq).compare(key, Qt::CaseInsensitive) == 0)
            return line.mid(eq + 1);
    }
    return std::nullopt;
}

QString padded(const QString& text, int width)
{
    return text.size() >= width ? text : text + QString(width - text.size(), QLatin1Char(' '));
}

QString field(const QStringList& fields, int i)
{
    return i < fields.size() ? fields.at(i).trimmed() : QString();
}

struct Document
{
    int number = 0;
    int type = 0;
    QString code;
    QString fileName;
};

std::optional<Document> readDocument(int number)
{
    TDataTables& t = CheckedDataTables();
    auto st = ConnectionOf(*t.files).prepare(
        QStringLiteral("SELECT c.\"Type\", c.\"Extension\", f.\"File_name\" FROM %1 f JOIN %2 c "
                       "ON c.\"Number\" = f.\"Cfg\" WHERE f.\"Number\" = ?")
            .arg(quoteSqlName(t.files->tableName()), quoteSqlName(t.cfg->tableName())));
    st->bind(0, number);
    if (!st->step())
        return std::nullopt;
    return Document{number, st->columnValue(0).toInt(), st->columnValue(1).toString(),
                    st->columnValue(2).toString()};
}

// The document's data file as it exists, or its name as the registry writes it.
QString dataFile(int number, int type)
{
    const QString found = FindDocumentFile(number, type);
    return found.isEmpty() ? DocumentFileName(number, type) : found;
}

// The further pages of a printed document: the rows that name it as their first page.
QStringList pageFiles(int number)
{
    LocalTable& files = *CheckedDataTables().files;
    auto st = ConnectionOf(files).prepare(
        QStringLiteral("SELECT \"Number\" FROM %1 WHERE \"Type\" = ? ORDER BY \"Number\"")
            .arg(quoteSqlName(files.tableName())));
    st->bind(0, number);
    QStringList pages{dataFile(number, stPrinter)};
    while (st->step())
        pages.append(dataFile(st->columnValue(0).toInt(), stPrinter));
    return pages;
}

// A text file's lines, decoded in the code page given.
QStringList textLines(const QString& path, codepage::CodePage cp)
{
    const QString text = codepage::decode(files::readWholeFile(path), cp);
    static const QRegularExpression lineEnd(QStringLiteral("\r\n|\n|\r"));
    QStringList lines = text.split(lineEnd);
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

void showText(const QStringList& lines)
{
    TMemoForm* form = CreateForm<TMemoForm>();
    form->Text->setPlainText(lines.join(QLatin1Char('\n')));
    form->ShowModal();
    form->Free();
}

// Folder and serial documents: a report for the codes of the table, the file's text otherwise.
QStringList resultLines(const Document& doc, const QString& file)
{
    const auto view = ResultViews().constFind(doc.code);
    if (view == ResultViews().cend()) {
        const bool bfa = doc.code == QLatin1String("BFA");
        QStringList lines = textLines(file, bfa ? codepage::Cp1251 : codepage::current());
        if (bfa)
            FormatBFAReport(lines);
        return lines;
    }
    QStringList lines;
    if (view->Report) {
        view->Report(doc.code, file, lines);
        return lines;
    }
    QStringList header, results, names;
    if (view->Decode)
        view->Decode(file, header, results, names);
    return FormatResultReport(header, results, names);
}

} // namespace

namespace {

using Decoder = void (*)(const QString&, QStringList&, QStringList&, QStringList*);

TResultView decoded(Decoder decode)
{
    return {[decode](const QString& file, QStringList& header, QStringList& results,
                     QStringList& names) { decode(file, header, results, &names); },
            {}};
}

} // namespace

QHash<QString, TResultView>& ResultViews()
{
    static QHash<QString, TResultView> views{
        {QStringLiteral("CLT"), TResultView{}},
        {QStringLiteral("ULX"),
         decoded([](const QString& f, QStringList& h, QStringList& r, QStringList* n) {
             ViewUriluxFile(f, h, r, n, UriluxTemplate(), mdUrilux, 3);
         })},
        {QStringLiteral("TBT"), decoded([](const QString& f, QStringList& h, QStringList& r,
                                           QStringList* n) { ViewTrombotimerFile(f, h, r, n); })},
        {QStringLiteral("AUM"), decoded(ViewAutionMiniFile)},
        {QStringLiteral("RFT"), decoded(ViewRftFile)},
        {QStringLiteral("ABX"), decoded(ViewAbxFile)},
        {QStringLiteral("SRS"), decoded(ViewStarrsedFile)},
        {QStringLiteral("ALB"), decoded(ViewAutolabFile)},
        {QStringLiteral("SMX"), decoded(ViewSysmexFile)},
        {QStringLiteral("ADV"), decoded(ViewAdviaFile)},
        {QStringLiteral("MXM"), decoded([](const QString& f, QStringList& h, QStringList& r,
                                           QStringList* n) { ViewMaxMFile(f, h, r, n); })},
        {QStringLiteral("911"), decoded(ViewHitachi911File)},
        {QStringLiteral("912"), decoded(ViewHitachi912File)},
        // Reports the code's driver writes itself.
        {QStringLiteral("MDT"), TResultView{{}, ViewDriverResultFile}},
    };
    return views;
}

QStringList FormatResultReport(const QStringList& Header, const QStringList& Results,
                               const QStringList& Names)
{
    QStringList lines;
    for (const HeaderLabel& h : HeaderLabels) {
        const std::optional<QString> value = valueOf(Header, QLatin1String(h.key));
        if (!value)
            continue;
        QString shown = *value;
        if (qstrcmp(h.key, "CarPos") == 0)
            if (const std::optional<QString> carNum = valueOf(Header, QStringLiteral("CarNum")))
                shown = *carNum + QLatin1Char('-') + *value;
        lines.append(QString::fromUtf8(h.label) + shown);
    }
    lines << QString() << QString() << ColumnHeading << QString(RuleWidth, QLatin1Char('-'));
    int n = 0;
    for (const QString& result : Results) {
        const qsizetype eq = result.indexOf(QLatin1Char('='));
        const QString code = eq >= 0 ? result.left(eq) : result;
        const QStringList fields =
            eq >= 0 ? result.mid(eq + 1).split(QLatin1Char('\t')) : QStringList();
        const QString name = valueOf(Names, code).value_or(QString());
        lines.append(QStringLiteral("  ") + padded(QString::number(++n), 2) + QStringLiteral("  ") +
                     padded(code, 12) + QStringLiteral("  ") +
                     padded(name.isEmpty() ? code : name, 53) + QStringLiteral("  ") +
                     padded(field(fields, 0) + QLatin1Char(' ') + field(fields, 1), 14) +
                     QStringLiteral("  ") + field(fields, 2));
    }
    return lines;
}

void ViewDocument(int Number)
{
    const std::optional<Document> doc = readDocument(Number);
    if (!doc)
        return;
    switch (doc->type) {
    case stFolder:
    case stSerial:
        showText(resultLines(*doc, dataFile(Number, doc->type)));
        break;
    case stBreeze:
        showText(textLines(doc->fileName, codepage::current()));
        break;
    case stPrinter: {
        TfEmfView* view = CreateForm<TfEmfView>();
        view->ShowEmfPages(pageFiles(Number));
        view->Free();
        break;
    }
    case stScreen: {
        const QString file = dataFile(Number, stScreen);
        const QImage picture(file);
        if (picture.isNull())
            throw EInOutError(QStringLiteral("The picture \"%1\" cannot be read").arg(file));
        TImageForm* form = CreateForm<TImageForm>();
        form->Image1->setPixmap(QPixmap::fromImage(picture));
        form->Image1->setFixedSize(picture.size());
        form->ShowModal();
        form->Free();
        break;
    }
    default:
        break;
    }
}
