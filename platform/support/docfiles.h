// The names of the documents' data files: one function builds every name the program writes, and
// look-ups ignore case, so files written under either spelling of the hexadecimal are found.
#pragma once

#include <QString>

// The kinds of document source, as the sources table ("cfg.db") keeps them in its field "Type";
// a document's data file carries its source's kind as extension.
enum TSourceType : int {
    stFolder = 1,  // a folder other programs drop their files into
    stBreeze = 2,  // the current-patient export of the Breeze program
    stPrinter = 3, // the virtual printer
    stSerial = 4,  // an analyser on a serial port
    stScreen = 5,  // screen captures taken from the clipboard
};
constexpr int FirstSourceType = stFolder;
constexpr int LastSourceType = stScreen;

// BufDir + the number in upper-case hexadecimal without leading zeros + "." + the source type in
// hexadecimal (document 26 of a serial source: "1A.4").
QString DocumentFileName(int Number, int SourceType);
// The data file of a document as it exists, found whatever the case of its name (files written
// as "1a.4" are found too); empty when there is none.
QString FindDocumentFile(int Number, int SourceType);
