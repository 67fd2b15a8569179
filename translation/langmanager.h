// The translation editor: every text of every translatable form beside its translation in the
// current language, edited in a grid and written into the statement file.
#pragma once

#include "lmopt.h"

#include <platform/ui/forms.h>
#include <translation/language.h>

#include <QList>
#include <QString>

class QComboBox;
class QLabel;
class QPushButton;
class QToolButton;
class QStyleOptionViewItem;
class QTableWidget;
class QTreeWidget;
class QTreeWidgetItem;

// Called, when assigned, after the editor saved or closed; nothing in the program assigns it.
extern void (*LanguageChangedProc)(TInternationalLang Language);

// Lifecycle: created (FormCreate builds the class tree and selects the active form's class) ->
// shown modally -> closed ("Close" or the close box: pending edits are written when the user
// says so, every open form is translated again) -> freed.
//
// The texts of a class are learnt by creating it in text-collecting mode (CollectFormTexts);
// edits stay pending until "Save file", a schema command or a confirmed close writes them.
class TLangManager : public TForm
{
    Q_OBJECT

public:
    explicit TLangManager(QWidget* parent = nullptr);
    ~TLangManager() override;

    // ---- components
    QPushButton* btnRestoreDefaults;
    QPushButton* btnLineRestore;
    QPushButton* btnOptions;
    QPushButton* btnSearch;
    QPushButton* btnSave;
    QPushButton* btnClose;
    QPushButton* btnCreateFile;
    QLabel* Label1;
    QComboBox* cbExtTranslating;
    QToolButton* sbAdd;
    QToolButton* sbEdit;
    QToolButton* sbDelete;
    QTreeWidget* FormTree;
    QTableWidget* TrGrid;

    // The grid's columns.
    enum { colNumber, colObject, colType, colDefault, colTranslation, ColumnCount };

    TLangOptions Options;

    // ---- handlers
    void FormCreate(QObject* Sender);
    void FormShow(QObject* Sender);
    void FormCloseQuery(QObject* Sender, bool& CanClose);
    void FormTreeChange(QTreeWidgetItem* Node);
    void cbExtTranslatingChange(QObject* Sender);
    void TrGridSelectCell(int ARow, int ACol);
    // The editing of a translation cell begins: `Value` is what the edit box starts with.
    void TrGridGetEditText(int ACol, int ARow, QString& Value);
    // The edited text of a translation cell. A text the program's code page cannot hold (the
    // statement file is written in it) is refused with a message, shown once the edit has
    // ended; the cell keeps what it showed, nothing is pending, and the cell is edited again
    // starting from the refused text, for the user to correct it.
    void TrGridSetEditText(int ACol, int ARow, const QString& Value);
    void btnRestoreDefaultsClick(QObject* Sender);
    void btnLineRestoreClick(QObject* Sender);
    void btnOptionsClick(QObject* Sender);
    void btnSearchClick(QObject* Sender);
    void btnSaveClick(QObject* Sender);
    void btnCreateFileClick(QObject* Sender);
    void sbAddClick(QObject* Sender);
    void sbEditClick(QObject* Sender);
    void sbDeleteClick(QObject* Sender);

    // How a cell is drawn: the fixed column, pending edits, numbered-text rows.
    void StyleCell(int ARow, int ACol, QStyleOptionViewItem& Option) const;

private:
    struct Pending
    {
        QString classKey;
        QString name;
        QString text;
        QString prefix; // "n=" for a line of a numbered-texts component
    };
    struct Row
    {
        QString name;
        QString defaultText;
        QString componentClass;
        bool translated = false; // a dictionary entry in the class chain
    };
    class GridDelegate;

    void createComponents();
    void layoutComponents();
    void connectHandlers();

    void BuildFormTree();
    // Refills the grid from the selected class; the schema list too, unless the schema changed.
    void FillGrid(bool SchemaChanged = false);
    void FillSchemaList();
    QString SchemaName() const; // empty while "Default" is selected
    // The translation shown for a text: the pending edit, else the first entry in the class
    // chain; `translated` tells whether there is an entry.
    QString ShownTranslation(const QString& Name, bool* translated) const;
    int FindPending(const QString& ClassKey, const QString& Name) const;
    void SetRestoreButtons(bool Enabled);
    // The columns as wide as their titles and their names, the rows as tall as their texts; run
    // whenever a cell's text changes.
    void FitColumns();
    // The section width that shows the longest word of the column's texts.
    int LongestWordWidth(int Column) const;
    // Each row as tall as its texts wrapped in their columns, the language column `Width` wide.
    void FitRows(int TranslationWidth);
    int RowHeightFor(int Row, int TranslationWidth) const;
    // The size of a cell's text wrapped at `Width`, the room the cell draws it in.
    QSize WrappedSize(int Row, int Column, int Width) const;
    // The grid line drawn at the right and at the bottom of each cell, within its section.
    int GridLine() const;
    // Writes the pending edits into the statement file and reloads the dictionary; a failure
    // keeps them.
    void WritePending();
    void RenameSchemaEntries(const QString& Schema, const QString& NewName);
    // The characters of `text` the program's code page cannot hold, each once.
    static QString CharactersOutsideCodePage(const QString& Text);
    void ShowCodePageRefusal(const QString& Characters);
    // Tells the refusal of m_refused and edits its cell again.
    void RefuseEdit(const QString& Characters);

    const TFormClass* m_formClass = nullptr;
    QString m_classKey;
    QString m_textBeforeEdit;
    // A translation refused for its characters, until its cell is edited again.
    struct Refused
    {
        QString classKey;
        QString name;
        QString text;
        QString textBefore;
    } m_refused;
    QList<Pending> m_pending;
    QList<Row> m_rows;
    QString m_schemaName;
};

// Creates the editor, shows it modally and frees it.
void ShowLangManager();
