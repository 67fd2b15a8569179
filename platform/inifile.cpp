// IniFile: the profile file is parsed into its lines at each call, looked up or changed in memory,
// and written back whole through fileops::writeFile. Lines the program does not change are
// re-encoded from their decoded text, which the code page tables make byte-exact.
#include <platform/inifile.h>

#include <platform/exception.h>
#include <platform/fileops.h>
#include <platform/uitexts.h>

#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>

#include <algorithm>
#include <limits>

Q_LOGGING_CATEGORY(lcIniFile, "quorvane.inifile")

namespace {

using codepage::CodePage;

bool isBlank(QChar c)
{
    return c == u' ' || c == u'\t';
}

QString trimBlanks(const QString& s)
{
    qsizetype begin = 0;
    qsizetype end = s.size();
    while (begin < end && isBlank(s.at(begin)))
        ++begin;
    while (end > begin && isBlank(s.at(end - 1)))
        --end;
    return s.mid(begin, end - begin);
}

// One line of the file, classified once.
struct Line
{
    enum Kind { Other, Section, Key };

    QString text; // as in the file, without its line end
    Kind kind = Other;
    QString name;      // section or key name, trimmed
    qsizetype eq = -1; // position of the "=" of a key line

    QString value() const
    {
        QString v = trimBlanks(text.mid(eq + 1));
        if (v.size() >= 2 && (v.front() == u'"' || v.front() == u'\'') && v.back() == v.front())
            v = v.mid(1, v.size() - 2);
        return v;
    }

    static Line parse(const QString& text)
    {
        Line line;
        line.text = text;
        const QString t = trimBlanks(text);
        if (t.startsWith(u'[')) {
            const qsizetype close = t.indexOf(u']');
            line.kind = Section;
            line.name = trimBlanks(close < 0 ? t.mid(1) : t.mid(1, close - 1));
        } else if (!t.startsWith(u';')) {
            const qsizetype eq = text.indexOf(u'=');
            if (eq >= 0) {
                line.name = trimBlanks(text.left(eq));
                if (!line.name.isEmpty()) {
                    line.kind = Key;
                    line.eq = eq;
                }
            }
        }
        return line;
    }
};

// The lines of one profile file, with the look-ups and changes the IniFile calls need.
class Profile
{
public:
    explicit Profile(CodePage cp) : m_cp(cp) {}

    void parse(const QByteArray& bytes)
    {
        m_lines.clear();
        const QString text = codepage::decode(bytes, m_cp);
        qsizetype start = 0;
        while (start < text.size()) {
            qsizetype end = text.indexOf(u'\n', start);
            if (end < 0)
                end = text.size();
            const qsizetype next = end + 1;
            if (end > start && text.at(end - 1) == u'\r')
                --end;
            m_lines.append(Line::parse(text.mid(start, end - start)));
            start = next;
        }
    }

    QByteArray serialize(bool* lossless) const
    {
        QString text;
        for (const Line& line : m_lines) {
            text += line.text;
            text += u"\r\n";
        }
        return codepage::encode(text, m_cp, lossless);
    }

    // Index of the first header of the section, or -1.
    qsizetype findSection(const QString& section, qsizetype from = 0) const
    {
        const QString name = trimBlanks(section);
        for (qsizetype i = from; i < m_lines.size(); ++i) {
            if (m_lines[i].kind == Line::Section && codepage::sameText(m_lines[i].name, name, m_cp))
                return i;
        }
        return -1;
    }

    // Index of the line after the section whose header is at `header`.
    qsizetype sectionEnd(qsizetype header) const
    {
        qsizetype i = header + 1;
        while (i < m_lines.size() && m_lines[i].kind != Line::Section)
            ++i;
        return i;
    }

    // Index of the first line of the key in the section whose header is at `header`, or -1.
    qsizetype findKey(qsizetype header, const QString& key, qsizetype from = -1) const
    {
        const QString name = trimBlanks(key);
        const qsizetype end = sectionEnd(header);
        for (qsizetype i = std::max(from, header + 1); i < end; ++i) {
            if (m_lines[i].kind == Line::Key && codepage::sameText(m_lines[i].name, name, m_cp))
                return i;
        }
        return -1;
    }

    // The first line of the key in the first section of that name, or null.
    const Line* find(const QString& section, const QString& key) const
    {
        const qsizetype header = findSection(section);
        const qsizetype i = header < 0 ? -1 : findKey(header, key);
        return i < 0 ? nullptr : &m_lines[i];
    }

    // The first line of each key of the section, in file order.
    QList<const Line*> keys(const QString& section) const
    {
        QList<const Line*> result;
        const qsizetype header = findSection(section);
        if (header < 0)
            return result;
        const qsizetype end = sectionEnd(header);
        for (qsizetype i = header + 1; i < end; ++i) {
            const Line& line = m_lines[i];
            if (line.kind == Line::Key && findKey(header, line.name) == i)
                result.append(&line);
        }
        return result;
    }

