// BFA result files: the framed byte stream read into records, records of one patient and cup
// merged, each written as a windows-1251 report with a fixed header; and the test-name dictionary
// with which the viewer lays the reports out.
#include "bfareport.h"

#include <platform/clock.h>
#include <platform/codepage.h>
#include <platform/controlchars.h>
#include <platform/exception.h>
#include <platform/fileops.h>
#include <platform/files.h>
#include <platform/support/globals.h>
#include <platform/support/paths.h>
#include <platform/support/textprocs.h>

#include <QByteArrayView>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <array>
#include <cerrno>
#include <utility>

namespace {

using codepage::Cp1251;

// ---- the input stream ----------------------------------------------------------------------

// ISO 8859-5 bytes 0xA0..0xFF as windows-1251 bytes. The letters А..я (0xB0..0xEF) sit 0x10 lower
// than in 1251; the rest of the block (Ё, ё, №, the Serbian and Ukrainian letters, §) is
// scattered over the 1251 table.
constexpr std::array<unsigned char, 0x60> IsoUpperHalf = {
    0xA0, 0xA8, 0x80, 0x81, 0xAA, 0xBD, 0xB2, 0xAF, 0xA3, 0x8A, 0x8C, 0x8E, 0x8D, 0xAD, 0xA1, 0x8F,
    0xC0, 0xC1, 0xC2, 0xC3, 0xC4, 0xC5, 0xC6, 0xC7, 0xC8, 0xC9, 0xCA, 0xCB, 0xCC, 0xCD, 0xCE, 0xCF,
    0xD0, 0xD1, 0xD2, 0xD3, 0xD4, 0xD5, 0xD6, 0xD7, 0xD8, 0xD9, 0xDA, 0xDB, 0xDC, 0xDD, 0xDE, 0xDF,
    0xE0, 0xE1, 0xE2, 0xE3, 0xE4, 0xE5, 0xE6, 0xE7, 0xE8, 0xE9, 0xEA, 0xEB, 0xEC, 0xED, 0xEE, 0xEF,
    0xF0, 0xF1, 0xF2, 0xF3, 0xF4, 0xF5, 0xF6, 0xF7, 0xF8, 0xF9, 0xFA, 0xFB, 0xFC, 0xFD, 0xFE, 0xFF,
    0xB9, 0xB8, 0x90, 0x83, 0xBA, 0xBE, 0xB3, 0xBF, 0xBC, 0x9A, 0x9C, 0x9E, 0x9D, 0xA7, 0xA2, 0x9F,
};

// A text byte of the stream as the report's byte. ASCII passes unchanged; the C1 controls
// (0x80..0x9F) are no text at all and have no place in 1251, where those bytes are letters.
char toCp1251(unsigned char b)
{
    if (b < 0x80)
        return char(b);
    if (b < 0xA0)
        return '?';
    return char(IsoUpperHalf[b - 0xA0]);
}

// Field kinds, numbered as the labels below. Ignored: a label that matches none; the rest of its
// field is dropped up to the next FS.
enum Kind {
    None = 0,
    Received = 1,
    Request,
    Cup,
    Priority,
    PatientName,
    PatientId,
    Age,
    Sex,
    Test,
    Ignored = -1
};

struct Label
{
    const char* text;
    Kind kind;
};

// Matched against the start of the label token in this order; the first match wins.
constexpr Label Labels[] = {
    {"RECV_RSLTS", Received},
    {"REQ", Request},
    {"rCUP", Cup},
    {"rPRIO", Priority},
    {"iPNAME", PatientName},
    {"iPID", PatientId},
    {"AGE", Age},
    {"SEX", Sex},
    {"TS=", Test},
};

const char* labelOf(Kind kind)
{
    for (const Label& l : Labels) {
        if (l.kind == kind)
            return l.text;
    }
    return "";
}

// One sample's record: its name=value entries and its result lines (code, value, unit and remark
// separated by TAB), all in windows-1251 bytes.
struct Record
{
    QList<std::pair<QByteArray, QByteArray>> values;
    QList<QByteArray> results;

