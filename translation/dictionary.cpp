// The translation dictionary, and the statement file's reader, writer and merger.
#include "dictionary.h"

#include "language.h"

#include <platform/codepage.h>
#include <platform/exception.h>
#include <platform/fileops.h>
#include <platform/files.h>
#include <platform/support/logfile.h>

#include <QFileInfo>
#include <QSet>

#include <algorithm>

namespace {

const QString Marker = QStringLiteral("{TRANSLATE}");
const QString KeySeparator = QStringLiteral("#1");

struct Entry
{
    QString formClass;
    QString name;
    QString text;
    QString order; // the key upper-cased: what the entries are sorted and found by
};

QList<Entry>& entries()
{
    static QList<Entry> list;
    return list;
}

QString orderKey(const QString& formClass, const QString& name)
{
    return codepage::upper(formClass + KeySeparator + name);
}

QList<Entry>::iterator lowerBound(const QString& order)
{
    QList<Entry>& list = entries();
    return std::lower_bound(list.begin(), list.end(), order,
                            [](const Entry& e, const QString& key) { return e.order < key; });
}

bool validIndex(int index)
{
    return index >= 0 && index < entries().size();
}

// ---- reading

// The next single-quoted string from `pos` on: a doubled quote inside stands for one. A string
// without its closing quote keeps what was complete before its last quote. False when no quote
// is left.
bool readQuoted(const QString& line, qsizetype& pos, QString& value)
{
    value.clear();
    const qsizetype open = line.indexOf(QLatin1Char('\''), pos);
    if (open < 0) {
        pos = line.size();
        return false;
    }
    qsizetype from = open + 1;
    for (;;) {
        const qsizetype close = line.indexOf(QLatin1Char('\''), from);
        if (close < 0) {
            pos = line.size();
            return true;
        }
        value += QStringView(line).mid(from, close - from);
        if (close + 1 < line.size() && line.at(close + 1) == QLatin1Char('\'')) {
            value += QLatin1Char('\'');
            from = close + 2;
            continue;
        }
        pos = close + 1;
        return true;
    }
}

QStringList splitLines(const QString& text)
{
    QStringList lines;
    qsizetype start = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c != QLatin1Char('\r') && c != QLatin1Char('\n'))
            continue;
        lines.append(text.mid(start, i - start));
        if (c == QLatin1Char('\r') && i + 1 < text.size() && text.at(i + 1) == QLatin1Char('\n'))
            ++i;
        start = i + 1;
    }
    if (start < text.size())
        lines.append(text.mid(start));
    return lines;
}

// The statement of one line as the dictionary keys it: the first three quoted strings, a name
// that holds "Consts[" keyed by its line's number (TLCLineKey). False when the line's first
// string is missing or empty.
bool readStatement(const QString& line, QString& formClass, QString& name, QString& text)
{
    static const QString constsMark = QStringLiteral("Consts[");
    qsizetype pos = 0;
    if (!readQuoted(line, pos, formClass) || formClass.isEmpty())
        return false;
    readQuoted(line, pos, name);
    readQuoted(line, pos, text);
    const qsizetype consts = name.indexOf(constsMark);
    if (consts >= 0)
        name = TLCLineKey(name.left(consts), text);
    return true;
}

// ---- writing

QString doubledQuotes(const QString& text)
{
    QString result = text;
    result.replace(QLatin1Char('\''), QStringLiteral("''"));
    return result;
}

// The condition of a statement, which the merger also looks for in the lines it copies.
QString condition(const QString& formClass, const QString& name)
{
    return QStringLiteral("(F='") + doubledQuotes(formClass) + QStringLiteral("')AND(N='") +
           doubledQuotes(name) + QStringLiteral("')");
}

QString statement(const QString& formClass, const QString& name, const QString& text)
{
    return QStringLiteral("if ") + condition(formClass, name) + QStringLiteral(" then Result:='") +
           doubledQuotes(text) + QStringLiteral("';");
}

const QString& endLine()
{
    static const QString line = QStringLiteral("end; ") + Marker;
    return line;
}

// The lines in the program's code page with CR LF after each. A character the code page cannot
// hold is written as "?" and the loss logged.
QByteArray fileBytes(const QStringList& lines, const QString& fileName)
{
    QString text;
    for (const QString& line : lines)
        text += line + QStringLiteral("\r\n");
    bool lossless = true;
    QByteArray bytes = codepage::toAnsi(text, &lossless);
    if (!lossless)
        WriteToLog(QStringLiteral("Characters outside the code page written as \"?\" in ") +
                   fileName);
    return bytes;
}

