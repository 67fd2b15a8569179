// The backend-independent part of the serial line: error texts and the mapping from a COM port
// number to the device the program opens for it.
#include "serialline.h"

#include <platform/uitexts.h>

QString SerialLine::errorText(Error error)
{
    switch (error) {
    case Error::NoError:
        return QStringLiteral("no error");
    case Error::NotFound:
        return QStringLiteral("no such serial device");
    case Error::AccessDenied:
        return QStringLiteral("permission to open the serial device denied");
    case Error::InUse:
        return QStringLiteral("the serial device is in use");
    case Error::NotOpen:
        return QStringLiteral("the serial line is not open");
    case Error::NotSupported:
        return QStringLiteral("the device does not support this operation");
    case Error::InvalidArgument:
        return QStringLiteral("a line setting the device cannot take");
    case Error::TimedOut:
        return QStringLiteral("the write timed out");
    case Error::DeviceGone:
        return QStringLiteral("the serial device went away");
    case Error::Other:
        break;
    }
    return QStringLiteral("serial line failure");
}

QString SerialLine::errorUiText(Error error)
{
    switch (error) {
    case Error::NotFound:
        return uiText(UiText::SerialNoSuchDevice);
    case Error::AccessDenied:
        return uiText(UiText::SerialAccessDenied);
    case Error::InUse:
        return uiText(UiText::SerialInUse);
    case Error::DeviceGone:
        return uiText(UiText::SerialDeviceGone);
    case Error::InvalidArgument:
        return uiText(UiText::SerialSettingRefused);
    default:
        return uiText(UiText::SerialLineFailure);
    }
}

QString serialDeviceFromIni(int port, const SerialIniReader& read)
{
    if (port < 1)
        return QString();
    if (read) {
        const QString device = read(comOptionsSection(port), QStringLiteral("Device")).trimmed();
        if (!device.isEmpty())
            return device;
    }
    return QStringLiteral("/dev/ttyS%1").arg(port - 1);
}

QString comOptionsSection(int port)
{
    return QStringLiteral("Options.COM%1").arg(port);
}
