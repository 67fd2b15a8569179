// Fuzz target: filter texts on a dataset of every common field type. The first byte's lowest bit
// asks for the case-insensitive option, the rest is the text (UTF-8). A text is accepted or refused
// with EDBEditError; an accepted one runs over the records or raises our own exception; when it
// runs, "not (text)" runs too and shows exactly the records the text hides.
#include <platform/data/memdataset.h>
#include <platform/exception.h>
#include <support/fuzz_support.h>

namespace {

MemDataSet& table()
{
    static MemDataSet* ds = [] {
        auto* t = new MemDataSet;
        t->fieldDefs().add(QStringLiteral("ID"), FieldType::Integer);
        t->fieldDefs().add(QStringLiteral("NAME"), FieldType::String, 12);
        t->fieldDefs().add(QStringLiteral("N"), FieldType::Integer);
        t->fieldDefs().add(QStringLiteral("X"), FieldType::Float);
        t->fieldDefs().add(QStringLiteral("B"), FieldType::Boolean);
        t->fieldDefs().add(QStringLiteral("D"), FieldType::Date);
        t->fieldDefs().add(QStringLiteral("C"), FieldType::Currency);
        t->fieldDefs().add(QStringLiteral("M"), FieldType::Memo);
        t->createDataSet();
        t->appendRecord(
            {0, "Élodie", 1, 2.5, true, Variant::fromDateTime(46000), Currency{12345}, "a"});
        t->appendRecord({1, "ELODIE", -7, -0.0, false, Variant::fromDateTime(0), Currency{0}, ""});
        t->appendRecord({2, Variant::null(), Variant::null(), Variant::null(), Variant::null(),
                         Variant::null(), Variant::null(), Variant::null()});
        t->appendRecord({3, "x'y", 1LL << 40, 1e300, true, Variant::fromDateTime(-700000.5),
                         Currency{-1}, "Ёлка"});
        return t;
    }();
    return *ds;
}

// The records the filter shows, one bit each; -1 when running it raised our own exception.
int shown(MemDataSet& ds, const QString& filter)
{
    ds.setFiltered(false);
    int bits = 0;
    try {
        ds.setFilter(filter); // the negation of an accepted text may nest too deep
        ds.setFiltered(true);
        for (ds.first(); !ds.eof(); ds.next())
            bits |= 1 << ds.fieldByName(QStringLiteral("ID"))->asInteger();
    } catch (const Exception&) {
        return -1;
    }
    return bits;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 1 || size > 4096)
        return 0;
    MemDataSet& ds = table();
    const QString text =
        QString::fromUtf8(reinterpret_cast<const char*>(data + 1), qsizetype(size - 1));
    ds.setFiltered(false);
    ds.setFilterOptions(data[0] & 1 ? DataSet::FilterCaseInsensitive : DataSet::FilterOptions());
    try {
        ds.setFilter(text);
    } catch (const EDBEditError&) {
        return 0;
    }
    const int yes = shown(ds, text);
    if (yes < 0 || text.trimmed().isEmpty())
        return 0;
    const int no = shown(ds, QStringLiteral("not (") + text + u')');
    if (no < 0 || (yes | no) != 0xF || (yes & no) != 0)
        fuzz::fail("dataset_filter",
                   QStringLiteral("\"%1\" shows %2, its negation %3").arg(text).arg(yes).arg(no));
    return 0;
}
