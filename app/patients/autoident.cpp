// Automatic identification of a document's patient: the marker table of the three report kinds,
// the field search and its tokenizer, and the lookup or creation of the local patient.
#include "autoident.h"

#include <app/apperror.h>
#include <app/appglobals.h>
#include <app/documents/datatables.h>
#include <app/documents/tablehelpers.h>
#include <platform/codepage.h>
#include <platform/db/localtable.h>
#include <platform/exception.h>
#include <platform/files.h>
#include <platform/support/docfiles.h>
#include <platform/support/globals.h>
#include <platform/support/logfile.h>

#include <QFile>

#include <array>

namespace {

// The markers are bytes of the single-byte code page the reports are written in: "é" is 0xE9.
const std::array<IdMarkerRow, IdMarkerRowCount>& markerTable()
{
    static const std::array<IdMarkerRow, IdMarkerRowCount> rows{{
        {1, QStringLiteral("Nom"), 1, -1, QByteArray("Nom             :"),
         QByteArray("Sexe            :"), -1},
        {1, QStringLiteral("Prenom"), 1, -1, QByteArray("Pr\xE9nom          :"),
         QByteArray("Taille          :"), -1},
        {2, QStringLiteral("Nom"), 1, -1, QByteArray("Nom :\t"), QByteArray("Sexe :"), -1},
        {2, QStringLiteral("Prenom"), 1, -1, QByteArray("Pr\xE9nom :\t"), QByteArray("Taille :"),
         -1},
        {3, QStringLiteral("Nom"), 1, 1, QByteArray("0  '"), QByteArray("'"), -1},
        {3, QStringLiteral("Prenom"), -1, 1, QByteArray("' '"), QByteArray("'"), -1},
    }};
    return rows;
}

bool isSeparator(char c)
{
    return c == '\t' || c == ' ' || c == '\'';
}

// The text at `from` begins with the end marker.
bool endsHere(const QByteArray& text, qsizetype from, const QByteArray& endMarker)
{
    return !endMarker.isEmpty() && QByteArrayView(text).sliced(from).startsWith(endMarker);
}

// Sets the value, cut to the field's size so that the stored name is the one searched for.
QString fitted(const LocalTable& table, const char* name, const QString& value)
{
    const int size = table.fieldByName(QLatin1String(name))->size();
    return size > 0 ? value.left(size) : value;
}

QByteArray readDocument(const QString& path, int number)
{
    if (path.isEmpty())
        throw EInOutError(QStringLiteral("the data file of document %1 is missing").arg(number));
    return files::readWholeFile(path, QStringLiteral("The data file of document %1").arg(number));
}

// The key of the local patient with these names, added when missing; 0 when it could not be
// stored (the error has been reported).
int localPatient(LocalTable& patients, const QString& nom, const QString& prenom)
{
    patients.setIndexName(QStringLiteral("NomPrenom"));
    const QString storedNom = fitted(patients, "Nom", nom);
    const QString storedPrenom = fitted(patients, "Prenom", prenom);
    if (TableActionGuarded(patients, {storedNom, storedPrenom}))
        return FieldInt(patients, "Patient_ID");

    patients.setIndexName(QString());
    int key = 1;
    if (!patients.isEmpty()) {
        patients.last();
        key = FieldInt(patients, "Patient_ID") + 1;
    }
    patients.append();
    WriteOrCancel(patients, [&] {
        patients.fieldByName(QStringLiteral("Patient_ID"))->setAsInteger(key);
        patients.fieldByName(QStringLiteral("Nom"))->setAsString(storedNom);
        patients.fieldByName(QStringLiteral("Prenom"))->setAsString(storedPrenom);
    });
    return FlushTable(patients, QString()) ? key : 0;
}

bool identify(int number)
{
    // The local patients table is not open while the practice database is in use: the user
    // identifies those documents in the dialog.
    if (PracticeDBInUse || !DataTables)
        return false;
    TDataTables& tables = *DataTables;
    LocalTable& files = *tables.files;
    LocalTable& cfg = *tables.cfg;
    LocalTable& patients = *tables.Patients_Local;
    if (!patients.isActive())
        return false;

    files.setIndexName(QString());
    if (!TableActionGuarded(files, {number}) || FieldInt(files, "NeedId") == 0)
        return false;
    const int source = FieldInt(files, "Cfg");
    const QString fileName = FieldText(files, "File_name");

    cfg.setIndexName(QString());
    if (!TableActionGuarded(cfg, {source}))
        return false;
    int kind = 0;
    if (!FindReportKind(FieldText(cfg, "Extension"), kind))
        return false;
    const int type = FieldInt(cfg, "Type");

    int nomRow = 0, prenomRow = 0;
    if (!FindMarkerRow(kind, QStringLiteral("Nom"), nomRow) ||
        !FindMarkerRow(kind, QStringLiteral("Prenom"), prenomRow))
        return false;

    // A Breeze document stays where Breeze wrote it; the others are in the documents' folder.
    const QString path = type == stBreeze ? fileName : FindDocumentFile(number, type);
    const QList<QByteArray> lines = SplitReportLines(readDocument(path, number));

    QByteArray nom, prenom;
    const IdMarkerRow& n = IdMarker(nomRow);
    const IdMarkerRow& p = IdMarker(prenomRow);
    if (!FindField(lines, n.Position, n.Line, n.StartMarker, n.WordCount, n.EndMarker, nom) ||
        !FindField(lines, p.Position, p.Line, p.StartMarker, p.WordCount, p.EndMarker, prenom))
        return false;

    const int key = localPatient(patients, codepage::fromAnsi(nom), codepage::fromAnsi(prenom));
    if (key == 0)
        return false;

    if (!TableActionGuarded(files, {number}))
        return false;
    files.edit();
    WriteOrCancel(files, [&] {
        files.fieldByName(QStringLiteral("NeedId"))->setAsInteger(0);
        files.fieldByName(QStringLiteral("Patient"))->setAsInteger(key);
    });
    return FlushTable(files, QString());
}

} // namespace

