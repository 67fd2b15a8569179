// The names of the documents' data files: one function builds every name the program writes, and
// look-ups ignore case, so files written under either spelling of the hexadecimal are found.
#pragma once

#include <QString>

// BufDir + the number in upper-case hexadecimal without leading zeros + "." + the source type in
// hexadecimal (document 26 of a serial source: "1A.4").
QString DocumentFileName(int Number, int SourceType);
// The data file of a document as it exists, found whatever the case of its name (files written
// as "1a.4" are found too); empty when there is none.
QString FindDocumentFile(int Number, int SourceType);
