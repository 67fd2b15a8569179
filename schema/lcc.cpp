// The kernel texts module: its eight families of numbered texts, and the copy of the texts the
// kernel reads into the kernel's variables.
#include "lcc.h"

#include <kernel/kerneltexts.h>
#include <translation/lc.h>

namespace {

const QStringList& ListTexts()
{
    static const QStringList texts{QStringLiteral("Fermer liste"),
                                   QStringLiteral("Voir"),
                                   QStringLiteral("Voir l'enregistrement"),
                                   QStringLiteral("Ajouter"),
                                   QStringLiteral("Ajouter le nouvel enregistrement"),
                                   QStringLiteral("Modifier"),
                                   QStringLiteral("Modifier l'enregistrement"),
                                   QStringLiteral("Supprimer"),
                                   QStringLiteral("Supprimer l'enregistrement"),
                                   QStringLiteral("Recherche"),
                                   QStringLiteral("Rechercher par valeur de la colonne"),
                                   QStringLiteral("Filtre"),
                                   QStringLiteral("Configuration du filtre"),
                                   QStringLiteral("Activer le filtre"),
                                   QStringLiteral("Désactiver le filtre"),
                                   QStringLiteral("Modifier le filtre"),
                                   QStringLiteral("Effacer le filtre"),
                                   QStringLiteral("Rafraîchir"),
                                   QStringLiteral("Rafraîchir"),
                                   QStringLiteral("Configuration de la fenêtre"),
                                   QStringLiteral("Requête"),
                                   QStringLiteral("Requête"),
                                   QStringLiteral("Modèles"),
                                   QStringLiteral("Copier"),
                                   QStringLiteral("Recherche suivant"),
                                   QStringLiteral("Sélectionner tout"),
                                   QStringLiteral("Désélectionner tout"),
                                   QStringLiteral("Imprimer"),
                                   QStringLiteral("Courrier"),
                                   QStringLiteral("Synchroniser l'arbre et le tableau"),
                                   QStringLiteral("&Synchroniser"),
                                   QStringLiteral("Ajouter..."),
                                   QStringLiteral("Rechercher dans l'arbre"),
                                   QStringLiteral("Visualiser"),
                                   QStringLiteral("Search fields"),
                                   QStringLiteral("Preview"),
                                   QStringLiteral("Options"),
                                   QStringLiteral("Начинается"),
                                   QStringLiteral("Содержит"),
                                   QStringLiteral("Оканчивается"),
                                   QStringLiteral("Равно"),
                                   QStringLiteral("Ignore"),
                                   QStringLiteral("Всего записей"),
                                   QStringLiteral("Загружено"),
                                   QStringLiteral("Отфильтровано"),
                                   QStringLiteral("Групповое редактирование"),
                                   QStringLiteral("Ограничить число записей"),
                                   QStringLiteral("Выбранные пользователем записи"),
                                   QStringLiteral("Доступ закрыт"),
                                   QStringLiteral("Невозможно раскрыть дерево. Доступ закрыт."),
                                   QStringLiteral("Невозможно открыть форму. Доступ закрыт."),
                                   QStringLiteral("Список")};
    return texts;
}

const QStringList& EditTexts()
{
    static const QStringList texts{QStringLiteral("Fermer"),
                                   QStringLiteral("Enregistrement précédent"),
                                   QStringLiteral("Enregistrement suivant"),
                                   QStringLiteral("Enregistrer et créer"),
                                   QStringLiteral("Enregistrer"),
                                   QStringLiteral("Annuler"),
                                   QStringLiteral("%s [voir l'enregistrement]"),
                                   QStringLiteral("%s [nouvel enregistrement]"),
                                   QStringLiteral("%s [modifier l'enregistrement]"),
                                   QStringLiteral("Supprimer l'enregistrement"),
                                   QStringLiteral("Sélectionner"),
                                   QStringLiteral("Désélectionner"),
                                   QStringLiteral("Sélectionner tout"),
                                   QStringLiteral("Désélectionner tout"),
                                   QStringLiteral("Sélection"),
                                   QStringLiteral("Voir document"),
                                   QStringLiteral("Показывать заголовок"),
                                   QStringLiteral("Удалить выбранные записи?"),
                                   QStringLiteral("Удаление записей..."),
                                   QStringLiteral("Невозможно открыть запись. Доступ закрыт.")};
    return texts;
}

const QStringList& GridConstTexts()
{
    static const QStringList texts{QStringLiteral("Искать"),
                                   QStringLiteral("&Не учитывать регистр"),
                                   QStringLiteral("&С начала"),
                                   QStringLiteral("Искать &подстроку"),
                                   QStringLiteral("&Целое слово"),
                                   QStringLiteral("&Добавить к фильтру"),
                                   QStringLiteral("Поиск"),
                                   QStringLiteral("Пожалуйста подождите..."),
                                   QStringLiteral("&Всегда наверху"),
                                   QStringLiteral("Вы&резать"),
                                   QStringLiteral("&Копировать"),
                                   QStringLiteral("&Вставить"),
                                   QStringLiteral("Стере&ть"),
                                   QStringLiteral("Вы&делить все"),
                                   QStringLiteral("Фильтр"),
                                   QStringLiteral("&Добавить"),
                                   QStringLiteral("&Удалить"),
                                   QStringLiteral("&Очистить"),
                                   QStringLiteral("&И"),
                                   QStringLiteral("И&ЛИ"),
                                   QStringLiteral("Условие для поля"),
                                   QStringLiteral("Значение"),
                                   QStringLiteral("Данные"),
                                   QStringLiteral("Поля"),
                                   QStringLiteral("<Не определено>"),
                                   QStringLiteral("Равно"),
                                   QStringLiteral("Не равно"),
                                   QStringLiteral("Больше"),
                                   QStringLiteral("Не больше"),
                                   QStringLiteral("Меньше"),
                                   QStringLiteral("Не меньше"),
                                   QStringLiteral("Начинается с"),
                                   QStringLiteral("Пусто"),
                                   QStringLiteral("Применить"),
                                   QStringLiteral("Отмена"),
                                   QStringLiteral("Заполнено")};
    return texts;
}

} // namespace

