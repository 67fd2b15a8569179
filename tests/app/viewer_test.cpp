// The viewers, their windows answered by script: the text search over libuemf pages, the metafile
// viewer's page counter and zoom, and the document viewer's choice of window and report layout.
#include "emf_pages.h"
#include "localtables_fixture.h"

#include <app/documents/emfview.h>
#include <app/documents/imageform.h>
#include <app/documents/memoform.h>
#include <app/documents/viewer.h>
#include <platform/support/globals.h>

#include <support/qt_printers.h>
#include <support/scoped_dialogs.h>

#include <QComboBox>
#include <QGuiApplication>
#include <QImage>
#include <QLabel>
#include <QPlainTextEdit>
#include <QScopeGuard>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QtEndian>

#include <cmath>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

// Five text records; the last one holds 300 characters.
const QByteArray& page()
{
    static const QByteArray bytes =
        emfPage({{100, 200, "Patient: DUPONT Jean"},
                 {400, 200, "DUPONT"},
                 {100, 260, "Date: 06/12/2026"},
                 {405, 262, "Value 42"},
                 {100, 300, QByteArray(44, 'a') + QByteArray(256, 'b')}});
    return bytes;
}

TEST(FindEmfText, FindsByTextAndPointThenReadsNearTheOffsetPoint)
{
    struct
    {
        const char* text;
        int x, y;
        bool useText, useX, useY;
        int dx, dy, tolerance, index, count;
        QString expected; // "-": not found, the result unchanged
    } const cases[] = {
        {"DUPONT", 0, 0, true, false, false, 0, 60, 0, 0, 1000, u"Date: 06/12/2026"_s},
        {"DUPONT", 400, 200, true, true, true, 5, 62, 0, 7, 2, u"42"_s},
        {"DUP", 400, 0, true, true, false, 0, 60, 5, 1, 5, u"Value"_s},
        {"Date", 0, 260, true, false, true, 0, 0, 0, 7, 10, u"06/12/2026"_s},
        {"", 100, 300, false, true, true, 0, 0, 0, 0, 1000, QString(44, u'a')}, // 300 % 256
        {"", 0, 0, false, false, false, 0, 0, 10, 0, 1000, u"-"_s},
        {"", 0, 0, true, false, false, 0, 0, 10, 0, 1000, u"-"_s}, // the empty search
        {"dupont", 0, 0, true, false, false, 0, 0, 10, 0, 1000, u"-"_s},
        {"DUPONT", 0, 0, true, false, false, 0, 59, 0, 0, 9, u"-"_s}, // nothing at the offset
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.expected.toStdString());
        QString result = u"-"_s;
        EXPECT_EQ(FindEmfText(page(), QString::fromLatin1(c.text), c.x, c.y, c.useText, c.useX,
                              c.useY, c.dx, c.dy, c.tolerance, c.tolerance, c.tolerance,
                              c.tolerance, c.index, c.count, result),
                  c.expected != u"-"_s);
        EXPECT_EQ(result, c.expected);
    }
    // A count beyond the record is cut at its end: "Hi" padded to 4 bytes, two spacings of 30.
    QByteArray longCount = emfPage({{10, 10, "Hi"}});
    qToLittleEndian<quint32>(200, longCount.data() + longCount.indexOf("Hi") - 76 + 44);
    QString result;
    EXPECT_TRUE(FindEmfText(longCount, u"Hi"_s, 0, 0, true, false, false, 0, 0, 0, 0, 0, 0, 0, 1000,
                            result));
    EXPECT_EQ(result, QString::fromLatin1("Hi\0\0\x1e\0\0\0\x1e\0\0\0", 12));
}

TEST(EmfWalk, OnlyWholePagesOfKnownRecordsReachTheDrawingLibrary)
{
    const QByteArray good = emfPage({{10, 10, "Hi"}});
    const qsizetype eof = good.size() - 20; // the end record: type 14, 20 bytes
    ASSERT_EQ(qFromLittleEndian<quint32>(good.constData() + eof), 14u);
    QByteArray unknownType = good;
    qToLittleEndian<quint32>(200, unknownType.data() + eof);
    QByteArray overlong = good;
    qToLittleEndian<quint32>(24, overlong.data() + eof + 4);
    const struct
    {
        QByteArray page;
        bool drawable;
    } cases[] = {{good, true},      {good.chopped(4), false}, {unknownType, false},
                 {overlong, false}, {good.mid(88), false},    {{}, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.page.size());
        EXPECT_EQ(IsDrawableEmf(c.page), c.drawable);
        EXPECT_EQ(EmfToSvg(c.page).startsWith("<?xml"), c.drawable);
    }
}

class ViewerTest : public ::testing::Test
{
protected:
    LocalTablesFixture f;
    ScopedScriptedDialogs dialogs;

