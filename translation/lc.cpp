// The numbered-texts component: reading numbered lines, formatting them, and the hooks it puts
// on its owner's OnCreate and OnPaint so that every new instance of the owner is translated.
#include "lc.h"

#include <platform/format.h>

#include <QPointer>
#include <climits>

namespace {

// Strictly a decimal integer with an optional sign that fits an int; -1 otherwise.
int decimalOrMinusOne(const QString& digits)
{
    qsizetype i = 0;
    bool negative = false;
    if (i < digits.size() &&
        (digits.at(i) == QLatin1Char('+') || digits.at(i) == QLatin1Char('-'))) {
        negative = digits.at(i) == QLatin1Char('-');
        ++i;
    }
    if (i == digits.size())
        return -1;
    qint64 value = 0;
    for (; i < digits.size(); ++i) {
        const char16_t c = digits.at(i).unicode();
        if (c < u'0' || c > u'9')
            return -1;
        value = value * 10 + (c - u'0');
        if (value > qint64(INT_MAX) + 1)
            return -1;
    }
    if (negative)
        value = -value;
    if (value > INT_MAX || value < INT_MIN)
        return -1;
    return int(value);
}

} // namespace

TLC::TLC(QObject* owner) : QObject(owner)
{
    // The hooks hold the component weakly: a component deleted before its owner leaves a
    // harmless hook behind.
    const QPointer<TLC> self(this);
    const TNotifyEvent createHook = [self](QObject* sender) {
        if (self)
            self->OwnerCreate(sender);
    };
    if (auto* form = qobject_cast<TForm*>(owner)) {
        m_savedOnCreate = form->OnCreate;
        form->OnCreate = createHook;
        m_savedOnPaint = form->OnPaint;
        form->OnPaint = [self](QObject* sender) {
            if (self)
                self->OwnerPaint(sender);
        };
    } else if (auto* module = qobject_cast<TDataModule*>(owner)) {
        m_savedOnCreate = module->OnCreate;
        module->OnCreate = createHook;
    }
}

TLC::~TLC() = default;

int TLC::ParseConstLine(const QString& line, QString& text)
{
    QString number;
    for (qsizetype i = 0; i < line.size(); ++i) {
        const QChar c = line.at(i);
        if (c == QLatin1Char(' '))
            continue;
        if (c == QLatin1Char('=')) {
            text = line.mid(i + 1);
            return decimalOrMinusOne(number);
        }
        number += c;
    }
    text = line;
    return decimalOrMinusOne(number);
}

QString TLC::GetConst(int Index) const
{
    for (const QString& line : Consts) {
        QString text;
        if (ParseConstLine(line, text) == Index)
            return text;
    }
    return QString();
}

QString TLC::GetConstFmt(int Index, const VariantList& Args)
{
    QString result = Format(GetConst(Index), Args);
    if (const TGetConstProc handler = OnGetConst)
        handler(this, CurrentLanguage, Index, Args, result);
    return result;
}

bool TLC::translationDue() const
{
    return m_formLanguage != CurrentLanguage || ForceTranslate == 1;
}

void TLC::fireTranslateEvents()
{
    if (CollectingTexts) {
        if (const TNotifyEvent global = GlobalTranslate)
            global(this);
        else if (const TNotifyEvent before = BeforeTranslate)
            before(this);
    }
    // Each fires at most once in the component's life.
    BeforeTranslate = nullptr;
    GlobalTranslate = nullptr;
}

void TLC::OwnerCreate(QObject* Sender)
{
    QObject* owner = parent();
    auto* form = qobject_cast<TForm*>(owner);
    auto* module = qobject_cast<TDataModule*>(owner);
    // A form created only to have its texts read does no work of its own.
    if (CollectingTexts && form)
        form->OnResize = nullptr;
    if (PredCreate)
        CallOwnerCreate(Sender, false);
    if (translationDue()) {
        fireTranslateEvents();
        if (Translate)
            TranslateForm(owner, CurrentLanguage);
    }
    if (CollectingTexts) {
        if (form)
            form->OnDestroy = nullptr;
        else if (module)
            module->OnDestroy = nullptr;
    }
    if (!PredCreate)
        CallOwnerCreate(Sender, CollectingTexts != 0);
}

void TLC::CallOwnerCreate(QObject* Sender, bool skip)
{
    if (!m_savedOnCreate || skip)
        return;
    // The owner's handler takes its place back before it runs: the hook serves once.
    const TNotifyEvent handler = m_savedOnCreate;
    if (auto* form = qobject_cast<TForm*>(parent()))
        form->OnCreate = handler;
    else if (auto* module = qobject_cast<TDataModule*>(parent()))
        module->OnCreate = handler;
    handler(Sender);
}

void TLC::OwnerPaint(QObject* Sender)
{
    if (translationDue() && TranslatingAllForms) {
        fireTranslateEvents();
        TranslateForm(parent(), CurrentLanguage);
    }
    if (m_savedOnPaint && !TranslatingAllForms) {
        const TNotifyEvent handler = m_savedOnPaint;
        if (auto* form = qobject_cast<TForm*>(parent()))
            form->OnPaint = handler;
        handler(Sender);
    }
}