const IdMarkerRow& IdMarker(int Row)
{
    Q_ASSERT(Row >= 1 && Row <= IdMarkerRowCount);
    return markerTable().at(size_t(Row - 1));
}

bool FindReportKind(const QString& Extension, int& Kind)
{
    static const char* const kinds[] = {"JAE", "DYN", "BR1"};
    const QString upper = codepage::upper(Extension);
    for (int i = 0; i < 3; ++i) {
        if (upper == QLatin1String(kinds[i])) {
            Kind = i + 1;
            return true;
        }
    }
    return false;
}

bool FindMarkerRow(int Kind, const QString& FieldName, int& Row)
{
    for (int i = 1; i <= IdMarkerRowCount; ++i) {
        if (IdMarker(i).Kind == Kind && IdMarker(i).FieldName == FieldName) {
            Row = i;
            return true;
        }
    }
    return false;
}

bool FindField(const QList<QByteArray>& Lines, int Position, int Line,
               const QByteArray& StartMarker, int WordCount, const QByteArray& EndMarker,
               QByteArray& Value)
{
    if (Line >= 1) {
        if (Lines.size() < Line)
            return false;
        return ExtractField(Lines.at(Line - 1), Position, StartMarker, WordCount, EndMarker, Value);
    }
    for (const QByteArray& text : Lines) {
        const qsizetype at = text.indexOf(StartMarker);
        if (at >= 0 && ExtractField(text, int(at) + 1, StartMarker, WordCount, EndMarker, Value))
            return true;
    }
    return false;
}

bool ExtractField(const QByteArray& Text, int Position, const QByteArray& StartMarker,
                  int WordCount, const QByteArray& EndMarker, QByteArray& Value)
{
    qsizetype at = -1;
    if (Position == -1) {
        at = Text.indexOf(StartMarker);
        if (at < 0)
            return false;
    } else {
        if (Position < 1 || Position - 1 > Text.size() ||
            !QByteArrayView(Text).sliced(Position - 1).startsWith(StartMarker))
            return false;
        at = Position - 1;
    }
    QByteArray rest = Text.mid(at + StartMarker.size());

    if (WordCount == 0)
        return true;
    QList<QByteArray> words;
    QByteArray word;
    if (WordCount < 0) {
        while (NextWord(rest, word, EndMarker))
            words.append(word);
        if (words.isEmpty())
            return false;
    } else {
        for (int i = 0; i < WordCount; ++i) {
            if (!NextWord(rest, word, EndMarker))
                return false;
            words.append(word);
        }
    }
    Value = words.join(' ');
    return true;
}

bool NextWord(QByteArray& Text, QByteArray& Word, const QByteArray& EndMarker)
{
    qsizetype start = 0;
    for (;; ++start) {
        if (start >= Text.size())
            return false;
        if (endsHere(Text, start, EndMarker))
            return false;
        if (!isSeparator(Text.at(start)))
            break;
    }
    qsizetype stop = start;
    while (stop < Text.size() && !endsHere(Text, stop, EndMarker) && !isSeparator(Text.at(stop)))
        ++stop;
    Word = Text.mid(start, stop - start);
    if (stop >= Text.size())
        Text.clear();
    else if (isSeparator(Text.at(stop)))
        Text = Text.mid(stop + 1);
    else
        // The end marker follows the word without a separator: it stays, so that the field ends
        // here rather than going on with the marker's remains as words.
        Text = Text.mid(stop);
    return true;
}

QList<QByteArray> SplitReportLines(const QByteArray& Bytes)
{
    QList<QByteArray> lines;
    qsizetype begin = 0;
    const qsizetype n = Bytes.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char c = Bytes.at(i);
        if (c != '\r' && c != '\n')
            continue;
        lines.append(Bytes.mid(begin, i - begin));
        if (c == '\r' && i + 1 < n && Bytes.at(i + 1) == '\n')
            ++i;
        begin = i + 1;
    }
    if (begin < n)
        lines.append(Bytes.mid(begin));
    return lines;
}

bool IdentifyFile(int Number)
{
    try {
        return identify(Number);
    } catch (const std::exception& e) {
        // Raising here would stop every tick of the polling loop at this document; the dialog
        // lets the user identify it instead.
        WriteToLog(QStringLiteral("Automatic identification of document %1 impossible: %2")
                       .arg(Number)
                       .arg(exceptionMessage(e)));
        return false;
    }
}
