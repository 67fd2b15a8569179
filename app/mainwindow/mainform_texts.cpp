// The main window's numbered texts.
#include "mainform_texts.h"

#include <translation/lc.h>

namespace {
const TLC* g_mainTexts = nullptr;
}

const QStringList& MainFormConsts()
{
    static const QStringList lines{
        QStringLiteral("0=Fichiers"),
        QStringLiteral("1=Breeze"),
        QStringLiteral("2=Imprimante virtuelle (EMF)"),
        QStringLiteral("3=Port série"),
        QStringLiteral("4=Image de l'écran (Impécr)"),
        QStringLiteral("5=Actif"),
        QStringLiteral("6=Passif"),
        QStringLiteral("7=A identifier..."),
        QStringLiteral("8=INTO-reg!!!"),
        QStringLiteral(
            "9=Fermer %S ?%SAttention ! Les services de %S ne seront plus opérationnels !"),
        QStringLiteral("10=Supprimer ce document?"),
        QStringLiteral("11=Supprimer cette source?"),
        QStringLiteral(
            "12=Impossible de modifier la base de données. Elle est bloquée par un autre "
            "utilisateur."),
        QStringLiteral("13=!!!! Lock violation"),
        QStringLiteral("14=Le serveur est surchargé. Vous devez relancer le logiciel."),
        QStringLiteral("15=!!!! Corrupted Database"),
        QStringLiteral("16=Vous devez réparer la base de données.%STous les utilisateurs doivent "
                       "quitter le logiciel."),
        QStringLiteral("17=<Aucun>"),
        QStringLiteral("18=Utilisateur"),
        QStringLiteral("19=Nom de l'utilisateur:"),
        QStringLiteral("20=Envoyé:"),
        QStringLiteral("21=La version du logiciel %Sest incompatible avec la structure de la base "
                       "de données %S."),
        QStringLiteral("22=Voulez-vous effectuer la mise à jour de la structure des données?"),
        QStringLiteral("23=inconnue"),
        QStringLiteral("24=Remote Paradox server does not exist. Execute a standard connection to "
                       "Database?"),
        QStringLiteral("25=Remote Paradox server not started. Execute a standard connection to "
                       "Database?"),
    };
    return lines;
}

const TLC& MainFormTexts()
{
    if (g_mainTexts)
        return *g_mainTexts;
    static TLC* standIn = [] {
        auto* lc = new TLC(nullptr); // lives as long as the program
        lc->Consts = MainFormConsts();
        return lc;
    }();
    return *standIn;
}

void SetMainFormTexts(const TLC* lc)
{
    g_mainTexts = lc;
}
