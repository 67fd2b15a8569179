// Settings files in the Windows profile format ("[Section]" lines and "Key=Value" lines), read and
// written in the program's ANSI code page the way other programs and older installations expect.
#pragma once

#include <platform/codepage.h>

#include <QString>
#include <QStringList>

#include <optional>

// A Windows-profile INI file. Every call reads the file afresh (other programs and other IniFile
// objects write the same file) and every write is on disk when the call returns.
//
// Reading:
// - Section and key names match regardless of case (ASCII and the code page's own letters) and of
//   blanks around them. For a section or key present twice, the first one is used.
// - A value is the text after the first "=", trimmed of blanks, with one pair of surrounding
//   double or single quotes removed. Backslashes and commas mean nothing special; a ";" after the
//   value is part of it.
// - Lines starting with ";" are comments; lines without "=" and lines before the first section
//   are not read. Both CR LF and LF line ends are read.
// - A missing or unreadable file reads as empty. Reads never raise.
//
// Writing:
// - A key is changed in its place; a new key goes after the last key of its section, a new section
//   at the end of the file. Every other line (comments, blank lines, lines without "=") is kept
//   byte for byte; line ends become CR LF.
// - The file is replaced whole through a temporary file, so it is never left half-written. A failed
//   write, or an existing file that cannot be read (it would otherwise be replaced by what little
//   the write adds), raises EInOutError and leaves the file as it was.
// - A section or key name that the file could not hold as written (empty, a line break, "]" in a
//   section, "=" in a key, a leading "[" or ";" in a key, a character outside the code page), and a
//   value with a line break, raise EConvertError before anything is written. Other characters of a
//   value that the code page cannot hold are written as "?" (and logged).
// - Values are written as given: no quotes are added, so blanks around a value and one pair of
//   surrounding quotes do not survive a write and a read.
class IniFile
{
public:
    // Reads and writes in the program's current code page at the time of each call.
    explicit IniFile(const QString& fileName);
    // Reads and writes in the given code page.
    IniFile(const QString& fileName, codepage::CodePage codePage);

    QString fileName() const { return m_fileName; }

    // The value, or `def` when the key is missing (a key with an empty value reads as empty).
    QString readString(const QString& section, const QString& key,
                       const QString& def = QString()) const;
    // The value as an integer as the Windows profile API reads it: an optional sign, then decimal
    // digits or "0x" and hexadecimal digits (up to 32 bits, "0xFFFFFFFF" is -1); text after the
    // digits is ignored ("12 days" is 12). No digits, a value out of range or a missing key: `def`.
    int readInteger(const QString& section, const QString& key, int def) const;
    // Read as an integer: non-zero is true; a value that is not a number gives `def`.
    bool readBool(const QString& section, const QString& key, bool def) const;

    void writeString(const QString& section, const QString& key, const QString& value);
    void writeInteger(const QString& section, const QString& key, int value);
    // Writes "1" or "0".
    void writeBool(const QString& section, const QString& key, bool value);

    bool sectionExists(const QString& section) const;
    bool valueExists(const QString& section, const QString& key) const;
    // The key names of the section in file order, each once, as spelled in the file.
    QStringList readSection(const QString& section) const;
    // "Key=Value" for each key of the section, the value as readString gives it.
    QStringList readSectionValues(const QString& section) const;
    // The section names in file order, each once, as spelled in the file.
    QStringList readSections() const;

    // Removes the section with its keys and comments (every section of that name). Nothing is
    // written when the section does not exist.
    void eraseSection(const QString& section);
    // Removes the key (every line of it) from the section. Nothing is written when it is missing.
    void deleteKey(const QString& section, const QString& key);

private:
    codepage::CodePage codePage() const;

    QString m_fileName;
    std::optional<codepage::CodePage> m_codePage;
};
