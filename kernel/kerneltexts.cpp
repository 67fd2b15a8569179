// The kernel's message variables and grid texts with the French texts they fall back on.
#include "kerneltexts.h"

#include <platform/exception.h>
#include <platform/format.h>

#include <array>

namespace {

std::array<QString, KernelMessageCount>& variables()
{
    static std::array<QString, KernelMessageCount> texts;
    return texts;
}

QStringList& gridTexts()
{
    static QStringList texts = GridTextDefaults();
    return texts;
}

} // namespace

TKrnMsgSource KernelMessageSource(TKrnMsg message)
{
    switch (message) {
    case TKrnMsg::Saving:
        return {"sys_msg", 26};
    case TKrnMsg::CannotDelete:
        return {"sys_msg", 27};
    case TKrnMsg::EmptySetContinue:
        return {"db_sql", 3};
    default:
        return {"sys_msg", int(message) + 1};
    }
}

const QStringList& SysMsgTexts()
{
    static const QStringList texts{
        QStringLiteral("Etes-vous certain de vouloir supprimer l'enregistrement"),
        QStringLiteral("Le champ '%s' doit comporter une valeur."),
        QStringLiteral("%s ''%s'' existe déjà."),
        QStringLiteral("Impossible d'attribuer l'identifiant à la table  %s."),
        QStringLiteral("Suppression impossible car '%s' utilisé dans la table '%s'."),
        QStringLiteral("Utilisateur %s n'est pas enregistré dans la base."),
        QStringLiteral("Utilisateur ou mot de passe inconnu."),
        QStringLiteral("Fermer toutes les tables et se reconnecter sous un autre nom ?"),
        QStringLiteral("Enregistrement absent."),
        QStringLiteral("Recherche [%s]"),
        QStringLiteral("Code"),
        QStringLiteral(
            "Impossible de modifer l'enregistrement car il est ouvert par le module %s."),
        QStringLiteral("La table %s a été modifiée et la liste peut contenir des données "
                       "incorrectes. Charger les données du serveur ?"),
        QStringLiteral("&OK"),
        QStringLiteral("&Annuler"),
        QStringLiteral("Le format de la champ '%s' est incorrect."),
        QStringLiteral("%s doit être compris entre entre %d et %d."),
        QStringLiteral("Etes-vous certain de vouloir créer la copie du '%s' ?"),
        QStringLiteral("Sauvegarde des modifications impossible. L'enregistrement a été modifié "
                       "par un autre utilisateur. Recharger ?"),
        QStringLiteral("Impossible de générer le numéro de référence interne."),
        QStringLiteral("%s est supérieur à %s."),
        QStringLiteral("%s en cours..."),
        QStringLiteral("La sélection est vide. Essayez de changer les critères de sélection."),
        QStringLiteral("date"),
        QStringLiteral("montant"),
        QStringLiteral("Сохранение данных..."),
        QStringLiteral("Невозможно удалить запись, так как она используется в таблице '%s'.")};
    return texts;
}

const QStringList& DbSqlTexts()
{
    static const QStringList texts{
        QStringLiteral("Enregistrer sous"), QStringLiteral("Nom du modèle"),
        QStringLiteral("L'ensemble est vide, continuer quand même ?"),
        QStringLiteral("Modèles de requête"), QStringLiteral("Démarrage")};
    return texts;
}

QString KernelMessageVariable(TKrnMsg message)
{
    return variables().at(size_t(message));
}

void SetKernelMessageVariable(TKrnMsg message, const QString& text)
{
    variables().at(size_t(message)) = text;
}

QString KernelMessage(TKrnMsg message)
{
    const QString& text = variables().at(size_t(message));
    if (!text.isEmpty())
        return text;
    const TKrnMsgSource source = KernelMessageSource(message);
    const QStringList& own = qstrcmp(source.family, "db_sql") == 0 ? DbSqlTexts() : SysMsgTexts();
    return own.value(source.number - 1);
}

const QStringList& GridTextDefaults()
{
    static const QStringList texts{QStringLiteral("Recherche"),
                                   QStringLiteral("&Ignorer le registre"),
                                   QStringLiteral("&Début"),
                                   QStringLiteral("Chercher la sous-chaîne"),
                                   QStringLiteral("Entièrement"),
                                   QStringLiteral("&Ajouter comme filtre"),
                                   QStringLiteral("Recherche en cours"),
                                   QStringLiteral("Attendez svp"),
                                   QStringLiteral("Toujours par dessus"),
                                   QStringLiteral("Couper"),
                                   QStringLiteral("Copier"),
                                   QStringLiteral("Coller"),
                                   QStringLiteral("Supprimer"),
                                   QStringLiteral("Tout sélectionner"),
                                   QStringLiteral("Filtre"),
                                   QStringLiteral("Ajouter"),
                                   QStringLiteral("Supprimer"),
                                   QStringLiteral("Effacer"),
                                   QStringLiteral("ET"),
                                   QStringLiteral("OU"),
                                   QStringLiteral("Champ"),
                                   QStringLiteral("Valeur"),
                                   QStringLiteral("Existant"),
                                   QStringLiteral("Champ"),
                                   QStringLiteral("<non défini>"),
                                   QStringLiteral("Egal"),
                                   QStringLiteral("Différent de"),
                                   QStringLiteral("Supérieur à"),
                                   QStringLiteral("Sup/Egal à"),
                                   QStringLiteral("Inférieur à"),
                                   QStringLiteral("Inf/Egal à"),
                                   QStringLiteral("Commence par"),
                                   QStringLiteral("Vide"),
                                   QStringLiteral("OK"),
                                   QStringLiteral("Annuler"),
                                   QStringLiteral("Non vide")};
    return texts;
}

QString GridText(int number)
{
    return number >= 1 && number <= GridTextCount ? gridTexts().at(number - 1) : QString();
}

void SetGridText(int number, const QString& text)
{
    if (number >= 1 && number <= GridTextCount)
        gridTexts()[number - 1] = text;
}

void FieldFormatError(const QString& fieldLabel)
{
    throw EConvertError(Format(KernelMessage(TKrnMsg::FieldFormat), {fieldLabel}));
}
