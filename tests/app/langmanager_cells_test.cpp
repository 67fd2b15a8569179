// The translation editor over the program's own forms, at the default font and at 12 pt, in the
// language of the build: every cell of its grid shows its whole text as the grid draws it, when it
// opens, after a long translation is typed, after saving and when it is opened again.
#include "mainwindow_fixture.h"

#include <app/translatableforms.h>
#include <platform/codepage.h>
#include <platform/support/globals.h>
#include <translation/langmanager.h>
#include <translation/langrus.h>

#include <support/font_scope.h>
#include <support/translator_scope.h>

#include <QApplication>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QScopeGuard>
#include <QStyle>
#include <QTableWidget>
#include <QTextLayout>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>

#include <gtest/gtest.h>

namespace {

// What the grid cannot show of a cell. The grid draws a cell's text in its visual rectangle, less
// the style's text margin on either side, wrapped at word boundaries when the grid wraps: every
// line must be as narrow as that and all the lines together no taller than the rectangle, or the
// style cuts the text with "…".
QString cutCell(const QTableView* grid, const QModelIndex& index)
{
    const QRect cell = grid->visualRect(index);
    QString text = index.data(Qt::DisplayRole).toString();
    text.replace(QLatin1Char('\n'), QChar::LineSeparator);
    const int margin = grid->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, grid) + 1;
    const int room = cell.width() - 2 * margin;
    QTextOption option;
    option.setWrapMode(grid->wordWrap() ? QTextOption::WordWrap : QTextOption::ManualWrap);
    QTextLayout layout(text, grid->font());
    layout.setTextOption(option);
    layout.beginLayout();
    qreal height = 0;
    qreal widest = 0;
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(room);
        height += line.height();
        widest = std::max(widest, line.naturalTextWidth());
    }
    layout.endLayout();
    if (widest <= room && height <= cell.height())
        return {};
    return QStringLiteral("row %1, column %2: \"%3\" needs %4 x %5 in a cell of %6 x %7")
        .arg(index.row())
        .arg(index.column())
        .arg(text)
        .arg(widest + 2 * margin)
        .arg(height)
        .arg(cell.width())
        .arg(cell.height());
}

// Every cut cell of every form of the tree, and columns that run out of the grid.
QStringList cutCells(TLangManager& editor)
{
    QStringList cuts;
    QTableWidget* grid = editor.TrGrid;
    for (QTreeWidgetItemIterator node(editor.FormTree); *node; ++node) {
        editor.FormTree->setCurrentItem(*node);
        QApplication::processEvents(); // the window laid out again
        const QString form = (*node)->text(0) + QStringLiteral(": ");
        if (grid->horizontalHeader()->length() > grid->viewport()->width())
            cuts << form + QStringLiteral("columns %1 wide in %2")
                               .arg(grid->horizontalHeader()->length())
                               .arg(grid->viewport()->width());
        for (int r = 0; r < grid->rowCount(); ++r) {
            for (int c = 0; c < grid->columnCount(); ++c) {
                if (const QString cut = cutCell(grid, grid->model()->index(r, c)); !cut.isEmpty())
                    cuts << form + cut;
            }
        }
    }
    return cuts;
}

// Fails with the first cuts found.
void expectWhole(TLangManager& editor)
{
    const QStringList cuts = cutCells(editor);
    EXPECT_TRUE(cuts.isEmpty()) << cuts.size() << " cut:\n"
                                << cuts.mid(0, 20).join(QLatin1Char('\n')).toStdString();
}

class EditorCells : public ::testing::TestWithParam<int>
{
protected:
    // A new editor, shown, with the main window's texts in its grid.
    std::unique_ptr<TLangManager> open() const
    {
        std::unique_ptr<TLangManager> editor(CreateForm<TLangManager>());
        editor->show();
        selectMainForm(*editor);
        return editor;
    }
    static void selectMainForm(TLangManager& editor)
    {
        editor.FormTree->setCurrentItem(
            editor.FormTree->findItems("TMainForm", Qt::MatchExactly | Qt::MatchRecursive).at(0));
        QApplication::processEvents();
    }
    // Types a translation into the row of a text, as a user does.
    static void type(TLangManager& editor, const QString& object, const QString& text)
    {
        QTableWidget* grid = editor.TrGrid;
        for (int r = 0; r < grid->rowCount(); ++r) {
            if (grid->item(r, TLangManager::colObject)->text() != object)
                continue;
            QTableWidgetItem* cell = grid->item(r, TLangManager::colTranslation);
            grid->setCurrentItem(cell);
            grid->editItem(cell);
            auto* box = qobject_cast<QLineEdit*>(grid->indexWidget(grid->indexFromItem(cell)));
            ASSERT_NE(box, nullptr);
            box->setText(text);
            emit grid->itemDelegate()->commitData(box);
            emit grid->itemDelegate()->closeEditor(box);
            QApplication::processEvents();
            return;
        }
        ADD_FAILURE() << "no row " << object.toStdString();
    }

private:
    const FontSizeScope m_size{GetParam()};
};

TEST_P(EditorCells, EveryCellShowsItsWholeText)
{
    MainWindowFixture f;
    const TranslatorScope translator(f.programDir() + "QUORVANE.LAN", ProgLanguage);
    const CodePageScope codePage(codepage::forLanguage(ProgLanguage));
    ExtTranslateProc = ProgLanguage == 2 ? &TranslateCaptionRUS : nullptr;
    const QList<TFormClass> registered = std::exchange(TranslatableForms(), ProgramFormClasses());
    const auto unregister = qScopeGuard([&registered] { TranslatableForms() = registered; });
    // Translations longer than the texts they stand for, one of them a single long word.
    const bool russian = ProgLanguage == 2;
    AddTranslation("TMainForm", "bShowLOG",
                   russian ? "&Показать журнал событий..." : "&Afficher le journal des envois...");
    AddTranslation("TMainForm", "bIdentify", russian ? "Идентифицировать..." : "Identification...");
    AddTranslation("TMainForm", "LC1.9",
                   russian ? "9=Закрыть %S ?%SВнимание! Службы %S перестанут работать до "
                             "следующего запуска программы!"
                           : "9=Fermer %S ?%SAttention ! Les services de %S s'arrêteront "
                             "jusqu'au prochain lancement du logiciel !");

    std::unique_ptr<TLangManager> editor = open();
    expectWhole(*editor);

    // A pending translation, then the same saved; the editor opened again shows them whole too.
    selectMainForm(*editor);
    type(*editor, "Label7",
         russian ? "Список импортированных документов, ожидающих передачи:"
                 : "Liste des documents importés en attente de transfert:");
    type(*editor, "bDelete", russian ? "Удалить" : "Supprimer définitivement");
    ASSERT_TRUE(editor->btnRestoreDefaults->isEnabled());
    expectWhole(*editor);
    selectMainForm(*editor);
    editor->btnSave->click();
    QApplication::processEvents();
    expectWhole(*editor);
    editor.reset();
    editor = open();
    expectWhole(*editor);
}

INSTANTIATE_TEST_SUITE_P(Fonts, EditorCells, ::testing::Values(0, 12), [](const auto& info) {
    return info.param ? "Points" + std::to_string(info.param) : std::string("DefaultFont");
});

} // namespace
