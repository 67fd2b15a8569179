// The component translator: which texts each kind of component shows and under which names they
// are looked up (one table), and how those texts and fonts are read and written on the Qt classes
// the forms build their components from (one accessor per kind of text).
#include "langproc.h"

#include "dictionary.h"
#include "lc.h"

#include <platform/softcheck.h>
#include <platform/ui/forms.h>

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAction>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QPlainTextEdit>
#include <QTabBar>
#include <QTabWidget>
#include <QTableView>
#include <QTextEdit>
#include <QTreeWidget>

#include <functional>
#include <optional>

namespace {

// The kinds of text a component shows.
enum class Text {
    None,
    Caption,        // under the component's name N
    CaptionIfSet,   // the same, looked up only when not empty
    FormCaption,    // a form's caption, under the empty name
    Hint,           // under N + "_HINT"
    HintIfSet,      // the same, looked up only when not empty
    Items,          // a radio group's items, N + "_i" + index
    AllLabelsLines, // the lines of a memo named "AllLabels", N + "_i" + index
    ConstsLines,    // the numbered lines, under TLCLineKey(N + ".", line)
    GridTitles,     // N + ".Columns.Items[" + i + "].Title.Caption"
    ListColumns,    // N + ".Columns.Items[" + i + "].Caption"
    Tabs,           // N + ".Tabs.Strings[" + i + "]"
    Pages,          // N + ".Pages[" + i + "].Caption"
    Title,          // a dialog's title, under N
    ReportText,     // a report's system-data text, under N
    ReportTitle,    // a report's title, under N
};

// Which fonts follow the language.
enum class Font { None, Own, Grid, TabFont };

struct Row
{
    const char* kind;
    Font font;
    Text texts[2];
};

// Tried in this order; a component takes every row of a kind it is (see kindIs).
constexpr Row Rows[] = {
    {"TMenuItem", Font::None, {Text::Caption}},
    {"TSpeedButton", Font::Own, {Text::CaptionIfSet, Text::HintIfSet}},
    {"TBitBtn", Font::Own, {Text::CaptionIfSet, Text::HintIfSet}},
    {"TButton", Font::Own, {Text::CaptionIfSet, Text::HintIfSet}},
    {"TLabel", Font::Own, {Text::Caption}},
    {"TForm", Font::Own, {Text::FormCaption}},
    {"TGroupBox", Font::Own, {Text::Caption}},
    {"TCheckBox", Font::Own, {Text::CaptionIfSet, Text::HintIfSet}},
    {"TDBCheckBox", Font::Own, {Text::CaptionIfSet, Text::HintIfSet}},
    {"TRadioButton", Font::Own, {Text::Caption}},
    {"TImage", Font::None, {Text::Hint}},
    {"TRadioGroup", Font::Own, {Text::Caption, Text::Items}},
    {"TPanel", Font::Own, {Text::Caption}},
    {"TMemo", Font::Own, {Text::AllLabelsLines}},
    {"TLC", Font::None, {Text::ConstsLines}},
    {"TDBGrid", Font::Grid, {Text::GridTitles, Text::Hint}},
    {"TStaticText", Font::Own, {Text::Caption, Text::Hint}},
    {"TTabControl", Font::Own, {Text::Tabs, Text::Hint}},
    {"TTabSet", Font::Own, {Text::Tabs, Text::Hint}},
    {"TPageControl", Font::Own, {Text::Pages, Text::Hint}},
    {"TTabbedNotebook", Font::TabFont, {}},
    {"TOpenDialog", Font::None, {Text::Title}},
    {"TQRLabel", Font::Own, {Text::Caption}},
    {"TQRSysData", Font::Own, {Text::ReportText}},
    {"TQuickReport", Font::None, {Text::ReportTitle}},
    {"TListView", Font::Own, {Text::ListColumns, Text::Hint}},
    {"TOutline", Font::Own, {}},
    {"TListBox", Font::Own, {}},
    {"TComboBox", Font::Own, {}},
    {"TDBEdit", Font::Own, {}},
    {"TDBMemo", Font::Own, {}},
    {"TEdit", Font::Own, {}},
    {"TMaskEdit", Font::Own, {}},
    {"TStringGrid", Font::Own, {}},
    {"TDrawGrid", Font::Own, {}},
    {"TDBLookupList", Font::Own, {}},
    {"TTreeView", Font::Own, {}},
    {"TWeekCalendar", Font::Own, {}},
    {"TCalendar", Font::Own, {}},
};

// Kinds that are also another kind of the table, as they descend from it. (A TBitBtn descends
// from TButton too, but the button row leaves it out; data-aware check boxes and memos, radio
// groups and page controls descend from none of the kinds above.)
struct Ancestor
{
    const char* kind;
    const char* ancestor;
};
constexpr Ancestor Ancestors[] = {
    {"TStringGrid", "TDrawGrid"},
    {"TSaveDialog", "TOpenDialog"},
};

bool kindIs(const QString& kind, const char* rowKind)
{
    if (kind == QLatin1String(rowKind))
        return true;
    for (const Ancestor& a : Ancestors) {
        if (kind == QLatin1String(a.kind) && qstrcmp(a.ancestor, rowKind) == 0)
            return true;
    }
    return false;
}

// ---- the accessors

// One text of a component: how to read it and how to write it.
struct TextRef
{
    std::function<QString()> get;
    std::function<void(const QString&)> set;
};

// A text read and written through a pair of the Qt object's own functions.
template <class W, class Get, class Set> TextRef textOf(W* w, Get get, Set set)
{
    return TextRef{[w, get] { return QString((w->*get)()); },
                   [w, set](const QString& t) { (w->*set)(t); }};
}

// The texts of a Qt object held by index (tabs, header columns), from 0 to count - 1.
template <class W, class Get, class Set>
QList<TextRef> indexedTextsOf(W* w, int count, Get get, Set set)
{
    QList<TextRef> refs;
    for (int i = 0; i < count; ++i)
        refs.append({[w, i, get] { return QString((w->*get)(i)); },
                     [w, i, set](const QString& t) { (w->*set)(i, t); }});
    return refs;
}

std::optional<TextRef> captionOf(QObject* o)
{
    if (auto* form = qobject_cast<TForm*>(o))
        return textOf(form, &TForm::Caption, &TForm::setCaption);
    if (auto* button = qobject_cast<QAbstractButton*>(o))
        return textOf(button, &QAbstractButton::text, &QAbstractButton::setText);
    if (auto* label = qobject_cast<QLabel*>(o))
        return textOf(label, &QLabel::text, &QLabel::setText);
    if (auto* group = qobject_cast<QGroupBox*>(o))
        return textOf(group, &QGroupBox::title, &QGroupBox::setTitle);
    if (auto* action = qobject_cast<QAction*>(o))
        return textOf(action, &QAction::text, &QAction::setText);
    if (auto* menu = qobject_cast<QMenu*>(o))
        return textOf(menu, &QMenu::title, &QMenu::setTitle);
    // A panel built as a plain frame draws no caption; it keeps one all the same.
    if (auto* frame = qobject_cast<QFrame*>(o))
        return textOf<QWidget>(frame, &QWidget::windowTitle, &QWidget::setWindowTitle);
    return std::nullopt;
}

std::optional<TextRef> hintOf(QObject* o)
{
    if (auto* action = qobject_cast<QAction*>(o))
        return textOf(action, &QAction::toolTip, &QAction::setToolTip);
    if (auto* widget = qobject_cast<QWidget*>(o))
        return textOf(widget, &QWidget::toolTip, &QWidget::setToolTip);
    return std::nullopt;
}

std::optional<TextRef> titleOf(QObject* o)
{
    if (auto* widget = qobject_cast<QWidget*>(o))
        return textOf(widget, &QWidget::windowTitle, &QWidget::setWindowTitle);
    return std::nullopt;
}

std::optional<QList<TextRef>> columnTitlesOf(QObject* o)
{
    if (auto* tree = qobject_cast<QTreeWidget*>(o))
        return indexedTextsOf(tree->headerItem(), tree->columnCount(), &QTreeWidgetItem::text,
                              &QTreeWidgetItem::setText);
    auto* view = qobject_cast<QAbstractItemView*>(o);
    if (!view)
        return std::nullopt;
    QList<TextRef> refs;
    if (QAbstractItemModel* model = view->model()) {
        for (int i = 0; i < model->columnCount(); ++i)
            refs.append(
                {[model, i] { return model->headerData(i, Qt::Horizontal).toString(); },
                 [model, i](const QString& t) { model->setHeaderData(i, Qt::Horizontal, t); }});
    }
    return refs;
}

std::optional<QList<TextRef>> tabsOf(QObject* o)
{
    if (auto* bar = qobject_cast<QTabBar*>(o))
        return indexedTextsOf(bar, bar->count(), &QTabBar::tabText, &QTabBar::setTabText);
    if (auto* tabs = qobject_cast<QTabWidget*>(o))
        return indexedTextsOf(tabs, tabs->count(), &QTabWidget::tabText, &QTabWidget::setTabText);
    return std::nullopt;
}

std::optional<QList<TextRef>> radioItemsOf(QObject* o)
{
    auto* group = qobject_cast<QGroupBox*>(o);
    if (!group)
        return std::nullopt;
    QList<TextRef> refs;
    const auto buttons = group->findChildren<QAbstractButton*>(Qt::FindDirectChildrenOnly);
    for (QAbstractButton* button : buttons)
        refs.append(textOf(button, &QAbstractButton::text, &QAbstractButton::setText));
    return refs;
}

// The lines of a memo, read and written as one text.
std::optional<TextRef> memoTextOf(QObject* o)
{
    if (auto* plain = qobject_cast<QPlainTextEdit*>(o))
        return textOf(plain, &QPlainTextEdit::toPlainText, &QPlainTextEdit::setPlainText);
    if (auto* rich = qobject_cast<QTextEdit*>(o))
        return textOf(rich, &QTextEdit::toPlainText, &QTextEdit::setPlainText);
    return std::nullopt;
}

// ---- translating

class ComponentTranslation
{
public:
    ComponentTranslation(QObject* form, QObject* component, TInternationalLang language,
                         QString kind)
        : m_form(form), m_component(component), m_language(language), m_kind(std::move(kind)),
          m_name(component == form ? QString() : component->objectName())
    {
    }

