// Qt's file and folder choosers, as the dialog service shows them, open wide enough for every
// column of their list to paint its title and the texts of the folder's entries whole, and for
// their side bar to paint its places: at the default font and at 12 pt, with Qt's French and
// Russian texts.
#include <platform/ui/application.h>
#include <platform/ui/qtdialogs.h>

#include <support/font_scope.h>
#include <support/workspace.h>

#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QListView>
#include <QPainter>
#include <QPointer>
#include <QProxyStyle>
#include <QScopeGuard>
#include <QScreen>
#include <QStyleOptionHeader>
#include <QStyleOptionViewItem>
#include <QTemporaryDir>
#include <QTreeView>

#include <gtest/gtest.h>

namespace {

// What a list paints: each text, the width the style leaves it (wider texts are elided) and the
// width it takes in the font it is painted in.
class PaintedTexts final : public QProxyStyle
{
public:
    struct Text
    {
        QString text;
        int room;
        int width;
        int column; // of a list's cell; -1 for a title
    };
    mutable QList<Text> texts;

    void drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                     const QWidget* widget) const override
    {
        if (const auto* label = qstyleoption_cast<const QStyleOptionHeader*>(option);
            label && element == CE_HeaderLabel) {
            texts.append({label->text, label->rect.width(),
                          painter->fontMetrics().horizontalAdvance(label->text), -1});
        } else if (const auto* item = qstyleoption_cast<const QStyleOptionViewItem*>(option);
                   item && element == CE_ItemViewItem && !item->text.isEmpty()) {
            const int margin = pixelMetric(PM_FocusFrameHMargin, item, widget) + 1;
            const QRect room = subElementRect(SE_ItemViewItemText, item, widget);
            texts.append({item->text, room.width() - 2 * margin,
                          QFontMetrics(item->font).horizontalAdvance(item->text),
                          item->index.column()});
        }
        QProxyStyle::drawControl(element, option, painter, widget);
    }
};

// The texts `view` paints where it shows, with `style`.
QList<PaintedTexts::Text> paintedBy(QAbstractItemView* view, PaintedTexts& style)
{
    view->setStyle(&style);
    style.texts.clear();
    view->viewport()->grab();
    view->setStyle(nullptr);
    return style.texts;
}

// The texts painted narrower than they are, but those of column `spared`.
std::string cut(const QList<PaintedTexts::Text>& texts, int spared = -2)
{
    QStringList found;
    for (const auto& t : texts) {
        if (t.width > t.room && t.column != spared)
            found << QStringLiteral("\"%1\" %2 wide in %3").arg(t.text).arg(t.width).arg(t.room);
    }
    return found.join(QStringLiteral(", ")).toStdString();
}

struct ChooserCase
{
    int language;
    int points; // 0: the default font
    ChooserKind kind;
};

class Choosers : public ::testing::TestWithParam<ChooserCase>
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(installQtTranslations(GetParam().language)) << "qt6-translations-l10n";
    }
    void TearDown() override { installQtTranslations(0); }

private:
    const FontSizeScope m_size{GetParam().points};
};

