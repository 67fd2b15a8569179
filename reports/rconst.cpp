// The report engine's messages and the engine's own French texts for them.
#include "rconst.h"

#include "repproc.h"

#include <platform/format.h>
#include <translation/lc.h>

TLC* ReportEngineLC()
{
    static TLC* const lc = [] {
        // Lives as long as the program: the messages may be asked for until its very end.
        auto* c = new TLC();
        c->Translate = false;
        c->Consts = QStringList{
            QStringLiteral("12=Argument manquant dans la fonction d'agrégat"),
            QStringLiteral("13=Fin d'expression attendue"),
            QStringLiteral("14=« ) » attendue"),
            QStringLiteral("15=« ( » attendue"),
            QStringLiteral("16=Fin de texte dans un nom entre crochets ou une chaîne"),
            QStringLiteral("17=Caractère inattendu « %s »"),
            QStringLiteral("18=Opérateur sans opérande"),
            QStringLiteral("19=L'opérateur « %s » ne peut pas être unaire"),
            QStringLiteral("20=Opérande attendu au lieu de « %s »"),
            QStringLiteral("21=Fonction d'agrégat dans une autre"),
            QStringLiteral("22=Nom inconnu ou valeur non cumulable : « %s »"),
            QStringLiteral("23=Champ hors d'une fonction d'agrégat dans un total"),
            QStringLiteral("24=Expression invalide"),
            // Raised with the two operand texts and without arguments: no directive.
            QStringLiteral("25=Types incompatibles"),
            QStringLiteral("27=Référence circulaire dans le champ virtuel « %s »"),
            QStringLiteral("28=Expression trop imbriquée (plus de 256 niveaux)"),
        };
        return c;
    }();
    return lc;
}

QString GetRptMessage(int Id)
{
    if (!ReportLCObtained) {
        ReportLCObtained = true;
        ReportLC = OnGetReportLC ? OnGetReportLC() : nullptr;
    }
    return ReportLC ? ReportLC->GetConst(Id) : QString();
}

QString FormatRptMessage(int Id, const VariantList& Args)
{
    const QString text = GetRptMessage(Id);
    try {
        return Format(text, Args);
    } catch (const EConvertError&) {
        return text;
    }
}
