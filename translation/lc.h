// TLC, the numbered-texts component: a form's or data module's messages kept as numbered lines
// ("17=<Aucun>") that travel and are translated with their owner, and the owner's hook into the
// translator when an instance of it is created.
#pragma once

#include <platform/ui/forms.h>
#include <platform/variant.h>
#include <translation/language.h>

#include <QObject>
#include <QStringList>
#include <functional>

using TGetConstProc = std::function<void(QObject* sender, TInternationalLang lang, int index,
                                         const VariantList& args, QString& lcString)>;

class TLC : public QObject
{
    Q_OBJECT

public:
    // A TLC is created as one of its owner's components. When the owner is a form, its OnCreate
    // and OnPaint are taken over (a data module's OnCreate only): the handlers already assigned
    // are kept and handed back once the owner is translated. Any other owner, or none, gets no
    // hook; the texts work all the same.
    explicit TLC(QObject* owner = nullptr);
    ~TLC() override;

    // The numbered lines: a number, "=" and the text. Assigning copies the lines.
    QStringList Consts;
    // True: the owner's own OnCreate runs before the translation; false: after it.
    bool PredCreate = false;
    // Translate the owner when it is created.
    bool Translate = true;
    TGetConstProc OnGetConst;
    TNotifyEvent BeforeTranslate;
    TNotifyEvent GlobalTranslate;

    // The text of the first line numbered `Index`; empty when there is none.
    QString GetConst(int Index) const;
    // GetConst(Index) formatted with `Args`, then offered to OnGetConst, which may replace it.
    // Placeholders that do not fit the arguments raise EConvertError.
    QString GetConstFmt(int Index, const VariantList& Args);

    // The number of a line, and its text. Blanks before the first "=" are skipped and the text
    // is everything after it, unchanged; a line without "=" is all text, and its number is made
    // of its non-blank characters. A number that is empty or not a decimal integer gives -1.
    static int ParseConstLine(const QString& line, QString& text);

private:
    // The owner's hooks.
    void OwnerCreate(QObject* Sender);
    void OwnerPaint(QObject* Sender);
    void CallOwnerCreate(QObject* Sender, bool skip);
    // Due only when the owner's texts are not in the language the program runs in.
    bool translationDue() const;
    void fireTranslateEvents();

    TInternationalLang m_formLanguage = 0;
    TNotifyEvent m_savedOnCreate;
    TNotifyEvent m_savedOnPaint;
};