    void translate(Text text);
    void adaptFonts(Font font) const;

private:
    QString look(const QString& name, const QString& current) const
    {
        QString result;
        GetTranslation(m_form, name, current, result, m_language, componentClassName());
        return result;
    }
    QString componentClassName() const
    {
        return m_component == m_form ? QString::fromLatin1(m_form->metaObject()->className())
                                     : m_kind;
    }
    std::optional<QString> designText(const QString& name, const QString& current) const;
    void remember(const QString& name, const QString& design, const QString& result) const;
    void one(const std::optional<TextRef>& ref, const QString& name, bool onlyIfSet, Text text);
    void list(const std::optional<QList<TextRef>>& refs, const QString& prefix,
              const QString& suffix, Text text);
    void noAccessor(Text text) const;
    void translateMemo();
    void translateConsts();

    QObject* m_form;
    QObject* m_component;
    TInternationalLang m_language;
    QString m_kind;
    QString m_name;
};

void ComponentTranslation::noAccessor(Text text) const
{
    QV_SOFT_CHECK(
        false,
        QStringLiteral("No accessor for text %1 of a %2 shown as %3 (%4)")
            .arg(int(text))
            .arg(m_kind, QString::fromLatin1(m_component->metaObject()->className()), m_name));
}

// A text is translated from its design text, the one it showed when it was first translated,
// so that a form translated again (after the editor saved or closed) shows what the dictionary
// says now. Each translated text keeps its design text and the translation it was given in a
// property of its component; a text that no longer shows that translation was written by the
// program at run time (a user's name, a title of its own) and is left alone.
QByteArray keptTextProperty(const QString& name)
{
    return "qvTranslated:" + name.toUtf8();
}

std::optional<QString> ComponentTranslation::designText(const QString& name,
                                                        const QString& current) const
{
    const QStringList kept = m_component->property(keptTextProperty(name)).toStringList();
    if (kept.size() != 2)
        return current; // translated for the first time: it shows its design text
    if (current != kept.at(1))
        return std::nullopt;
    return kept.at(0);
}

void ComponentTranslation::remember(const QString& name, const QString& design,
                                    const QString& result) const
{
    m_component->setProperty(keptTextProperty(name), QStringList{design, result});
}

void ComponentTranslation::one(const std::optional<TextRef>& ref, const QString& name,
                               bool onlyIfSet, Text text)
{
    if (!ref) {
        noAccessor(text);
        return;
    }
    const std::optional<QString> design = designText(name, ref->get());
    if (!design || (onlyIfSet && design->isEmpty()))
        return;
    const QString result = look(name, *design);
    ref->set(result);
    remember(name, *design, result);
}

void ComponentTranslation::list(const std::optional<QList<TextRef>>& refs, const QString& prefix,
                                const QString& suffix, Text text)
{
    if (!refs) {
        noAccessor(text);
        return;
    }
    for (qsizetype i = 0; i < refs->size(); ++i) {
        const TextRef& ref = refs->at(i);
        const QString name = prefix + QString::number(i) + suffix;
        const std::optional<QString> design = designText(name, ref.get());
        if (!design)
            continue;
        const QString result = look(name, *design);
        ref.set(result);
        remember(name, *design, result);
    }
}

void ComponentTranslation::translateMemo()
{
    if (m_name != QLatin1String("AllLabels"))
        return;
    const std::optional<TextRef> memo = memoTextOf(m_component);
    if (!memo) {
        noAccessor(Text::AllLabelsLines);
        return;
    }
    // The lines are one text of the memo.
    const std::optional<QString> design = designText(m_name, memo->get());
    if (!design || design->isEmpty())
        return;
    QStringList lines = design->split(QLatin1Char('\n'));
    for (qsizetype i = 0; i < lines.size(); ++i)
        lines[i] = look(m_name + QStringLiteral("_i") + QString::number(i), lines.at(i));
    const QString result = lines.join(QLatin1Char('\n'));
    memo->set(result);
    remember(m_name, *design, result);
}

void ComponentTranslation::translateConsts()
{
    auto* lc = qobject_cast<TLC*>(m_component);
    if (!lc) {
        noAccessor(Text::ConstsLines);
        return;
    }
    // The lines are one text of the component: design lines and translated lines are kept.
    const QByteArray kept = keptTextProperty(m_name);
    const QVariantList was = lc->property(kept).toList();
    QStringList design = lc->Consts;
    if (was.size() == 2) {
        if (lc->Consts != was.at(1).toStringList())
            return;
        design = was.at(0).toStringList();
    }
    const QString stem = m_name + QLatin1Char('.');
    QStringList lines = design;
    for (QString& line : lines)
        line = look(TLCLineKey(stem, line), line);
    lc->Consts = lines;
    lc->setProperty(kept, QVariantList{design, lines});
}

void ComponentTranslation::translate(Text text)
{
    const QString hint = m_name + QStringLiteral("_HINT");
    switch (text) {
    case Text::None:
        break;
    case Text::Caption:
    case Text::CaptionIfSet:
        one(captionOf(m_component), m_name, text == Text::CaptionIfSet, text);
        break;
    case Text::FormCaption:
        one(captionOf(m_component), QString(), false, text);
        break;
    case Text::Hint:
    case Text::HintIfSet:
        one(hintOf(m_component), hint, text == Text::HintIfSet, text);
        break;
    case Text::Title:
        one(titleOf(m_component), m_name, false, text);
        break;
    case Text::Items:
        list(radioItemsOf(m_component), m_name + QStringLiteral("_i"), QString(), text);
        break;
    case Text::AllLabelsLines:
        translateMemo();
        break;
    case Text::ConstsLines:
        translateConsts();
        break;
    case Text::GridTitles:
        list(columnTitlesOf(m_component), m_name + QStringLiteral(".Columns.Items["),
             QStringLiteral("].Title.Caption"), text);
        break;
    case Text::ListColumns:
        list(columnTitlesOf(m_component), m_name + QStringLiteral(".Columns.Items["),
             QStringLiteral("].Caption"), text);
        break;
    case Text::Tabs:
        list(tabsOf(m_component), m_name + QStringLiteral(".Tabs.Strings["), QStringLiteral("]"),
             text);
        break;
    case Text::Pages:
        list(qobject_cast<QTabWidget*>(m_component) ? tabsOf(m_component) : std::nullopt,
             m_name + QStringLiteral(".Pages["), QStringLiteral("].Caption"), text);
        break;
    case Text::ReportText:
    case Text::ReportTitle:
        // The report components are not built: no form has one yet.
        noAccessor(text);
        break;
    }
}

void ComponentTranslation::adaptFonts(Font font) const
{
    auto* widget = qobject_cast<QWidget*>(m_component);
    if (!widget)
        return;
    switch (font) {
    case Font::None:
        break;
    case Font::Own:
        SetLanguageFont(widget, m_language);
        break;
    case Font::Grid:
        SetLanguageFont(widget, m_language);
        if (auto* table = qobject_cast<QTableView*>(widget))
            SetLanguageFont(table->horizontalHeader(), m_language);
        break;
    case Font::TabFont:
        if (auto* tabs = qobject_cast<QTabWidget*>(widget))
            SetLanguageFont(tabs->tabBar(), m_language);
        else if (auto* bar = qobject_cast<QTabBar*>(widget))
            SetLanguageFont(bar, m_language);
        break;
    }
}

} // namespace

void SetLanguageFont(QWidget* widget, TInternationalLang language)
{
    // Russian needs no character set of its own in Qt: only the face name rule remains.
    if (language != 2 || !widget)
        return;
    QFont font = widget->font();
    if (font.family().toUpper() == QLatin1String("MS SANS SERIF")) {
        font.setFamily(QStringLiteral("Arial"));
        widget->setFont(font);
    }
}

void TranslateComponent(QObject* form, QObject* component, TInternationalLang language)
{
    if (!form || !component)
        return;
    const QString kind = component == form && qobject_cast<TForm*>(form)
                             ? QStringLiteral("TForm")
                             : component->property("componentClass").toString();
    if (kind.isEmpty())
        return;
    ComponentTranslation translation(form, component, language, kind);
    for (const Row& row : Rows) {
        if (!kindIs(kind, row.kind))
            continue;
        translation.adaptFonts(row.font);
        for (Text text : row.texts)
            translation.translate(text);
    }
}
