// A package file as a Base64 MIME part, the body of the e-mail that carries it.
#pragma once

#include <QString>

// Writes `Target` anew (an existing file is replaced whole) from the bytes of `Source`: the
// lines "Content-Type: text/plain; charset=US-ASCII; name=" + the source's file name (without
// folder, in the program's code page), "Content-transfer-encoding: base64" and an empty line,
// then the source in Base64 (the standard alphabet), 60 characters (45 bytes) a line, each line
// ended with CR LF except the last, which holds what is left with its "=" padding (empty when the
// size is a multiple of 45). Raises EInOutError when a file cannot be read or written; the
// target is then left as it was.
void EncodeFileBase64(const QString& Source, const QString& Target);