    // The first entry of that name, empty when there is none.
    QByteArray value(Kind kind) const
    {
        const QByteArrayView name(labelOf(kind));
        for (const auto& [n, v] : values) {
            if (n == name)
                return v;
        }
        return {};
    }
    bool isEmpty() const { return values.isEmpty() && results.isEmpty(); }
};

// Reads the stream byte by byte and collects the reports' records: one per run of records of the
// same patient and cup.
class RecordReader
{
public:
    void read(const QByteArray& stream)
    {
        for (const char c : stream)
            take(c);
    }

    // The records to report, in order. A last record whose end mark never came is reported with
    // the fields it completed; a field cut off before its FS is dropped, as its value may be cut
    // too. There is always at least one, empty when the stream held no record.
    QList<Record> finish()
    {
        if (!m_current.isEmpty())
            endRecord();
        m_reports.append(std::move(m_previous));
        return std::move(m_reports);
    }

private:
    void take(char c)
    {
        switch (c) {
        case STX:
            m_current = Record();
            m_kind = None;
            m_token.clear();
            break;
        case GS:
            endLabelOrSubField();
            break;
        case FS:
            endField();
            break;
        case EOT:
            endRecord();
            break;
        case ETB:
        case RS:
            break;
        default:
            m_token.append(toCp1251(static_cast<unsigned char>(c)));
            break;
        }
    }

    void endLabelOrSubField()
    {
        if (m_kind == None) {
            m_kind = Ignored;
            for (const Label& l : Labels) {
                if (m_token.startsWith(l.text)) {
                    m_kind = l.kind;
                    break;
                }
            }
            if (m_kind == Test)
                m_token = m_token.mid(3) + '\t';
            else
                m_token.clear();
        } else if (m_kind == Test) {
            if (!m_token.isEmpty() && !m_token.endsWith('\t'))
                m_token.append('\t');
        }
    }

    void endField()
    {
        if (m_kind >= Request && m_kind <= Sex)
            m_current.values.append({QByteArray(labelOf(m_kind)), m_token});
        else if (m_kind == Test)
            m_current.results.append(m_token);
        m_kind = None;
        m_token.clear();
    }

    // Records of one patient and cup in a row make one report. The first record always starts
    // the first report, even without patient name and cup, so that its results are not merged
    // into an empty record and dropped. The next record starts empty even when its STX is lost,
    // so that no result is reported twice.
    void endRecord()
    {
        if (!m_first && m_current.value(PatientName) == m_previous.value(PatientName) &&
            m_current.value(Cup) == m_previous.value(Cup)) {
            m_previous.results += m_current.results;
        } else {
            if (!m_first)
                m_reports.append(std::move(m_previous));
            m_first = false;
            m_previous = std::move(m_current);
        }
        m_current = Record();
    }

