// Fuzz target: profile files through IniFile. The first byte picks the code page (odd: 1251), the
// rest is the file. Every section and key read back is found again; a key changed in place reads
// as written and leaves the other keys as they were; a new section keeps every line of the file
// byte for byte (with CR LF line ends) before it; erased sections and deleted keys are gone.
#include <platform/exception.h>
#include <platform/inifile.h>
#include <support/fuzz_support.h>

namespace {

// Every key of every section with its value, as the reader gives them. Each look-up reads the
// file afresh, so with `lookUp` only the first keys of the first sections are looked up one by one.
QList<QStringList> contentOf(const IniFile& ini, bool lookUp = false)
{
    QList<QStringList> out;
    const QStringList sections = ini.readSections();
    for (qsizetype s = 0; s < sections.size(); ++s) {
        const QString& section = sections[s];
        const QStringList keys = ini.readSection(section);
        const QStringList values = ini.readSectionValues(section);
        if ((lookUp && s < 4 && !ini.sectionExists(section)) || values.size() != keys.size())
            fuzz::fail("inifile", QStringLiteral("section [%1] listed but not read").arg(section));
        for (qsizetype k = 0; k < keys.size(); ++k) {
            const QString value = values[k].mid(keys[k].size() + 1);
            if (lookUp && s < 4 && k < 4) {
                ini.readInteger(section, keys[k], 0);
                if (!ini.valueExists(section, keys[k]) || ini.readString(section, keys[k]) != value)
                    fuzz::fail("inifile",
                               QStringLiteral("key %1 listed but not read").arg(keys[k]));
            }
            out << QStringList{section, keys[k], value};
        }
    }
    return out;
}

// The file's lines as a write keeps them: each ended by CR LF.
QByteArray withCrLf(const QByteArray& bytes)
{
    QByteArray out;
    for (qsizetype start = 0; start < bytes.size();) {
        qsizetype end = bytes.indexOf('\n', start);
        if (end < 0)
            end = bytes.size();
        const qsizetype next = end + 1;
        if (end > start && bytes[end - 1] == '\r')
            --end;
        out += bytes.mid(start, end - start) + "\r\n";
        start = next;
    }
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const fuzz::Scratch scratch;
    if (size < 1 || size > 16 * 1024)
        return 0;
    const QByteArray bytes(reinterpret_cast<const char*>(data + 1), qsizetype(size - 1));
    const QString name = scratch.path(QStringLiteral("fuzz.ini"));
    fuzz::writeFile(name, bytes);
    IniFile ini(name, data[0] & 1 ? codepage::Cp1251 : codepage::Cp1252);
    const QList<QStringList> before = contentOf(ini, true);

    const QString added = QStringLiteral("Fuzz Added");
    if (!ini.sectionExists(added)) {
        ini.writeString(added, QStringLiteral("Key"), QStringLiteral("v"));
        const bool kept =
            fuzz::readFile(name).startsWith(withCrLf(bytes)) &&
            ini.readString(QStringLiteral("fuzz added"), QStringLiteral("KEY")) == u"v";
        ini.eraseSection(added);
        if (!kept || contentOf(ini) != before)
            fuzz::fail("inifile", QStringLiteral("adding and erasing a section changed others"));
    }

    if (before.isEmpty())
        return 0;
    const QStringList first = before.first();
    try {
        ini.writeString(first[0], first[1], QStringLiteral("changed"));
    } catch (const EConvertError&) {
        return 0; // a name the file holds but could not be written as given
    }
    QList<QStringList> expected = before;
    expected.first()[2] = QStringLiteral("changed");
    const bool changed = contentOf(ini) == expected;
    ini.deleteKey(first[0], first[1]);
    const bool deleted = !ini.valueExists(first[0], first[1]);
    ini.eraseSection(first[0]);
    if (!changed || !deleted || ini.sectionExists(first[0]))
        fuzz::fail("inifile", QStringLiteral("changing, deleting or erasing %1 in [%2]: %3, %4")
                                  .arg(first[1], first[0], QString::number(changed),
                                       QString::number(deleted)));
    return 0;
}
