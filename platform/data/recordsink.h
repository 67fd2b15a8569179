// Where a record's values go one field at a time, each given in its own type instead of as a
// Variant: a database result loaded whole into memory makes hundreds of thousands of values, and
// a Variant made for each only to be taken apart again is work the load need not do.
#pragma once

#include <platform/variant.h>

// Each call takes the value for one field (numbered as the receiver's field definitions) exactly
// as the Variant of that type and value would be taken: setInteger(i, 5) does what setValue(i,
// Variant(qint64(5))) does, converting to the field's type where the receiver would. Null and
// Unassigned both leave the field null.
class RecordSink
{
public:
    virtual void setValue(int field, Variant&& value) = 0;
    virtual void setNull(int field) = 0;
    virtual void setInteger(int field, qint64 value) = 0;
    virtual void setBoolean(int field, bool value) = 0;
    virtual void setCurrency(int field, Currency value) = 0;
    virtual void setDouble(int field, double value) = 0;
    virtual void setDateTime(int field, TDateTime value) = 0;
    virtual void setText(int field, QString&& value) = 0;
    virtual void setBytes(int field, QByteArray&& value) = 0;

protected:
    ~RecordSink() = default;
};
