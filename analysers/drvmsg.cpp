// The line-protocol record and message bases, and the record file they are stored in.
#include "drvmsg.h"

#include <platform/exception.h>

#include <QtEndian>

namespace {

void writeInt32(TMemStream& Stream, qint32 Value)
{
    const qint32 le = qToLittleEndian(Value);
    Stream.Write(&le, sizeof le);
}

} // namespace

TDrvRec::TDrvRec(TDrvMsg* Msg) : Msg(Msg)
{
}

TDrvRec::~TDrvRec() = default;

void TDrvRec::Clear()
{
    Data.Clear();
    RecType = 0;
}

TDrvMsg::TDrvMsg(TDriver* Driver) : Driver(Driver)
{
}

TDrvMsg::~TDrvMsg() = default;

void TDrvMsg::AddValue(int Code, const QString& Value)
{
    for (const TFieldValue& v : std::as_const(Values)) {
        if (v.Code == Code)
            return;
    }
    Values.append({Code, Value});
}

void TDrvMsg::Clear()
{
    Records.clear();
    Values.clear();
}

void TDrvMsg::AddRecord(const TDrvRec& Rec)
{
    Records.append(QByteArray(Rec.Data.Memory(), Rec.Data.Size()));
}

void TDrvMsg::SaveToFile(const QString& Name) const
{
    TMemStream file;
    writeInt32(file, qint32(Records.size()));
    for (const QByteArray& record : Records) {
        writeInt32(file, qint32(record.size()));
        file.Write(record.constData(), record.size());
    }
    file.SaveToFile(Name);
}

QList<QByteArray> TDrvMsg::ReadRecordFile(const QString& Name)
{
    TMemStream file;
    file.LoadFromFile(Name);
    const auto damaged = [&](const QString& what) {
        return Exception(QStringLiteral("The result file \"%1\" is damaged: %2").arg(Name, what));
    };
    const auto readInt32 = [&](qint32& value) {
        qint32 le = 0;
        if (file.Read(&le, sizeof le) != sizeof le)
            return false;
        value = qFromLittleEndian(le);
        return true;
    };

    qint32 count = 0;
    if (!readInt32(count) || count < 0)
        throw damaged(QStringLiteral("it has no record count"));
    QList<QByteArray> records;
    for (qint32 i = 0; i < count; ++i) {
        qint32 length = 0;
        if (!readInt32(length))
            throw damaged(QStringLiteral("it ends before record %1 of %2").arg(i + 1).arg(count));
        if (length < 0 || length > file.Size() - file.Position())
            throw damaged(
                QStringLiteral("record %1 of %2 runs past its end").arg(i + 1).arg(count));
        QByteArray record(length, '\0');
        file.Read(record.data(), length);
        records.append(record);
    }
    return records;
}