    // `look` sees the window of class T that the next view opens.
    template <class T> void expect(const std::function<void(T&)>& look)
    {
        dialogs.answerModal(QString::fromLatin1(T::staticMetaObject.className()),
                            [look](TForm& form) {
                                look(static_cast<T&>(form));
                                return int(mrCancel);
                            });
    }
    QStringList shownText(int number)
    {
        QStringList lines;
        expect<TMemoForm>([&lines](TMemoForm& m) { lines = m.Text->toPlainText().split(u'\n'); });
        ViewDocument(number);
        return lines;
    }
    void addDocument(int number, int cfg, int type = 0, const QString& fileName = {})
    {
        f.tables->files->appendRecord({number, 0, fileName, cfg, {}, {}, type, 1, 0});
    }
};

int width(const TfEmfView& v, double factor)
{
    return int(std::lround(v.ScrollBox1->width() * factor));
}

TEST_F(ViewerTest, MetafileViewerCountsPagesAndZooms)
{
    const QStringList pages{f.ws.path(u"1.emf"_s), f.ws.path(u"2.emf"_s), f.ws.path(u"3.emf"_s)};
    writeFileBytes(pages[0], page());
    writeFileBytes(pages[2], page());
    expect<TfEmfView>([](TfEmfView& v) {
        EXPECT_EQ(v.Panel1->size(),
                  QSize(width(v, 1), int(std::lround(width(v, 1) * 2970. / 2100))));
        v.ComboBox2->setCurrentText(u"abc"_s);
        EXPECT_EQ(v.Panel1->width(), width(v, 1));
        v.UpDown1->Click(true);
        EXPECT_EQ(v.ComboBox2->currentText(), u"101"_s);
        EXPECT_EQ(v.Panel1->width(), width(v, 1.01));
        EXPECT_EQ(v.Label5->text(), u"1/3"_s);
        v.UpDown2->Click(false);
        EXPECT_EQ(v.Label5->text(), u"1/3"_s);
        v.UpDown2->Click(true); // the missing page: the error box, and the counter moves
        EXPECT_EQ(v.Label5->text(), u"2/3"_s);
        for (int i = 0; i < 3; ++i)
            v.UpDown2->Click(true);
        EXPECT_EQ(v.Label5->text(), u"3/3"_s);
    });
    dialogs.answerMessage(mrCancel, u"File doesn't exist or corrupt!"_s, mtError, mbCancel);
    std::unique_ptr<TfEmfView>(CreateForm<TfEmfView>())->ShowEmfPages(pages);
    // Keys found in the page: the later one's factor counts; a factor may be written with ",".
    for (const auto& [ini, factor] : {std::pair{"Absent=3\nDUPONT=1,5\nDate=0.5", 0.5},
                                      std::pair{"DUPONT=1,5\nAbsent=3", 1.5}}) {
        writeFileBytes(DataDir + u"/EmfView.Ini"_s, QByteArray("[Zoom]\n") + ini + "\n");
        expect<TfEmfView>(
            [z = factor](TfEmfView& v) { EXPECT_EQ(v.Panel1->width(), width(v, z)); });
        std::unique_ptr<TfEmfView>(CreateForm<TfEmfView>())->ShowEmfPages(pages);
    }
}