TEST_P(Choosers, EveryColumnAndPlaceShowsItsTextsWhole)
{
    // A folder as the compression settings find it: the archiver (66.89 KiB), a folder and a
    // text; a workbook for the report's save chooser.
    const QTemporaryDir dir;
    const QString folder = QFileInfo(dir.path()).canonicalFilePath();
    QDir(folder).mkdir(QStringLiteral("Formats"));
    const QDateTime saved(QDate(2026, 12, 7), QTime(21, 50));
    for (const auto& [name, size] :
         {std::pair{"WINRAR95.EXE", 68500}, {"Lisez-moi.txt", 1200}, {"Visites.xlsx", 9000}}) {
        writeFileBytes(folder + u'/' + QLatin1String(name), QByteArray(size, 'x'));
        setModified(folder + u'/' + QLatin1String(name), saved);
    }
    const ChooserCase c = GetParam();
    const QString start = c.kind == ChooserKind::OpenFile   ? folder + "/WINRAR95.EXE"
                          : c.kind == ChooserKind::SaveFile ? folder + "/Visites.xlsx"
                                                            : folder;
    const QString filter =
        c.kind == ChooserKind::SaveFile ? QStringLiteral("Classeur Excel (*.xlsx)|*.xlsx") : "";

    const QPointer<QFileDialog> chooser =
        createFileChooser(c.kind, nullptr, QStringLiteral("Choisir"), start, filter);
    const auto close = qScopeGuard([&chooser] { delete chooser; });
    auto* model = chooser->findChild<QFileSystemModel*>();
    ASSERT_NE(model, nullptr) << "Qt's own chooser, not the platform's";
    bool loaded = false;
    QObject::connect(model, &QFileSystemModel::directoryLoaded, chooser,
                     [&](const QString& path) { loaded = loaded || path == folder; });
    chooser->show();
    const QDeadlineTimer deadline(20000);
    while (!loaded && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    ASSERT_TRUE(loaded) << "the folder was not read";
    QCoreApplication::processEvents();

    auto* list = chooser->findChild<QTreeView*>();
    ASSERT_NE(list, nullptr);
    QAbstractItemView* side = nullptr;
    for (QListView* view : chooser->findChildren<QListView*>()) {
        if (view->isVisibleTo(chooser) && view->model() != list->model())
            side = view;
    }
    ASSERT_NE(side, nullptr) << "the side bar";

    PaintedTexts style;
    const int entries = model->rowCount(list->rootIndex());
    // The folder and the files the chooser offers: all of them, the workbook, or none.
    EXPECT_EQ(entries, c.kind == ChooserKind::OpenFile   ? 4
                       : c.kind == ChooserKind::SaveFile ? 2
                                                         : 1);
    const int columns = list->header()->count() - list->header()->hiddenSectionCount();
    EXPECT_EQ(columns, 4);
    const QList<PaintedTexts::Text> titles = paintedBy(list->header(), style);
    EXPECT_EQ(titles.size(), columns) << "every title is painted";
    EXPECT_EQ(cut(titles), "");
    const QList<PaintedTexts::Text> cells = paintedBy(list, style);
    // Every entry's name, type and date, and the files' sizes (a folder has none), painted.
    EXPECT_EQ(cells.size(), entries * columns - 1) << "every cell is painted";
    // Where the screen is too narrow for all of them, the kinds of the files give way first.
    const int kinds = 2;
    const QRect area = chooser->screen()->availableGeometry();
    EXPECT_EQ(cut(cells, kinds), "");
    if (chooser->frameGeometry().width() < area.width()) {
        EXPECT_EQ(cut(cells), "");
    }
    const QList<PaintedTexts::Text> places = paintedBy(side, style);
    EXPECT_EQ(places.size(), side->model()->rowCount(side->rootIndex()));
    EXPECT_EQ(cut(places), "");
    // The chooser stays on the screen.
    EXPECT_TRUE(area.contains(chooser->geometry())) << chooser->width() << " " << area.width();
}

const ChooserCase kCases[] = {{1, 0, ChooserKind::OpenFile},  {1, 12, ChooserKind::OpenFile},
                              {2, 0, ChooserKind::OpenFile},  {2, 12, ChooserKind::OpenFile},
                              {1, 12, ChooserKind::SaveFile}, {2, 12, ChooserKind::SaveFile},
                              {1, 12, ChooserKind::Folder},   {2, 12, ChooserKind::Folder}};

std::string caseName(const ::testing::TestParamInfo<ChooserCase>& info)
{
    const ChooserCase& c = info.param;
    const char* kinds[] = {"Open", "Save", "Folder"};
    return std::string(c.language == 2 ? "Russian" : "French") +
           (c.points ? "Points" + std::to_string(c.points) : "DefaultFont") + kinds[int(c.kind)];
}

INSTANTIATE_TEST_SUITE_P(Languages, Choosers, ::testing::ValuesIn(kCases), caseName);

} // namespace
