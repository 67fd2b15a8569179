// The document viewer: a document shown in the window that suits its source.
#pragma once

#include <QHash>
#include <QString>
#include <QStringList>

#include <functional>

// Shows document Number by its source's type:
// - folder and serial documents in the text window: an analyser result whose device code has
//   an entry in ResultViews() as its report, any other file as plain text in the program's code
//   page (the BFA reports, which are Russian, in windows-1251, their test codes replaced by test
//   names);
// - Breeze documents: the export file the row's File_name names, as text;
// - printed documents in the metafile viewer: the first page's data file, then those of the rows
//   whose Type is the document's number, in the order of their numbers;
// - screen captures: the document's own picture in the picture window.
// A data file that is missing or cannot be read raises EInOutError; a document or source that
// no longer exists shows nothing.
void ViewDocument(int Number);

// How the results of a device code are made readable: either a decoder that fills the header
// (lines "key=value"), the results ("code=value<TAB>unit<TAB>flag") and the names
// ("code=name") of a stored file, laid out by FormatResultReport, or a report that the code's
// driver writes itself.
struct TResultView
{
    std::function<void(const QString& FileName, QStringList& Header, QStringList& Results,
                       QStringList& Names)>
        Decode;
    std::function<void(const QString& Code, const QString& FileName, QStringList& Lines)> Report;
};

// The device codes (compared exactly as stored in the source's Extension) whose documents are
// shown as reports. Each decoder or driver adds its codes here; "CLT", which has no decoder,
// shows the report's frame only.
QHash<QString, TResultView>& ResultViews();

// The report of a decoder's lists: the header lines (Title alone, the others behind their
// Russian labels, CarPos behind CarNum and "-" when there is one), two empty lines, the column
// heading, a rule, then one line per result: its number, code, name (the code when the names
// give none), value and unit, and flag, in columns of 2, 12, 53 and 14 characters two blanks
// apart (a longer text is written whole).
QStringList FormatResultReport(const QStringList& Header, const QStringList& Results,
                               const QStringList& Names);
