// The table of every text of the translatable forms with its French and English translations.
#pragma once

#include <QString>

// Writes FileName (ANSI, CR LF): for each translatable class, the texts its instances show that
// its registered parent does not (the form's caption always counts), under a line "; " and the
// class chain ("; TChild<=TParent"), preceded by an empty line; one line per text with a default,
// each field followed by a tab: class, name, component class, default text, the translation of the
// French statement file, that of the English one (empty where the file or the statement is
// missing). The dictionary is reloaded from TranslationFileName afterwards, whatever happens.
void ExportTranslationTable(const QString& FileName, const QString& FrenchFile,
                            const QString& EnglishFile);
