// Calculated and lookup pseudo-fields of a request, written as select items "CALC(NAME.TYPE)" and
// "LOOK(NAME.TABLE.RESULT[.KEYS])": their parsing, and the typed null column that stands for them
// in the SQL (the cache fills such a column after loading).
#pragma once

#include <platform/data/field.h>

#include <QString>

class TDBAccess;

struct TFieldDescriptor
{
    QString Name;
    FieldType DataType = FieldType::Unknown;
    int Size = 0;
    QString LookupTable;
    QString LookupResultField;
    QString KeyFields;       // comma list
    QString LookupKeyFields; // comma list
    bool IsLookup = false;
};

// Whether a select text is such a descriptor: it holds "CALC(" or "LOOK(" in any case.
bool IsFieldDescriptor(const QString& text);

// Parses a descriptor. A calculated field's type is read by prefix ("INT", "DATE", "TIME",
// "DATETIME", "MONEY", "FLOAT", "CHAR(n)"; a later match wins, so DATETIME is a date-time). A
// lookup names its table, its result field and optionally its key fields ("." between the
// names); its type follows the result field's description and its keys default to the lookup
// table's key. Raises EDBKernelError "<request>. Invalid calculated field descriptor: <text>."
// (or "lookup"); a lookup table or field without description raises the metadata's error.
TFieldDescriptor ParseFieldDescriptor(const TDBAccess& access, const QString& requestName,
                                      const QString& text);

// The select column standing for the descriptor: the access component's typed null of its type
// and size, " " and its name.
QString DescriptorColumn(const TDBAccess& access, const TFieldDescriptor& descriptor);