// Written beside the file under a temporary name, then renamed over it: a failure leaves the old
// file whole.
void writeWhole(const QString& fileName, const QByteArray& bytes)
{
    if (fileName.isEmpty())
        throw EInOutError(QStringLiteral("No translation file is set"));
    const QString temporary = fileName + QStringLiteral(".new");
    QString error;
    if (!fileops::writeFile(temporary, bytes, &error))
        throw EInOutError(error);
    if (!fileops::rename(temporary, fileName, &error)) {
        fileops::remove(temporary);
        throw EInOutError(error);
    }
}

} // namespace

// ---- the dictionary

int AddTranslation(const QString& FormClass, const QString& Name, const QString& Text)
{
    const QString order = orderKey(FormClass, Name);
    const auto at = lowerBound(order);
    if (at != entries().end() && at->order == order)
        return int(at - entries().begin());
    const qsizetype index = at - entries().begin();
    entries().insert(index, Entry{FormClass, Name, Text, order});
    return int(index);
}

int FindTranslation(const QString& FormClass, const QString& Name)
{
    const QString order = orderKey(FormClass, Name);
    const auto at = lowerBound(order);
    if (at != entries().end() && at->order == order)
        return int(at - entries().begin());
    return -1;
}

void DeleteTranslation(int Index)
{
    if (validIndex(Index))
        entries().removeAt(Index);
}

void ClearTranslations()
{
    entries().clear();
}

int TranslationCount()
{
    return int(entries().size());
}

QString TranslationText(int Index)
{
    return validIndex(Index) ? entries().at(Index).text : QString();
}

QString TranslationFormClass(int Index)
{
    return validIndex(Index) ? entries().at(Index).formClass : QString();
}

QString TranslationName(int Index)
{
    return validIndex(Index) ? entries().at(Index).name : QString();
}

QString TLCLineKey(const QString& stem, const QString& line)
{
    const qsizetype equals = line.indexOf(QLatin1Char('='));
    return stem + (equals < 0 ? line : line.left(equals));
}

// ---- the statement file

void AddStatements(const QByteArray& fileBytes)
{
    for (const QString& line : splitLines(codepage::fromAnsi(fileBytes))) {
        QString formClass;
        QString name;
        QString text;
        if (readStatement(line, formClass, name, text))
            AddTranslation(formClass, name, text);
    }
}

bool LoadTranslations()
{
    ClearTranslations();
    if (TranslationFileName.isEmpty() || !QFileInfo(TranslationFileName).isFile())
        return false;
    try {
        AddStatements(
            files::readWholeFile(TranslationFileName, QStringLiteral("The translations")));
    } catch (const std::exception&) {
        ClearTranslations();
        return false;
    }
    return true;
}

QByteArray StatementFileBytes()
{
    QStringList lines{QStringLiteral("begin")};
    for (const Entry& e : std::as_const(entries()))
        lines.append(statement(e.formClass, e.name, e.text));
    lines.append(endLine());
    return fileBytes(lines, TranslationFileName);
}

void SaveTranslations()
{
    writeWhole(TranslationFileName, StatementFileBytes());
}

void MergeTranslations(const QStringList& Classes, const QStringList& Names,
                       const QStringList& Texts, const QString& FileName)
{
    const qsizetype count = std::min({Classes.size(), Names.size(), Texts.size()});
    QStringList statements;
    QStringList conditions;
    QSet<QString> keys;
    for (qsizetype i = 0; i < count; ++i) {
        statements.append(statement(Classes.at(i), Names.at(i), Texts.at(i)));
        conditions.append(condition(Classes.at(i), Names.at(i)));
        keys.insert(orderKey(Classes.at(i), Names.at(i)));
    }
    // A statement being replaced: one naming the same class and text, or one that the reader
    // keys the same (another letter case, a numbered line named by its position), which would
    // otherwise be read first and hide the new text.
    const auto replaced = [&conditions, &keys](const QString& line) {
        if (std::any_of(conditions.cbegin(), conditions.cend(),
                        [&line](const QString& c) { return line.contains(c); }))
            return true;
        QString formClass;
        QString name;
        QString text;
        return readStatement(line, formClass, name, text) &&
               keys.contains(orderKey(formClass, name));
    };

    QStringList lines;
    if (!QFileInfo::exists(FileName)) {
        lines = QStringList{QStringLiteral("begin")} + statements + QStringList{endLine()};
    } else {
        bool marked = false;
        const QString old =
            codepage::fromAnsi(files::readWholeFile(FileName, QStringLiteral("The translations")));
        for (const QString& line : splitLines(old)) {
            if (line.contains(Marker)) {
                lines += statements;
                lines.append(endLine());
                marked = true;
                continue;
            }
            if (!replaced(line))
                lines.append(line);
        }
        if (!marked) {
            lines += statements;
            lines.append(endLine());
        }
    }
    writeWhole(FileName, fileBytes(lines, FileName));
}
