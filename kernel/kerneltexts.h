// The kernel's user-interface texts: the message variables its code reads and the texts of its
// search and filter grid. The kernel texts module of the schema tools (TLCC) fills both from its
// numbered texts, translated, when it is created; the program creates none, so the grid keeps
// its French texts and each message is read from its own French text.
#pragma once

#include <QString>
#include <QStringList>

// The message variables, each filled from one numbered text of the kernel texts module: the
// system messages 1 to 23, 26 and 27, and query template text 3.
enum class TKrnMsg {
    DeleteRecord,      // sys_msg 1
    FieldRequired,     // sys_msg 2
    AlreadyExists,     // sys_msg 3
    CannotAssignId,    // sys_msg 4
    UsedInTable,       // sys_msg 5
    UserNotRegistered, // sys_msg 6
    UnknownUser,       // sys_msg 7
    Reconnect,         // sys_msg 8
    RecordMissing,     // sys_msg 9
    Search,            // sys_msg 10
    Code,              // sys_msg 11
    OpenedByModule,    // sys_msg 12
    TableChanged,      // sys_msg 13
    Ok,                // sys_msg 14
    Cancel,            // sys_msg 15
    FieldFormat,       // sys_msg 16: a field value the field cannot take
    OutOfRange,        // sys_msg 17
    CopyRecord,        // sys_msg 18
    ModifiedByOther,   // sys_msg 19
    NoReferenceNumber, // sys_msg 20
    GreaterThan,       // sys_msg 21
    InProgress,        // sys_msg 22
    EmptySelection,    // sys_msg 23
    Saving,            // sys_msg 26
    CannotDelete,      // sys_msg 27
    EmptySetContinue,  // db_sql 3
};
constexpr int KernelMessageCount = int(TKrnMsg::EmptySetContinue) + 1;

// Where a message variable takes its text from.
struct TKrnMsgSource
{
    const char* family; // "sys_msg" or "db_sql"
    int number;
};
TKrnMsgSource KernelMessageSource(TKrnMsg message);

// The numbered texts of the two families, as the kernel texts module holds them before any
// translation: sys_msg 1 to 27 and db_sql 1 to 5 (item i holds text i + 1).
const QStringList& SysMsgTexts();
const QStringList& DbSqlTexts();

// The variable itself: empty until the kernel texts module fills it, and again after the program
// ends. Main thread only.
QString KernelMessageVariable(TKrnMsg message);
void SetKernelMessageVariable(TKrnMsg message, const QString& text);
// What the kernel shows: the variable, or its own text while the variable is empty.
QString KernelMessage(TKrnMsg message);

// The grid texts, numbered 1 to 36: French until the kernel texts module replaces them. A number
// outside gives an empty text (and changes nothing).
constexpr int GridTextCount = 36;
QString GridText(int number);
void SetGridText(int number, const QString& text);
// The French texts the grid starts with (item i holds text i + 1).
const QStringList& GridTextDefaults();

// Refuses a text a field cannot take (EConvertError): the field-value format message with the
// field's label.
[[noreturn]] void FieldFormatError(const QString& fieldLabel);
