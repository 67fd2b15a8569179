// The codes of the database engine's errors (EngineError::Entry::errorCode): a category in the
// high byte and a sub-code in the low byte. Every code the program gives or reacts to is here.
#pragma once

namespace EngineCode {

// ---- conditions the program reacts to, under the codes it has always known them by
constexpr int Locked = 0x2B33;       // a table or file is held by another connection
constexpr int RecordLocked = 0x2801; // a record is locked by another user
// A damaged table: the program treats every code of this family alike. SQLite's damaged-file
// errors give the first two; no driver here gives the others, but the program still knows them.
constexpr int DamagedData = 0x2201;  // the database file's content is damaged
constexpr int NotADatabase = 0x2302; // the file is not a database, or its header is damaged
constexpr int DamagedTable[] = {DamagedData, NotADatabase, 0x2B06, 0x2F02, 0x3302};

constexpr bool isDamagedTable(int code)
{
    for (const int c : DamagedTable) {
        if (c == code)
            return true;
    }
    return false;
}

// ---- the engine's own conditions, which no driver reports under a code of its own (any code is
// allowed for them; these keep clear of the codes above)
constexpr int KeyViolation = 0x2601;   // a unique index refused a row
constexpr int RequiredField = 0x2604;  // a required field is missing a value
constexpr int NotFound = 0x2701;       // table, index or field not found
constexpr int AlreadyExists = 0x2702;  // table, index or field already exists
constexpr int InvalidRequest = 0x3101; // SQL error or bad parameters
constexpr int CannotOpen = 0x2104;     // database file cannot be opened or created
constexpr int IoError = 0x2101;        // read or write of the database file failed

} // namespace EngineCode