TLCC::TLCC(QObject* parent) : TDataModule(parent)
{
    OnCreate = [this](QObject* sender) { LCCCreate(sender); };
    OnDestroy = [this](QObject* sender) { LCCDestroy(sender); };
    LC1 = family("LC1", {QStringLiteral("&Utilisateurs"), QStringLiteral("&Utilisateur"),
                         QStringLiteral("Type:"), QStringLiteral("&Minimiser")});
    db_list = family("db_list", ListTexts());
    db_edit = family("db_edit", EditTexts());
    sys_msg = family("sys_msg", SysMsgTexts());
    db_sql = family("db_sql", DbSqlTexts());
    month =
        family("month",
               {QStringLiteral("Janvier"), QStringLiteral("Février"), QStringLiteral("Mars"),
                QStringLiteral("Avril"), QStringLiteral("Mai"), QStringLiteral("Juin"),
                QStringLiteral("Juillet"), QStringLiteral("Août"), QStringLiteral("Septembre"),
                QStringLiteral("Octobre"), QStringLiteral("Novembre"), QStringLiteral("Décembre")});
    day = family("day", {QStringLiteral("DI"), QStringLiteral("LU"), QStringLiteral("MA"),
                         QStringLiteral("ME"), QStringLiteral("JE"), QStringLiteral("VE"),
                         QStringLiteral("SA")});
    grid_const = family("grid_const", GridConstTexts());
}

TLCC::~TLCC() = default;

TLC* TLCC::family(const char* name, const QStringList& texts)
{
    auto* lc = makeComponent<TLC>(name, "TLC", this);
    lc->PredCreate = false;
    lc->Translate = true;
    for (int i = 0; i < texts.size(); ++i)
        lc->Consts.append(QString::number(i + 1) + QLatin1Char('=') + texts.at(i));
    return lc;
}

void TLCC::LCCCreate(QObject*)
{
    m_list = std::make_unique<QStringList>();
    for (int i = 0; i < KernelMessageCount; ++i) {
        const TKrnMsgSource source = KernelMessageSource(TKrnMsg(i));
        const TLC* texts = qstrcmp(source.family, "db_sql") == 0 ? db_sql : sys_msg;
        SetKernelMessageVariable(TKrnMsg(i), texts->GetConst(source.number));
    }
    for (int n = 1; n <= GridTextCount; ++n)
        SetGridText(n, grid_const->GetConst(n));
}

void TLCC::LCCDestroy(QObject*)
{
    m_list.reset();
}