    QStringList sections() const
    {
        QStringList result;
        for (qsizetype i = 0; i < m_lines.size(); ++i) {
            if (m_lines[i].kind == Line::Section && findSection(m_lines[i].name) == i)
                result.append(m_lines[i].name);
        }
        return result;
    }

    void set(const QString& section, const QString& key, const QString& value)
    {
        const qsizetype header = findSection(section);
        if (header < 0) {
            m_lines.append(Line::parse(u'[' + trimBlanks(section) + u']'));
            m_lines.append(Line::parse(trimBlanks(key) + u'=' + value));
            return;
        }
        const qsizetype i = findKey(header, key);
        if (i >= 0) {
            m_lines[i] = Line::parse(m_lines[i].name + u'=' + value);
            return;
        }
        qsizetype at = header + 1;
        const qsizetype end = sectionEnd(header);
        for (qsizetype j = header + 1; j < end; ++j) {
            if (m_lines[j].kind == Line::Key)
                at = j + 1;
        }
        m_lines.insert(at, Line::parse(trimBlanks(key) + u'=' + value));
    }

    bool eraseSection(const QString& section)
    {
        bool changed = false;
        for (qsizetype header = findSection(section); header >= 0;
             header = findSection(section, header)) {
            m_lines.remove(header, sectionEnd(header) - header);
            changed = true;
        }
        return changed;
    }

    bool deleteKey(const QString& section, const QString& key)
    {
        const qsizetype header = findSection(section);
        if (header < 0)
            return false;
        bool changed = false;
        for (qsizetype i = findKey(header, key); i >= 0; i = findKey(header, key, i)) {
            m_lines.remove(i);
            changed = true;
        }
        return changed;
    }

private:
    CodePage m_cp;
    QList<Line> m_lines;
};

// Reads the file's bytes. A missing file is empty; false when it exists but cannot be read.
bool readFile(const QString& fileName, QByteArray* bytes, QString* error)
{
    bytes->clear();
    QFile file(fileName);
    if (!file.exists())
        return true;
    // A pipe or a device would keep the reader waiting for a writer that may never come.
    if (!QFileInfo(fileName).isFile()) {
        *error = uiText(UiText::NotARegularFile);
        return false;
    }
    if (!file.open(QIODevice::ReadOnly)) {
        *error = file.errorString();
        return false;
    }
    *bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        *error = file.errorString();
        return false;
    }
    return true;
}

Profile readForLookup(const QString& fileName, CodePage cp)
{
    Profile profile(cp);
    QByteArray bytes;
    QString error;
    if (!readFile(fileName, &bytes, &error))
        qCWarning(lcIniFile, "Cannot read the settings file %ls: %ls; it reads as empty",
                  qUtf16Printable(fileName), qUtf16Printable(error));
    profile.parse(bytes);
    return profile;
}

// Reads the file, applies `change` and writes the result when `change` reports a change and the
// bytes differ. False when some text had to be written as '?'.
template <typename Change> bool rewrite(const QString& fileName, CodePage cp, Change change)
{
    QByteArray old;
    QString error;
    if (!readFile(fileName, &old, &error))
        throw EInOutError(uiText(UiText::CannotReadSettings).arg(fileName, error));
    Profile profile(cp);
    profile.parse(old);
    if (!change(profile))
        return true;

    bool lossless = true;
    const QByteArray bytes = profile.serialize(&lossless);
    if (bytes == old && QFile::exists(fileName))
        return lossless;
    if (!fileops::writeFile(fileName, bytes, &error))
        throw EInOutError(uiText(UiText::CannotWriteSettings).arg(fileName, error));
    return lossless;
}

void checkName(const QString& name, bool isSection, CodePage cp)
{
    const QString what = isSection ? QStringLiteral("section") : QStringLiteral("key");
    const QString t = trimBlanks(name);
    QString fault;
    if (t.isEmpty())
        fault = QStringLiteral("is empty");
    else if (t.contains(u'\r') || t.contains(u'\n'))
        fault = QStringLiteral("holds a line break");
    else if (isSection && t.contains(u']'))
        fault = QStringLiteral("holds \"]\"");
    else if (!isSection && t.contains(u'='))
        fault = QStringLiteral("holds \"=\"");
    else if (!isSection && (t.startsWith(u'[') || t.startsWith(u';')))
        fault = QStringLiteral("starts with \"%1\"").arg(t.front());
    else if (!codepage::canEncode(t, cp))
        fault = QStringLiteral("holds characters that code page %1 cannot store").arg(int(cp));
    if (!fault.isEmpty())
        throw EConvertError(
            QStringLiteral("The settings %1 name \"%2\" %3").arg(what, name, fault));
}

} // namespace

