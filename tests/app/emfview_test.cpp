// The metafile viewer on pages written by libuemf: the text search's rules on a page of known
// text records, and the form offscreen: the page counter at its bounds, a zoom that is not a
// number, a missing page, and the starting zoom read from EmfView.Ini.
#include "emf_pages.h"

#include <app/documents/emfview.h>
#include <platform/support/globals.h>

#include <support/qt_printers.h>
#include <support/scoped_dialogs.h>
#include <support/workspace.h>

#include <QComboBox>
#include <QLabel>
#include <QScrollArea>
#include <QtEndian>

#include <cmath>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

// A page of five text records; the last one holds 300 characters.
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

struct SearchCase
{
    const char* what;
    const char* text;
    int x, y;
    bool useText, useX, useY;
    int dx, dy, tolerance, index, count;
    const char* expected; // nullptr: not found, the result unchanged
};

TEST(FindEmfText, FindsByTextAndPointThenReadsNearTheOffsetPoint)
{
    const SearchCase cases[] = {
        {"text alone", "DUPONT", 0, 0, true, false, false, 0, 60, 0, 0, 1000, "Date: 06/12/2026"},
        {"text and point", "DUPONT", 400, 200, true, true, true, 5, 62, 0, 7, 2, "42"},
        {"text and x", "DUP", 400, 0, true, true, false, 0, 60, 5, 1, 5, "Value"},
        {"text and y", "Date", 0, 260, true, false, true, 0, 0, 0, 7, 10, "06/12/2026"},
        {"point alone", "", 100, 300, false, true, true, 0, 0, 0, 0, 1000, nullptr},
        {"nothing to search by", "", 0, 0, false, false, false, 0, 0, 10, 0, 1000, nullptr},
        {"empty search text", "", 0, 0, true, false, false, 0, 0, 10, 0, 1000, nullptr},
        {"case counts", "dupont", 0, 0, true, false, false, 0, 0, 10, 0, 1000, nullptr},
        {"nothing near the offset point", "DUPONT", 0, 0, true, false, false, 0, 59, 0, 0, 9,
         nullptr},
    };
    for (const SearchCase& c : cases) {
        SCOPED_TRACE(c.what);
        QString result = u"unchanged"_s;
        const bool found = FindEmfText(page(), QString::fromLatin1(c.text), c.x, c.y, c.useText,
                                       c.useX, c.useY, c.dx, c.dy, c.tolerance, c.tolerance,
                                       c.tolerance, c.tolerance, c.index, c.count, result);
        if (qstrcmp(c.what, "point alone") == 0) {
            // 300 characters are read as 300 modulo 256.
            EXPECT_TRUE(found);
            EXPECT_EQ(result, QString(44, u'a'));
            continue;
        }
        EXPECT_EQ(found, c.expected != nullptr);
        EXPECT_EQ(result, c.expected ? QString::fromLatin1(c.expected) : u"unchanged"_s);
    }

    // A count beyond the record is cut at the record's end: "Hi" padded to 4 bytes, then the two
    // 4-byte character spacings (30 each) end the record.
    QByteArray longCount = emfPage({{10, 10, "Hi"}});
    const qsizetype text = longCount.indexOf("Hi") - 76;
    qToLittleEndian<quint32>(200, longCount.data() + text + 44);
    QString result;
    ASSERT_TRUE(FindEmfText(longCount, u"Hi"_s, 0, 0, true, false, false, 0, 0, 0, 0, 0, 0, 0, 1000,
                            result));
    EXPECT_EQ(result, QString::fromLatin1("Hi\0\0\x1e\0\0\0\x1e\0\0\0", 12));
}

class EmfViewTest : public ::testing::Test
{
protected:
    TestWorkspace ws;
    ScopedScriptedDialogs dialogs;
    QStringList pages;

    EmfViewTest()
    {
        DataDir = ws.path(u"data"_s);
        for (int i = 1; i <= 3; ++i) {
            pages << ws.path(u"page%1.emf"_s.arg(i));
            writeFileBytes(pages.last(), page());
        }
    }
    ~EmfViewTest() override { DataDir.clear(); }

    // Shows the pages; `look` runs while the viewer is open. `then` scripts the dialogs the
    // viewer opens meanwhile.
    void view(const std::function<void(TfEmfView&)>& look, const std::function<void()>& then = {})
    {
        dialogs.answerModal(u"TfEmfView"_s, [&look](TForm& form) {
            look(static_cast<TfEmfView&>(form));
            return int(mrCancel);
        });
        if (then)
            then();
        TfEmfView* viewer = CreateForm<TfEmfView>();
        viewer->ShowEmfPages(pages);
        viewer->Free();
    }
    static int width(const TfEmfView& v, double factor)
    {
        return int(std::lround(v.ScrollBox1->width() * factor));
    }
};

TEST_F(EmfViewTest, PageCounterStaysWithinThePagesAndMovesPastAMissingOne)
{
    QFile::remove(pages[1]);
    view(
        [](TfEmfView& v) {
            EXPECT_EQ(v.Label5->text(), u"1/3"_s);
            v.UpDown2->Click(false);
            EXPECT_EQ(v.Label5->text(), u"1/3"_s);
            v.UpDown2->Click(true); // the missing page: the error box, and the counter moves
            EXPECT_EQ(v.Label5->text(), u"2/3"_s);
            EXPECT_FALSE(v.Panel1->isVisibleTo(&v));
            for (int i = 0; i < 3; ++i)
                v.UpDown2->Click(true);
            EXPECT_EQ(v.Label5->text(), u"3/3"_s);
            EXPECT_EQ(v.CurrentPage(), 3);
        },
        [this] {
            dialogs.answerMessage(mrCancel, u"File doesn't exist or corrupt!"_s, mtError, mbCancel);
        });
}

TEST_F(EmfViewTest, ZoomTextAndStartingZoomSetThePageWidth)
{
    view([](TfEmfView& v) {
        const int natural = width(v, 1.0);
        EXPECT_EQ(v.Panel1->width(), natural);
        EXPECT_EQ(v.Panel1->height(), int(std::lround(natural * 2970.0 / 2100.0)));
        v.ComboBox2->setCurrentText(u"50"_s);
        EXPECT_EQ(v.Panel1->width(), width(v, 0.5));
        v.ComboBox2->setCurrentText(u"abc"_s);
        EXPECT_EQ(v.Panel1->width(), natural);
        v.UpDown1->Click(true); // 101
        EXPECT_EQ(v.ComboBox2->currentText(), u"101"_s);
        EXPECT_EQ(v.Panel1->width(), width(v, 1.01));
    });
    // Two keys found in the page: the later one's factor; one written with a comma.
    for (const auto& [ini, factor] : {std::pair{"Absent=3\r\nDUPONT=1,5\r\nDate=0.5", 0.5},
                                      std::pair{"DUPONT=1,5\r\nAbsent=3", 1.5}}) {
        writeFileBytes(DataDir + u"/EmfView.Ini"_s, QByteArray("[Zoom]\r\n") + ini + "\r\n");
        view([f = factor](TfEmfView& v) { EXPECT_EQ(v.Panel1->width(), width(v, f)); });
    }
}

} // namespace
