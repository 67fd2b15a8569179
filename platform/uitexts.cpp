// The platform's user-facing texts in each of the program's languages, in one table.
#include "uitexts.h"

#include <iterator>

namespace {

struct Entry
{
    UiText id;
    const char16_t* english; // also the text with no language set
    const char16_t* french;
    const char16_t* russian;
};

// In the order of UiText.
constexpr Entry kTexts[] = {
    {UiText::Warning, u"Warning", u"Avertissement", u"Предупреждение"},
    {UiText::Error, u"Error", u"Erreur", u"Ошибка"},
    {UiText::Information, u"Information", u"Information", u"Информация"},
    {UiText::Confirm, u"Confirm", u"Confirmation", u"Подтверждение"},
    {UiText::AllButton, u"&All", u"&Tous", u"&Все"},
    {UiText::UnknownException, u"Unknown exception", u"Exception inconnue",
     u"Неизвестное исключение"},
    {UiText::NoFolderName, u"Cannot create a folder: no folder name is given",
     u"Impossible de créer un dossier : aucun nom de dossier n'est donné",
     u"Невозможно создать папку: имя папки не задано"},
    {UiText::CannotCreateFolder, u"Cannot create the folder \"%1\": %2",
     u"Impossible de créer le dossier \"%1\" : %2", u"Невозможно создать папку \"%1\": %2"},
    {UiText::CannotWrite, u"cannot write %1", u"impossible d'écrire %1", u"невозможно записать %1"},
    {UiText::CannotAppend, u"cannot append to %1", u"impossible d'ajouter à %1",
     u"невозможно дописать в %1"},
    {UiText::CannotRename, u"cannot rename %1 to %2", u"impossible de renommer %1 en %2",
     u"невозможно переименовать %1 в %2"},
    {UiText::CannotMove, u"cannot move %1 to %2", u"impossible de déplacer %1 vers %2",
     u"невозможно переместить %1 в %2"},
    {UiText::CannotCopy, u"cannot copy %1 to %2", u"impossible de copier %1 vers %2",
     u"невозможно скопировать %1 в %2"},
    {UiText::CannotRemove, u"cannot remove %1", u"impossible de supprimer %1",
     u"невозможно удалить %1"},
    {UiText::CannotFlush, u"cannot flush %1", u"impossible d'écrire %1 sur le disque",
     u"невозможно записать %1 на диск"},
    {UiText::NotARegularFile, u"it is not a regular file", u"ce n'est pas un fichier ordinaire",
     u"это не обычный файл"},
    {UiText::NoSuchFile, u"the file or folder does not exist",
     u"le fichier ou le dossier n'existe pas", u"файл или папка не существует"},
    {UiText::NotAFolder, u"a part of the path is not a folder",
     u"une partie du chemin n'est pas un dossier", u"часть пути не является папкой"},
    {UiText::IsAFolder, u"it is a folder", u"c'est un dossier", u"это папка"},
    {UiText::AlreadyExists, u"it already exists", u"il existe déjà", u"он уже существует"},
    {UiText::FolderNotEmpty, u"the folder is not empty", u"le dossier n'est pas vide",
     u"папка не пуста"},
    {UiText::AccessDenied, u"access is denied", u"l'accès est refusé", u"доступ запрещён"},
    {UiText::ReadOnlyFileSystem, u"the file system is read-only",
     u"le système de fichiers est en lecture seule",
     u"файловая система доступна только для чтения"},
    {UiText::DiskFull, u"the disk is full", u"le disque est plein", u"диск заполнен"},
    {UiText::QuotaExceeded, u"the disk quota is exceeded", u"le quota disque est dépassé",
     u"превышена дисковая квота"},
    {UiText::InputOutputError, u"an input/output error occurred",
     u"une erreur d'entrée/sortie s'est produite", u"произошла ошибка ввода-вывода"},
    {UiText::FileInUse, u"the file is in use", u"le fichier est en cours d'utilisation",
     u"файл используется"},
    {UiText::DifferentFileSystems, u"the paths are on different file systems",
     u"les chemins sont sur des systèmes de fichiers différents",
     u"пути находятся в разных файловых системах"},
    {UiText::NameTooLong, u"the name is too long", u"le nom est trop long", u"имя слишком длинное"},
    {UiText::TooManyOpenFiles, u"too many files are open", u"trop de fichiers sont ouverts",
     u"открыто слишком много файлов"},
    {UiText::TooManyLinks, u"too many levels of symbolic links",
     u"trop de niveaux de liens symboliques", u"слишком много уровней символических ссылок"},
    {UiText::FileTooLarge, u"the file is too large", u"le fichier est trop volumineux",
     u"файл слишком велик"},
    {UiText::StaleNetworkHandle, u"the network file handle is no longer valid",
     u"le descripteur de fichier réseau n'est plus valide",
     u"сетевой дескриптор файла больше не действителен"},
    {UiText::NotPossibleOnFile, u"the operation is not possible on this file",
     u"l'opération n'est pas possible sur ce fichier", u"операция невозможна для этого файла"},
    {UiText::SystemError, u"%1 (error %2)", u"%1 (erreur %2)", u"%1 (ошибка %2)"},
    {UiText::CannotReadSettings, u"Cannot read the settings file \"%1\" (%2); it is left unchanged",
     u"Impossible de lire le fichier de paramètres \"%1\" (%2) ; il reste inchangé",
     u"Невозможно прочитать файл настроек \"%1\" (%2); он оставлен без изменений"},
    {UiText::CannotWriteSettings, u"Cannot write the settings file \"%1\": %2",
     u"Impossible d'écrire le fichier de paramètres \"%1\" : %2",
     u"Невозможно записать файл настроек \"%1\": %2"},
    {UiText::LogNotWritten,
     u"The operations log \"%1\" cannot be written (%2); its lines go to standard error until "
     u"it can be written again",
     u"Le journal des opérations \"%1\" ne peut pas être écrit (%2) ; ses lignes vont sur la "
     u"sortie d'erreur standard jusqu'à ce qu'il puisse l'être de nouveau",
     u"Невозможно записать журнал операций \"%1\" (%2); его строки выводятся в стандартный "
     u"поток ошибок, пока запись не станет снова возможной"},
    {UiText::TableInUse, u"Table is busy: %1 is in use by another user",
     u"Table occupée : %1 est utilisée par un autre utilisateur",
     u"Таблица занята: %1 используется другим пользователем"},
    {UiText::CannotOpenLockFile, u"Cannot open the lock file %1: %2",
     u"Impossible d'ouvrir le fichier de verrou %1 : %2",
     u"Невозможно открыть файл блокировки %1: %2"},
    {UiText::CannotLockTable, u"Cannot lock table %1: %2",
     u"Impossible de verrouiller la table %1 : %2", u"Невозможно заблокировать таблицу %1: %2"},
    {UiText::DatabaseBusy, u"Table or database is busy (held by another connection): %1",
     u"Table ou base de données occupée (tenue par une autre connexion) : %1",
     u"Таблица или база данных занята (удерживается другим соединением): %1"},
    {UiText::DatabaseDamaged, u"The database file is damaged: %1",
     u"Le fichier de la base de données est endommagé : %1", u"Файл базы данных повреждён: %1"},
    {UiText::DatabaseNotFound, u"Database file not found: %1",
     u"Fichier de base de données introuvable : %1", u"Файл базы данных не найден: %1"},
    {UiText::TableNotFound, u"Table does not exist: %1", u"La table n'existe pas : %1",
     u"Таблица не существует: %1"},
    {UiText::SerialPortCannotOpen,
     u"The serial port %1 (%2) cannot be opened: %3.\nThe source stays active: the port is tried "
     u"again every %4 seconds.",
     u"Le port série %1 (%2) ne peut pas être ouvert : %3.\nLa source reste active : l'ouverture "
     u"du port est réessayée toutes les %4 secondes.",
     u"Невозможно открыть последовательный порт %1 (%2): %3.\nИсточник остаётся активным: "
     u"порт открывается повторно каждые %4 с."},
    {UiText::SerialPortNotOpen, u"Serial port %1 (%2) not open: %3",
     u"Port série %1 (%2) non ouvert : %3", u"Последовательный порт %1 (%2) не открыт: %3"},
    {UiText::SerialNotConnected, u"not connected", u"non connecté", u"не подключён"},
    {UiText::SerialNoSuchDevice, u"no such serial device", u"aucun périphérique série de ce nom",
     u"нет последовательного устройства с таким именем"},
    {UiText::SerialAccessDenied, u"permission to open the serial device denied",
     u"accès au périphérique série refusé", u"доступ к последовательному устройству запрещён"},
    {UiText::SerialInUse, u"the serial device is in use", u"le périphérique série est déjà utilisé",
     u"последовательное устройство уже используется"},
    {UiText::SerialDeviceGone, u"the serial device went away", u"le périphérique série a disparu",
     u"последовательное устройство отключено"},
    {UiText::SerialSettingRefused, u"the device refuses a line setting",
     u"le périphérique refuse un réglage de la ligne", u"устройство не принимает настройку линии"},
    {UiText::SerialLineFailure, u"serial line failure", u"défaillance de la ligne série",
     u"сбой последовательной линии"},
    {UiText::CredentialNotInCodePage,
     u"The user name or password holds characters that code page %1 cannot store",
     u"Le nom d'utilisateur ou le mot de passe contient des caractères que la page de codes %1 "
     u"ne peut pas enregistrer",
     u"Имя пользователя или пароль содержат символы, которые кодовая страница %1 не может "
     u"сохранить"},
    {UiText::ValueNotValid, u"\"%2\" is not a valid value for the field \"%1\"",
     u"\"%2\" n'est pas une valeur valable pour le champ \"%1\"",
     u"\"%2\" не является допустимым значением поля \"%1\""},
    {UiText::TextNotInCodePage, u"Code page %1 cannot hold these characters: %2",
     u"La page de codes %1 ne peut pas contenir ces caractères : %2",
     u"Кодовая страница %1 не может содержать эти символы: %2"},
    {UiText::CellTextTooLong,
     u"The text of cell %1 of the sheet \"%2\" is too long for a workbook: it takes %3 characters "
     u"in the file, and a cell holds %4 at most",
     u"Le texte de la cellule %1 de la feuille \"%2\" est trop long pour un classeur : il occupe "
     u"%3 caractères dans le fichier, et une cellule en contient %4 au plus",
     u"Текст ячейки %1 на листе \"%2\" слишком длинный для книги: его длина в файле — %3, а "
     u"ячейка вмещает не более %4 символов"},
    {UiText::NetHostNotFound, u"The server %1 cannot be found", u"Le serveur %1 est introuvable",
     u"Сервер %1 не найден"},
    {UiText::NetConnectionRefused, u"The server %1 refuses connections on port %2",
     u"Le serveur %1 refuse les connexions sur le port %2",
     u"Сервер %1 не принимает соединения на порту %2"},
    {UiText::NetNoAnswer, u"No answer from the server %1 within %2 s",
     u"Pas de réponse du serveur %1 en %2 s", u"Нет ответа от сервера %1 в течение %2 с"},
    {UiText::NetStalled, u"Nothing moved on the connection to %1 for %2 s",
     u"Rien n'a circulé sur la connexion avec %1 pendant %2 s",
     u"По соединению с %1 ничего не передавалось %2 с"},
    {UiText::NetNotFinished, u"The server %1 did not finish within %2 s",
     u"Le serveur %1 n'a pas terminé en %2 s", u"Сервер %1 не завершил работу за %2 с"},
    {UiText::NetNotDisconnected, u"The connection to %1 did not close within %2 s",
     u"La connexion avec %1 ne s'est pas fermée en %2 s", u"Соединение с %1 не закрылось за %2 с"},
    {UiText::NetLoginRefused, u"The server %1 refused the user name or the password",
     u"Le serveur %1 a refusé le nom d'utilisateur ou le mot de passe",
     u"Сервер %1 отклонил имя пользователя или пароль"},
    {UiText::NetCommandRefused, u"The server %1 refused the request",
     u"Le serveur %1 a refusé la demande", u"Сервер %1 отклонил запрос"},
    {UiText::NetConnectionLost, u"The connection to %1 was lost",
     u"La connexion avec %1 a été perdue", u"Соединение с %1 потеряно"},
    {UiText::NetFileNotRead, u"The file \"%1\" cannot be read: %2",
     u"Le fichier \"%1\" ne peut pas être lu : %2", u"Невозможно прочитать файл \"%1\": %2"},
    {UiText::NetFileNotWritten, u"The file \"%1\" cannot be written: %2",
     u"Le fichier \"%1\" ne peut pas être écrit : %2", u"Невозможно записать файл \"%1\": %2"},
};

constexpr bool inOrder()
{
    for (std::size_t i = 0; i < std::size(kTexts); ++i) {
        if (static_cast<std::size_t>(kTexts[i].id) != i)
            return false;
    }
    return static_cast<std::size_t>(UiText::NetFileNotWritten) + 1 == std::size(kTexts);
}
static_assert(inOrder(), "one entry per text, in the order of UiText");

int s_language = 0;

} // namespace

void setUiTextLanguage(int language)
{
    s_language = language;
}

int uiTextLanguage()
{
    return s_language;
}

QString uiText(UiText text)
{
    return uiText(text, s_language);
}

QString uiText(UiText text, int language)
{
    const Entry& entry = kTexts[static_cast<std::size_t>(text)];
    switch (language) {
    case 1:
        return QString::fromUtf16(entry.french);
    case 2:
        return QString::fromUtf16(entry.russian);
    default:
        return QString::fromUtf16(entry.english);
    }
}
