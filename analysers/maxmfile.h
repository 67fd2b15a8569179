// The Max-M Coulter result file that the HMX driver stores (hmx.h), and its rewrite into the
// stored layout.
//
// Outer layout: the block count N in two decimal digits, as the analyser sent it, then N blocks,
// each STX, its number in two digits, its data, four trailer characters and ETX. The data length
// of a block is (file size - 2) / N - 8: 256 in a stored file.
//
// Content, the blocks' data joined: a head of 28 bytes (CR LF six times, fourteen "-", CR LF), a
// DC1, seven line groups each followed by a DC1, a tail of 20 bytes (CR LF CR LF, fourteen "-",
// CR LF), blanks to the end of the last block. A line group is its line count in two
// hexadecimal digits, the rest of that line, and as many lines, each ended by CR LF; a line is a
// name and a value separated by the first zero byte, blank or tab. Group 1 holds the header
// items, groups 2 to 4 the results, groups 5 to 7 nothing the program reads. Where a group's
// count or the tail is due, a DC1 is passed over when there is one.
//
// ViewMaxMFile (resultdecoders.h) decodes it.
#pragma once

#include <QString>

// Rewrites a received Max-M file, whose blocks are not of 128 or 256 bytes, in place into the
// stored layout and returns whether it did: 2 + N x 264 bytes, the count in two decimal digits,
// each block STX, its number in two upper-case hexadecimal digits, 256 bytes of content (the
// head, a DC1, the seven groups each with a DC1, the tail, blanks), the block's trailer as
// received, ETX. A count of 0 or blocks of 128 or 256 bytes leave the file as it is (false).
//
// Everything is checked before anything is written: N blocks each with its trailer, seven
// complete groups and the tail, a content within N x 256 bytes. The new file replaces the old
// one whole (written under a temporary name and renamed), so a failure never leaves a torn file:
// the file stays byte for byte as it was, the line "Proc. CorrectMaxM: " and the reason is
// appended, without date and time, to the operations log, and the result is false. Never raises.
bool RestructureRecordFile(const QString& FileName);
