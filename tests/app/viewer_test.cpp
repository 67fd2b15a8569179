// The document viewer over the real local tables, its windows answered by script: the report of
// a test decoder laid out by hand, CLT, a code without entry, BFA, Breeze, a printed document's
// pages, and a screen capture beside a leftover "buf.bmp".
#include "emf_pages.h"
#include "localtables_fixture.h"

#include <app/documents/emfview.h>
#include <app/documents/imageform.h>
#include <app/documents/memoform.h>
#include <app/documents/viewer.h>
#include <platform/support/globals.h>

#include <support/qt_printers.h>
#include <support/scoped_dialogs.h>

#include <QImage>
#include <QLabel>
#include <QPlainTextEdit>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

QString blanks(int n)
{
    return QString(n, u' ');
}

const QString Heading =
    u"  №   Код           Параметр                                               Значение"_s;
const QString Rule = QString(89, u'-');

class ViewerTest : public ::testing::Test
{
protected:
    LocalTablesFixture f;
    ScopedScriptedDialogs dialogs;

    ViewerTest()
    {
        // The test decoder reads its three lists from the file, separated by "--" lines.
        ResultViews().insert(u"TST"_s,
                             {[](const QString& file, QStringList& header, QStringList& results,
                                 QStringList& names) {
                                  const QStringList parts =
                                      QString::fromUtf8(readFileBytes(file)).split(u"--\n"_s);
                                  header = parts.value(0).split(u'\n', Qt::SkipEmptyParts);
                                  results = parts.value(1).split(u'\n', Qt::SkipEmptyParts);
                                  names = parts.value(2).split(u'\n', Qt::SkipEmptyParts);
                              },
                              {}});
    }
    ~ViewerTest() override { ResultViews().remove(u"TST"_s); }

    void addDocument(int number, int cfg, int type = 0, const QString& fileName = {})
    {
        f.tables->files->appendRecord({number, 0, fileName, cfg, {}, {}, type, 1, 0});
    }
    // The lines the text window shows for document `number`.
    QStringList shownText(int number)
    {
        QStringList lines;
        dialogs.answerModal(u"TMemoForm"_s, [&lines](TForm& form) {
            lines = static_cast<TMemoForm&>(form).Text->toPlainText().split(u'\n');
            return int(mrCancel);
        });
        ViewDocument(number);
        return lines;
    }
};

TEST_F(ViewerTest, DecodedResultsAreLaidOutInColumns)
{
    f.addSource(4, 4, false, false, 0, u"TST"_s);
    const QString longName = u"Name of a parameter longer than its fifty-three columns!!"_s;
    writeFileBytes(BufDir + u"1.4"_s, "Title=Rapport\nName=DUPONT\nCarPos=7\nUnknown=x\n--\n"
                                      "GLU=5.5\tmmol/l\tH\nNIT= neg \nLONGCODE12345=1\n--\n"
                                      "GLU=Glucose\nNIT=\nLONGCODE12345=" +
                                          longName.toUtf8() + "\n");
    writeFileBytes(BufDir + u"2.4"_s, "CarNum=3\nCarPos=7\n--\n--\n");
    addDocument(1, 4);
    addDocument(2, 4);
    EXPECT_EQ(
        shownText(1),
        (QStringList{u"Rapport"_s,
                     u"Пациент:     DUPONT"_s,
                     u"Позиция:     7"_s,
                     {},
                     {},
                     Heading,
                     Rule,
                     u"  1   GLU"_s + blanks(11) + u"Glucose"_s + blanks(48) + u"5.5 mmol/l"_s +
                         blanks(6) + u"H"_s,
                     u"  2   NIT"_s + blanks(11) + u"NIT"_s + blanks(52) + u"neg"_s + blanks(13),
                     u"  3   LONGCODE12345  "_s + longName + u"  1"_s + blanks(15)}));
    EXPECT_EQ(shownText(2), (QStringList{u"Позиция:     3-7"_s, {}, {}, Heading, Rule}));
}

TEST_F(ViewerTest, FilesAreShownAsTextInTheirCodePage)
{
    f.addSource(4, 4, false, false, 0, u"CLT"_s);
    f.addSource(5, 4, false, false, 0, u"XYZ"_s);
    f.addSource(6, 1, false, false, 0, u"BFA"_s);
    f.addSource(7, 2, false, false, 0, u"BR3"_s);
    writeFileBytes(BufDir + u"1.4"_s, "anything");
    writeFileBytes(BufDir + u"2.4"_s, "Price \x80 5\r\nline 2\r\n");
    QByteArray bfa = "\xcf\xe0\xf6\xe8\xe5\xed\xf2\r\n"; // "Пациент" in windows-1251
    for (int i = 2; i <= 18; ++i)
        bfa += "\r\n";
    bfa += "    Gluc            5.5\r\n";
    writeFileBytes(BufDir + u"3.1"_s, bfa);
    writeFileBytes(f.ws.path(u"breeze/DOE.BR3"_s), "Breeze export\n");
    addDocument(1, 4);
    addDocument(2, 5);
    addDocument(3, 6);
    addDocument(4, 7, 0, f.ws.path(u"breeze/DOE.BR3"_s));

    EXPECT_EQ(shownText(1), (QStringList{{}, {}, Heading, Rule})) << "CLT: the frame only";
    EXPECT_EQ(shownText(2), (QStringList{u"Price € 5"_s, u"line 2"_s}));
    const QStringList bfaLines = shownText(3);
    ASSERT_EQ(bfaLines.size(), 19);
    EXPECT_EQ(bfaLines.first(), u"Пациент"_s);
    EXPECT_EQ(bfaLines.last(), u"    Глюкоза         5.5"_s);
    EXPECT_EQ(shownText(4), QStringList{u"Breeze export"_s});
}

TEST_F(ViewerTest, PrintedPagesAreTheDocumentsOwnRowsAndCapturesTheirOwnPicture)
{
    f.addSource(3, 3, false, false, 0, u"EMF"_s);
    f.addSource(5, 5, false, false, 0, u"BMP"_s);
    // Document 1 has pages 3 and 5 (its row 2 is gone); row 4 is a page of document 2.
    for (const auto& [number, type] : {std::pair{1, 0}, {2, 0}, {3, 1}, {4, 2}, {5, 1}}) {
        addDocument(number, 3, type);
        writeFileBytes(BufDir + QString::number(number) + u".3"_s, emfPage({}));
    }
    f.cli(u"DELETE FROM \"FILES.DB\" WHERE Number = 2;"_s);
    QStringList pages;
    dialogs.answerModal(u"TfEmfView"_s, [&pages](TForm& form) {
        pages = static_cast<TfEmfView&>(form).Pages();
        return int(mrCancel);
    });
    ViewDocument(1);
    EXPECT_EQ(pages, (QStringList{BufDir + u"1.3"_s, BufDir + u"3.3"_s, BufDir + u"5.3"_s}));

    QImage(2, 2, QImage::Format_RGB32).save(BufDir + u"buf.bmp"_s, "BMP");
    QImage(3, 5, QImage::Format_RGB32).save(BufDir + u"6.5"_s, "BMP");
    addDocument(6, 5);
    QSize shown;
    dialogs.answerModal(u"TImageForm"_s, [&shown](TForm& form) {
        shown = static_cast<TImageForm&>(form).Image1->pixmap().size();
        return int(mrCancel);
    });
    ViewDocument(6);
    EXPECT_EQ(shown, QSize(3, 5));
    EXPECT_TRUE(QFile::exists(BufDir + u"buf.bmp"_s)) << "another file, left alone";
}

} // namespace