    Kind m_kind = None;
    QByteArray m_token;
    Record m_current;
    Record m_previous;
    bool m_first = true;
    QList<Record> m_reports;
};

// ---- the report ----------------------------------------------------------------------------

// Fixed, whatever the machine's or the program's language: the report is Russian.
constexpr std::array<const char16_t*, 12> MonthNames = {
    u"Янв", u"Фев", u"Мар", u"Апр", u"Май", u"Июн", u"Июл", u"Авг", u"Сен", u"Окт", u"Ноя", u"Дек"};

QByteArray cp(const char16_t* text)
{
    return codepage::encode(QString::fromUtf16(text), Cp1251);
}

QByteArray blanks(qsizetype n)
{
    return QByteArray(qMax<qsizetype>(n, 0), ' ');
}

// Cut to n characters, or padded with blanks to n.
QByteArray fit(const QByteArray& text, int n)
{
    return text.size() > n ? text.left(n) : text + blanks(n - text.size());
}

// A result column: padded with blanks to n; a longer text is kept whole and followed by one
// blank, so that nothing of a result is cut and the fields stay apart.
QByteArray column(const QByteArray& text, int n)
{
    return text.size() > n ? text + ' ' : text + blanks(n - text.size());
}

QByteArray resultLine(const QByteArray& result)
{
    const QList<QByteArray> parts = result.split('\t');
    const auto part = [&](qsizetype i) { return i < parts.size() ? parts[i] : QByteArray(); };
    // Anything after the remark stays with it rather than being lost.
    QByteArray remark;
    for (qsizetype i = 3; i < parts.size(); ++i)
        remark += (i > 3 ? "\t" : "") + parts[i];
    return blanks(4) + column(part(0), 16) + column(part(1) + ' ' + part(2), 19) + remark;
}

QByteArray reportText(const Record& r, const QDate& date, const QTime& time)
{
    const QByteArray day = QByteArray::number(date.day()).rightJustified(2, '0');
    const QByteArray stamp = day + '-' + cp(MonthNames[size_t(date.month() - 1)]) + '-' +
                             QByteArray::number(date.year()).rightJustified(4, '0') + "  " +
                             time.toString(QStringLiteral("HH:mm:ss")).toLatin1();

    QList<QByteArray> lines;
    lines << fit(cp(u"Отчет по пациенту"), 58) + stamp;
    lines << QByteArray();
    // The laboratory heading: the organisation lines of the settings file.
    lines << blanks(20) + codepage::encode(OrgName1, Cp1251);
    lines << blanks(21) + codepage::encode(OrgName2, Cp1251);
    lines << blanks(20) + codepage::encode(OrgInfo1, Cp1251);
    lines << blanks(19) + codepage::encode(OrgInfo2, Cp1251);
    lines << QByteArray();
    lines << (r.value(Priority) == "STAT" ? cp(u"СРОЧНО") : QByteArray());
    lines << cp(u"Пациент: ") + fit(r.value(PatientName), 41) + cp(u" Код: ") + r.value(PatientId);
    lines << cp(u"Номер пробирки: ") + fit(r.value(Cup), 5) + cp(u"Номер запроса: ") +
                 fit(r.value(Request), 9) + cp(u"Возр: ") + fit(r.value(Age), 10) + cp(u"Пол: ") +
                 r.value(Sex);
    lines << cp(u"Коммент.: ");
    for (int i = 12; i <= 17; ++i)
        lines << QByteArray();
    lines << cp(u"    Тест:           Результат          Замечания        Низкий      Высокий");
    for (const QByteArray& result : r.results)
        lines << resultLine(result);

    QByteArray text;
    for (const QByteArray& line : lines)
        text += line + "\r\n";
    return text;
}

// ---- files ---------------------------------------------------------------------------------

// Removes the reports written so far; returns what could not be removed, for the error message.
QString removeReports(const QList<BFAReport>& written)
{
    QStringList left;
    for (const BFAReport& report : written) {
        QString error;
        if (!fileops::remove(report.fileName, &error))
            left << error;
    }
    return left.join(QStringLiteral("; "));
}

[[noreturn]] void abandon(const QString& what, const QList<BFAReport>& written)
{
    QString message = what + QStringLiteral("; the input file is kept");
    if (!written.isEmpty()) {
        const QString left = removeReports(written);
        message += left.isEmpty() ? QStringLiteral(" and the reports written are removed")
                                  : QStringLiteral(" (%1)").arg(left);
    }
    throw EInOutError(message);
}

struct TestName
{
    const char16_t* code;
    const char16_t* name;
};

constexpr TestName TestNames[] = {
    {u"Gluc", u"Глюкоза"},
    {u"TP", u"Общий белок"},
    {u"Alb", u"Альбумин"},
    {u"BUN", u"Мочевина"},
    {u"Creat", u"Креатинин"},
    {u"TBili", u"Общий билирубин"},
    {u"DBili", u"Прямой билируб."},
    {u"NDBili", u"Непрям.билируб."},
    {u"Trig", u"Триглицериды"},
    {u"Chol", u"Холестерин"},
    {u"HDL", u"Липопр.Выс.Плтн"},
    {u"LDL", u"Липопр.Низк.Плт"},
    {u"K.A", u"Коэфф.атероген."},
    {u"Fibrin.", u"Фибриноген"},
    {u"UA", u"Мочевая кислота"},
    {u"AMY", u"альфа-Амилаза"},
    {u"ALT", u"АЛТ"},
    {u"AST", u"АСТ"},
    {u"GGT", u"гамма-ГТ"},
    {u"ALP", u"Щелочн.фосфатаз"},
    {u"CK", u"КФК"},
    {u"LDH_L", u"ЛДГ"},
    {u"Fe", u"Железо"},
    {u"ExFe", u"ExIron"},
    {u"TIBC", u"ОЖСС"},
    {u"UIBC", u"НЖСС"},
    {u"Na", u"Na+"},
    {u"K", u"K+"},
    {u"Ca", u"Ca++"},
    {u"IPhos", u"Неорг.фосфор"},
    {u"Trig mg", u"Триглицериды"},
    {u"Chol mg", u"Холестерин"},
    {u"HDL mg", u"Липопр.Выс.Плтн"},
    {u"LDL mg", u"Липопр.Низк.Плт"},
    {u"UIBC_2", u"НЖСС"},
    {u"TIBC_2", u"ОЖСС"},
    {u"ExFe_2", u"ExIron"},
    {u"Phos_L", u"Неорг.фосфор"},
    {u"HBD", u"HBD"},
    {u"Fe_Hum", u"Сыворот.железо"},
    {u"BUN_2", u"Мочевина"},
    {u"Gluc_ht", u"Glucose"},
    {u"TPh", u"Общий белок"},
    {u"CRcm", u"Креатинин"},
    {u"Trig_cm", u"Триглицериды"},
    {u"Chol_cm", u"Холестерин"},
    {u"Gluc_h", u"Глюкоза"},
    {u"Chol_2", u"Холестерин"},
    {u"CK_NAC", u"КФК общая (NAC)"},
    {u"CK_MB", u"КФК МВ-фракция"},
    {u"CKMB_P", u"КФК МВ(%)"},
};

} // namespace

