// Fuzz target: statement files through the dictionary's reader. The first byte picks the code page
// (odd: 1251), the rest is the file. Every entry read is found again by its own key, and the file
// the dictionary writes reads back as the same dictionary (unless a name still holds "Consts[",
// which a second reading keys anew).
#include <translation/dictionary.h>

#include <platform/codepage.h>

#include <support/fuzz_support.h>

namespace {

struct Snapshot
{
    QStringList entries;
    bool constsName = false;
};

Snapshot snapshot()
{
    Snapshot s;
    for (int i = 0; i < TranslationCount(); ++i) {
        const QString formClass = TranslationFormClass(i);
        const QString name = TranslationName(i);
        if (formClass.isEmpty() || FindTranslation(formClass, name) != i)
            fuzz::fail("statements", formClass + QStringLiteral("#1") + name + " not found");
        s.constsName = s.constsName || name.contains(QStringLiteral("Consts["));
        s.entries << formClass << name << TranslationText(i);
    }
    return s;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 1 || size > 64 * 1024)
        return 0;
    codepage::setCurrent(data[0] & 1 ? codepage::Cp1251 : codepage::Cp1252);
    ClearTranslations();
    AddStatements(QByteArray(reinterpret_cast<const char*>(data + 1), qsizetype(size - 1)));
    const Snapshot read = snapshot();

    const QByteArray written = StatementFileBytes();
    ClearTranslations();
    AddStatements(written);
    if (!read.constsName && snapshot().entries != read.entries)
        fuzz::fail("statements", QStringLiteral("the written file reads back differently"));
    return 0;
}