TEST_F(ViewerTest, ResultsAreLaidOutInColumnsAndOtherFilesShownAsText)
{
    // A test decoder: its file holds the header, results and names lines, "--" between them.
    ResultViews().insert(
        u"TST"_s,
        {[](const QString& file, QStringList& header, QStringList& results, QStringList& names) {
             const QStringList parts = QString::fromUtf8(readFileBytes(file)).split(u"--\n"_s);
             header = parts.value(0).split(u'\n', Qt::SkipEmptyParts);
             results = parts.value(1).split(u'\n', Qt::SkipEmptyParts);
             names = parts.value(2).split(u'\n', Qt::SkipEmptyParts);
         },
         {}});
    const auto forget = qScopeGuard([] { ResultViews().remove(u"TST"_s); });
    const QString sixty = u"Name of a parameter longer than its fifty-three columns!!!"_s;
    for (const auto& [number, code, type] :
         {std::tuple{1, "TST", 4}, {2, "CLT", 4}, {3, "XYZ", 4}, {4, "BFA", 1}, {5, "BR3", 2}})
        f.addSource(number, type, false, false, 0, QString::fromLatin1(code));
    writeFileBytes(BufDir + u"1.4"_s, "Title=Rapport\nName=DUPONT\nCarPos=7\nOther=x\n--\n"
                                      "GLU=5.5\tmmol/l\tH\nNIT= neg \nLONGCODE12345=1\n--\n"
                                      "GLU=Glucose\nNIT=\nLONGCODE12345=" +
                                          sixty.toUtf8() + "\n");
    writeFileBytes(BufDir + u"2.4"_s, "CarNum=3\nCarPos=7\n--\n--\n");
    writeFileBytes(BufDir + u"3.4"_s, "anything");
    writeFileBytes(BufDir + u"4.4"_s, "Price \x80 5\r\nline 2\r\n");
    writeFileBytes(BufDir + u"5.1"_s, "\xcf\xe0\xf6\xe8\xe5\xed\xf2" + QByteArray(18, '\n') +
                                          "    Gluc            5.5\n");
    writeFileBytes(f.ws.path(u"DOE.BR3"_s), "Breeze export\n");
    for (const auto& [number, cfg] : {std::pair{1, 1}, {2, 1}, {3, 2}, {4, 3}, {5, 4}})
        addDocument(number, cfg);
    addDocument(6, 5, 0, f.ws.path(u"DOE.BR3"_s));

    const QString heading =
        u"  №   Код           Параметр                                               Значение"_s;
    const QString rule(89, u'-');
    const auto blanks = [](int n) { return QString(n, u' '); };
    EXPECT_EQ(
        shownText(1),
        (QStringList{u"Rapport"_s,
                     u"Пациент:     DUPONT"_s,
                     u"Позиция:     7"_s,
                     {},
                     {},
                     heading,
                     rule,
                     u"  1   GLU"_s + blanks(11) + u"Glucose"_s + blanks(48) + u"5.5 mmol/l"_s +
                         blanks(6) + u"H"_s,
                     u"  2   NIT"_s + blanks(11) + u"NIT"_s + blanks(52) + u"neg"_s + blanks(13),
                     u"  3   LONGCODE12345  "_s + sixty + u"  1"_s + blanks(15)}));
    EXPECT_EQ(shownText(2), (QStringList{u"Позиция:     3-7"_s, {}, {}, heading, rule}));
    EXPECT_EQ(shownText(3), (QStringList{{}, {}, heading, rule})) << "CLT: the frame only";
    EXPECT_EQ(shownText(4), (QStringList{u"Price € 5"_s, u"line 2"_s}));
    const QStringList bfa = shownText(5); // windows-1251, test codes named
    EXPECT_EQ(bfa.value(0), u"Пациент"_s);
    EXPECT_EQ(bfa.value(18), u"    Глюкоза         5.5"_s);
    EXPECT_EQ(shownText(6), QStringList{u"Breeze export"_s});
}

TEST_F(ViewerTest, PrintedPagesAreTheDocumentsOwnRowsAndCapturesTheirOwnPicture)
{
    f.addSource(3, 3, false, false, 0, u"EMF"_s);
    f.addSource(5, 5, false, false, 0, u"BMP"_s);
    // Document 1's pages are rows 3 and 5 (row 2 is gone); row 4 is a page of document 2.
    for (const auto& [number, type] : {std::pair{1, 0}, {3, 1}, {4, 2}, {5, 1}}) {
        addDocument(number, 3, type);
        writeFileBytes(BufDir + QString::number(number) + u".3"_s, emfPage({}));
    }
    expect<TfEmfView>([](TfEmfView& v) {
        EXPECT_EQ(v.Pages(),
                  (QStringList{BufDir + u"1.3"_s, BufDir + u"3.3"_s, BufDir + u"5.3"_s}));
    });
    ViewDocument(1);

    QImage(2, 2, QImage::Format_RGB32).save(BufDir + u"buf.bmp"_s, "BMP");
    QImage(3, 5, QImage::Format_RGB32).save(BufDir + u"6.5"_s, "BMP");
    addDocument(6, 5);
    expect<TImageForm>([](TImageForm& i) { EXPECT_EQ(i.Image1->pixmap().size(), QSize(3, 5)); });
    ViewDocument(6);
    EXPECT_TRUE(QFile::exists(BufDir + u"buf.bmp"_s)) << "another file, left alone";
}

// A screen capture is as large as the screen: the window stays within the screen's free area,
// the picture keeps its size and scrolls to its last row.
TEST_F(ViewerTest, AScreenSizedPictureScrollsInAWindowThatFitsTheScreen)
{
    f.addSource(5, 5, false, false, 0, u"BMP"_s);
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    QImage(screen.size(), QImage::Format_RGB32).save(BufDir + u"7.5"_s, "BMP");
    addDocument(7, 5);
    expect<TImageForm>([&](TImageForm& i) {
        i.show();
        QCoreApplication::processEvents();
        EXPECT_TRUE(area.contains(i.frameGeometry())) << i.frameGeometry() << area;
        EXPECT_EQ(i.Image1->size(), screen.size());
        auto* scroll = qobject_cast<QScrollArea*>(i.Image1->parentWidget()->parentWidget());
        ASSERT_NE(scroll, nullptr);
        EXPECT_GE(scroll->verticalScrollBar()->maximum() + scroll->viewport()->height(),
                  screen.height());
    });
    ViewDocument(7);
}

} // namespace
