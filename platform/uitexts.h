// The platform's own texts that reach the user: the captions and buttons of the dialog service,
// and the reasons given when a file, a folder or the settings file cannot be used. They follow
// the program's language (1 French, 2 Russian, 3 English); with no language set (0) they read as
// written in the table, in English. Arguments are %1, %2, ... as for QString::arg().
#pragma once

#include <QString>

enum class UiText {
    // Dialog captions and the one button without a standard counterpart.
    Warning,
    Error,
    Information,
    Confirm,
    AllButton,
    UnknownException,
    // Folders.
    NoFolderName,
    CannotCreateFolder, // %1 folder, %2 reason
    // What could not be done to a file (%1 the file, %2 the target).
    CannotWrite,
    CannotAppend,
    CannotRename,
    CannotMove,
    CannotCopy,
    CannotRemove,
    CannotFlush,
    NotARegularFile,
    // Why.
    NoSuchFile,
    NotAFolder,
    IsAFolder,
    AlreadyExists,
    FolderNotEmpty,
    AccessDenied,
    ReadOnlyFileSystem,
    DiskFull,
    QuotaExceeded,
    InputOutputError,
    FileInUse,
    DifferentFileSystems,
    NameTooLong,
    TooManyOpenFiles,
    TooManyLinks,
    FileTooLarge,
    StaleNetworkHandle,
    NotPossibleOnFile,
    SystemError, // %1 the system's message, %2 its number
    // The settings file.
    CannotReadSettings,  // %1 file, %2 reason
    CannotWriteSettings, // %1 file, %2 reason
    // The operations log.
    LogNotWritten, // %1 file, %2 reason
    // The database engine.
    TableInUse,         // %1 table
    CannotOpenLockFile, // %1 file, %2 reason
    CannotLockTable,    // %1 table, %2 reason
    DatabaseBusy,       // %1 the engine's own message
    DatabaseDamaged,    // %1 the engine's own message
    DatabaseNotFound,   // %1 file
    TableNotFound,      // %1 table
    // Serial ports.
    SerialPortCannotOpen, // %1 port ("COM1"), %2 device, %3 reason, %4 seconds between attempts
    SerialPortNotOpen,    // %1 port, %2 device, %3 reason
    SerialNotConnected,   // follows a source's state in the sources list
    SerialNoSuchDevice,
    SerialAccessDenied,
    SerialInUse,
    SerialDeviceGone,
    SerialSettingRefused,
    SerialLineFailure,
    // Stored credentials.
    CredentialNotInCodePage, // %1 code page
    // Values and texts.
    ValueNotValid,     // %1 the field as the window names it, %2 the value typed
    TextNotInCodePage, // %1 code page, %2 the characters it cannot hold
    // Workbooks.
    CellTextTooLong, // %1 the cell ("B3"), %2 the sheet, %3 the text's length in the file, %4 the
                     // most a cell holds
    // The network sessions (%1 the host).
    NetHostNotFound,
    NetConnectionRefused, // %2 the port
    NetNoAnswer,          // %2 seconds
    NetStalled,           // %2 seconds
    NetNotFinished,       // %2 seconds
    NetNotDisconnected,   // %2 seconds
    NetLoginRefused,
    NetCommandRefused,
    NetConnectionLost,
    NetFileNotRead,    // %1 the file, %2 the reason
    NetFileNotWritten, // %1 the file, %2 the reason
};

// The language the texts are given in; set once at start-up.
void setUiTextLanguage(int language);
int uiTextLanguage();

QString uiText(UiText text);
// The text in a given language (0 or an unknown code: as written).
QString uiText(UiText text, int language);