IniFile::IniFile(const QString& fileName) : m_fileName(fileName)
{
}

IniFile::IniFile(const QString& fileName, codepage::CodePage codePage)
    : m_fileName(fileName), m_codePage(codePage)
{
}

codepage::CodePage IniFile::codePage() const
{
    return m_codePage ? *m_codePage : codepage::current();
}

QString IniFile::readString(const QString& section, const QString& key, const QString& def) const
{
    const Profile profile = readForLookup(m_fileName, codePage());
    const Line* line = profile.find(section, key);
    return line ? line->value() : def;
}

int IniFile::readInteger(const QString& section, const QString& key, int def) const
{
    const QString v = readString(section, key);
    qsizetype i = 0;
    bool negative = false;
    if (i < v.size() && (v.at(i) == u'-' || v.at(i) == u'+'))
        negative = v.at(i++) == u'-';

    const auto digit = [&v](qsizetype at, int base) -> int {
        if (at >= v.size())
            return -1;
        const char16_t c = v.at(at).unicode();
        if (c >= u'0' && c <= u'9')
            return c - u'0';
        if (base == 16 && c >= u'a' && c <= u'f')
            return c - u'a' + 10;
        if (base == 16 && c >= u'A' && c <= u'F')
            return c - u'A' + 10;
        return -1;
    };

    int base = 10;
    if (digit(i, 10) == 0 && i + 1 < v.size() && (v.at(i + 1) == u'x' || v.at(i + 1) == u'X') &&
        digit(i + 2, 16) >= 0) {
        base = 16;
        i += 2;
    }
    if (digit(i, base) < 0)
        return def;

    // Decimal values must fit an int; hexadecimal ones are 32-bit patterns.
    const qint64 limit = base == 16 ? qint64(std::numeric_limits<quint32>::max())
                                    : qint64(std::numeric_limits<int>::max()) + (negative ? 1 : 0);
    qint64 magnitude = 0;
    for (int d = digit(i, base); d >= 0; d = digit(++i, base)) {
        magnitude = magnitude * base + d;
        if (magnitude > limit)
            return def;
    }
    const qint64 value = negative ? -magnitude : magnitude;
    return base == 16 ? int(quint32(value)) : int(value);
}

bool IniFile::readBool(const QString& section, const QString& key, bool def) const
{
    return readInteger(section, key, def ? 1 : 0) != 0;
}

void IniFile::writeString(const QString& section, const QString& key, const QString& value)
{
    const CodePage cp = codePage();
    checkName(section, true, cp);
    checkName(key, false, cp);
    if (value.contains(u'\r') || value.contains(u'\n'))
        throw EConvertError(
            QStringLiteral("The value of the settings key \"%1\" holds a line break").arg(key));
    const bool lossless = rewrite(m_fileName, cp, [&](Profile& profile) {
        profile.set(section, key, value);
        return true;
    });
    if (!lossless)
        qCWarning(lcIniFile, "[%ls] %ls in %ls: characters outside code page %d written as '?'",
                  qUtf16Printable(section), qUtf16Printable(key), qUtf16Printable(m_fileName),
                  int(cp));
}

void IniFile::writeInteger(const QString& section, const QString& key, int value)
{
    writeString(section, key, QString::number(value));
}

void IniFile::writeBool(const QString& section, const QString& key, bool value)
{
    writeString(section, key, value ? QStringLiteral("1") : QStringLiteral("0"));
}

bool IniFile::sectionExists(const QString& section) const
{
    return readForLookup(m_fileName, codePage()).findSection(section) >= 0;
}

bool IniFile::valueExists(const QString& section, const QString& key) const
{
    return readForLookup(m_fileName, codePage()).find(section, key) != nullptr;
}

QStringList IniFile::readSection(const QString& section) const
{
    const Profile profile = readForLookup(m_fileName, codePage());
    QStringList result;
    for (const Line* line : profile.keys(section))
        result.append(line->name);
    return result;
}

QStringList IniFile::readSectionValues(const QString& section) const
{
    const Profile profile = readForLookup(m_fileName, codePage());
    QStringList result;
    for (const Line* line : profile.keys(section))
        result.append(line->name + u'=' + line->value());
    return result;
}

QStringList IniFile::readSections() const
{
    return readForLookup(m_fileName, codePage()).sections();
}

void IniFile::eraseSection(const QString& section)
{
    rewrite(m_fileName, codePage(),
            [&](Profile& profile) { return profile.eraseSection(section); });
}

void IniFile::deleteKey(const QString& section, const QString& key)
{
    rewrite(m_fileName, codePage(),
            [&](Profile& profile) { return profile.deleteKey(section, key); });
}
