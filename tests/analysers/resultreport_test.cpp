// The driver-based report of a result holder filled by hand, in English and in Russian, and of a
// device code without a report driver. Lines are written out by hand.
#include "driverharness.h"

#include <analysers/resultreport.h>

namespace {

QString blanks(int n)
{
    return QString(n, u' ');
}

class LanguageScope
{
public:
    explicit LanguageScope(unsigned char language) : m_saved(ProgLanguage)
    {
        ProgLanguage = language;
    }
    ~LanguageScope() { ProgLanguage = m_saved; }

private:
    unsigned char m_saved;
};

} // namespace

TEST(ResultReport, AHolderFilledByHandInBothLanguages)
{
    TestWorkspace ws;
    TResInfo holder;
    const QString sixty = u"Label of sixty characters, written whole, however long it is"_s;
    ASSERT_EQ(sixty.size(), 60);
    for (const auto& [id, name, value] : {std::tuple{1, "Patient", "DUPONT"},
                                          {2, "Tests", "GLU"},
                                          {3, "Tests", "UREA"},
                                          {4, "Sample", "0012345"}})
        holder.Header().appendRecord(
            {id, QString::fromLatin1(name), QString::fromLatin1(value), id});
    MemDataSet& r = holder.Results();
    r.appendRecord({1, u"1"_s, u"GLU"_s, u"Glucose"_s, u"5.5"_s, u"mmol/l"_s, u"H"_s, {}});
    r.appendRecord({2, u"2"_s, u"KET"_s, QString(), QString(), u"mmol/l"_s, QString(), {}});
    r.appendRecord({3, u"3"_s, u"LONG"_s, sixty, u"1"_s, QString(), QString(), {}});

    const QStringList common{
        u"Patient:"_s + blanks(29) + u"DUPONT"_s,
        u"Tests:"_s + blanks(31) + u"GLU"_s,
        blanks(37) + u"UREA"_s,
        u"Sample:"_s + blanks(30) + u"0012345"_s,
        QString(),
        QString(),
    };
    const QStringList results{
        QString(89, u'-'),
        u"  1   GLU"_s + blanks(11) + u"Glucose"_s + blanks(48) + u"5.5 mmol/l      H"_s,
        u"  2   KET"_s + blanks(11) + u"KET"_s + blanks(52) + u"<--->"_s,
        u"  3   LONG"_s + blanks(10) + sixty + u"  1"_s,
    };
    {
        const LanguageScope english(1);
        EXPECT_EQ(
            ResultReportLines(holder),
            common +
                QStringList{u"  #   Code          Parameter                                   "
                            "           Value"_s} +
                results);
    }
    const LanguageScope russian(2);
    EXPECT_EQ(
        ResultReportLines(holder),
        common +
            QStringList{u"  №   Код           Параметр                                        "
                        "       Значение"_s} +
            results);

    // A code without a report driver gives the frame alone, whatever the file.
    QStringList lines{u"old"_s};
    ViewDriverResultFile(u"XYZ"_s, ws.path(u"missing.4"_s), lines);
    EXPECT_EQ(lines,
              (QStringList{QString(), QString(),
                           u"  №   Код           Параметр                                    "
                           "           Значение"_s,
                           QString(89, u'-')}));
    // The Miditron driver cannot read a missing file: its error reaches the viewer.
    EXPECT_THROW(ViewDriverResultFile(u"MDT"_s, ws.path(u"missing.4"_s), lines), EInOutError);
}
