// The translation dictionary and its statement file.
//
// The dictionary maps a key, the form class, "#1" and the text's name (TMainForm#1bCont), to a
// translated text. Keys are unique regardless of letter case and kept in that order.
//
// The statement file is ANSI text (the program's code page), one statement a line, CR LF line
// ends:
//     begin
//     if (F='TMainForm')AND(N='bCont') then Result:='&Continuer';
//     end; {TRANSLATE}
// Every single quote inside the three strings is written twice. A reader takes from each line
// its first three single-quoted strings as form class, name and text and skips a line whose
// first string is missing or empty; the rest of the line means nothing. The marker "{TRANSLATE}"
// shows the merger where new statements go.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// Adds an entry unless its key is present already, and returns the entry's index (the first
// statement of a file wins over later ones).
int AddTranslation(const QString& FormClass, const QString& Name, const QString& Text);
// The index of the entry, or -1.
int FindTranslation(const QString& FormClass, const QString& Name);
void DeleteTranslation(int Index);
void ClearTranslations();
int TranslationCount();
QString TranslationText(int Index);
QString TranslationFormClass(int Index);
QString TranslationName(int Index);

// The name under which a line of a numbered-texts component is looked up: `stem` (the component's
// name and ".") followed by the line's text before its first "=" (the whole line when it has
// none), so "17=<Aucun>" of LC1 is "LC1.17", keyed by the line's number whatever its position.
QString TLCLineKey(const QString& stem, const QString& line);

// Adds the statements of a statement file's bytes to the dictionary. A statement whose name
// holds "Consts[" names a line of a numbered-texts component by its position (LC1.Consts[3]);
// it is keyed by the line's number instead, taken from its text (TLCLineKey).
void AddStatements(const QByteArray& fileBytes);
// The whole dictionary as a statement file, in dictionary order.
QByteArray StatementFileBytes();

// Writes the whole dictionary to TranslationFileName, replacing the file whole (a failure leaves
// the old file as it was and raises EInOutError).
void SaveTranslations();
// Replaces or adds the statements (Classes[i], Names[i], Texts[i]) in the statement file:
// statements the reader would key the same (class and name in any letter case; a numbered line
// named by its position, by its number) are dropped, and the new ones go where the marker line
// is, followed by "end; {TRANSLATE}"; a file without the marker gets them at its end, followed by
// the marker line; a missing file is created ("begin", the statements, the marker line). The file
// is replaced whole: a failure (EInOutError) leaves it as it was.
void MergeTranslations(const QStringList& Classes, const QStringList& Names,
                       const QStringList& Texts, const QString& FileName);