QList<BFAReport> ReadBFAFile(const QString& fileName)
{
    const QFileInfo input(fileName);
    static const QRegularExpression reportName(QStringLiteral("^~bfa[0-9]+\\.tmp$"),
                                               QRegularExpression::CaseInsensitiveOption);
    if (reportName.match(input.fileName()).hasMatch())
        throw EInOutError(QStringLiteral("The file \"%1\" is a BFA report, not a result file; "
                                         "it is left as it is")
                              .arg(fileName));

    RecordReader reader;
    reader.read(files::readWholeFile(fileName, QStringLiteral("The BFA result file")));
    const QList<Record> records = reader.finish();

    const QDateTime now = clock::now();
    const QDate date = now.date();
    const QTime time(now.time().hour(), now.time().minute(), now.time().second());
    const QString folder = AddBackslash(input.absolutePath());

    QList<BFAReport> written;
    for (const Record& record : records) {
        BFAReport report;
        report.fileName = folder + QStringLiteral("~bfa%1.tmp").arg(written.size() + 1);
        report.patientName = codepage::decode(record.value(PatientName), Cp1251);
        report.patientId = codepage::decode(record.value(PatientId), Cp1251);
        report.date = date;
        report.time = time;
        QString error;
        if (!fileops::writeFile(report.fileName, reportText(record, date, time), &error))
            abandon(QStringLiteral("Cannot write a report of the BFA result file \"%1\": %2")
                        .arg(fileName, error),
                    written);
        written.append(report);
    }

    QString error;
    if (!fileops::remove(fileName, &error))
        abandon(QStringLiteral("Cannot delete the converted BFA result file: %1").arg(error),
                written);
    return written;
}

void FormatBFAReport(QStringList& lines)
{
    for (qsizetype i = 18; i < lines.size(); ++i) {
        QString& line = lines[i];
        const QString code = TrimRight(line.mid(4, 16));
        if (code.isEmpty())
            continue;
        line = line.left(4) + BFATestName(code).leftJustified(16) + line.mid(20);
    }
}

QString BFATestName(const QString& code)
{
    for (const TestName& t : TestNames) {
        if (code == QStringView(t.code))
            return QString::fromUtf16(t.name);
    }
    return code;
}
