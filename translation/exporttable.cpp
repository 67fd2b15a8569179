// The export of the translation table: every text of the translatable forms, read by creating each
// class in text-collecting mode, with its translations from two statement files.
#include "exporttable.h"

#include "dictionary.h"
#include "language.h"

#include <platform/codepage.h>
#include <platform/exception.h>
#include <platform/fileops.h>

#include <QMetaObject>
#include <QScopeGuard>
#include <QSet>

namespace {

struct Gathered
{
    const TFormClass* formClass;
    TCollectedText text;
    QString french;
    QString english;
};

QList<Gathered> gatherTexts()
{
    QList<Gathered> gathered;
    for (const TFormClass& formClass : std::as_const(TranslatableForms())) {
        QSet<QString> inherited;
        const QMetaObject* parent =
            formClass.MetaObject ? formClass.MetaObject->superClass() : nullptr;
        if (!IsFormBaseClass(parent)) {
            if (const TFormClass* registeredParent = FindTranslatableForm(parent)) {
                for (const TCollectedText& text : CollectFormTexts(*registeredParent)) {
                    if (!text.Name.isEmpty())
                        inherited.insert(codepage::upper(text.Name));
                }
            }
        }
        for (const TCollectedText& text : CollectFormTexts(formClass)) {
            if (!inherited.contains(codepage::upper(text.Name)))
                gathered.append({&formClass, text, QString(), QString()});
        }
    }
    return gathered;
}

// The translation of each gathered text in one statement file, by its own class and name.
void readTranslations(QList<Gathered>& gathered, const QString& fileName, QString Gathered::*column)
{
    TranslationFileName = fileName;
    LoadTranslations();
    for (Gathered& g : gathered) {
        const int found = FindTranslation(g.formClass->ClassName, g.text.Name);
        if (found >= 0)
            g.*column = TranslationText(found);
    }
}

QString classChain(const TFormClass& formClass)
{
    QString chain = QStringLiteral("; ") + formClass.ClassName;
    for (const TFormClass* ancestor : RegisteredAncestors(formClass.MetaObject))
        chain += QStringLiteral("<=") + ancestor->ClassName;
    return chain;
}

} // namespace

void ExportTranslationTable(const QString& FileName, const QString& FrenchFile,
                            const QString& EnglishFile)
{
    QList<Gathered> gathered = gatherTexts();
    {
        const QString saved = TranslationFileName;
        const auto restore = qScopeGuard([&saved] {
            TranslationFileName = saved;
            LoadTranslations();
        });
        readTranslations(gathered, FrenchFile, &Gathered::french);
        readTranslations(gathered, EnglishFile, &Gathered::english);
    }

    QString table;
    const TFormClass* previous = nullptr;
    for (const Gathered& g : std::as_const(gathered)) {
        if (g.formClass != previous) {
            table += QStringLiteral("\r\n") + classChain(*g.formClass) + QStringLiteral("\r\n");
            previous = g.formClass;
        }
        if (g.text.Default.isEmpty())
            continue;
        for (const QString& field : {g.formClass->ClassName, g.text.Name, g.text.ComponentClass,
                                     g.text.Default, g.french, g.english})
            table += field + QLatin1Char('\t');
        table += QStringLiteral("\r\n");
    }
    QString error;
    if (!fileops::writeFile(FileName, codepage::toAnsi(table), &error))
        throw EInOutError(error);
}
