// The screen-capture source: finding it, and taking a picture of the whole screen from the
// clipboard as a document.
#include "screen_source.h"

#include <app/appglobals.h>
#include <app/documents/datatables.h>
#include <app/documents/docregistry.h>
#include <platform/db/database.h>
#include <platform/db/localtable.h>
#include <platform/db/sqlname.h>
#include <platform/exception.h>
#include <platform/fileops.h>
#include <platform/support/docfiles.h>
#include <platform/support/logfile.h>
#include <platform/support/paths.h>

#include <QBuffer>
#include <QClipboard>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QScreen>

namespace {

// The primary screen's size in device pixels: the size of a capture of the whole screen.
QSize screenSize()
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen)
        return {};
    return (QSizeF(screen->geometry().size()) * screen->devicePixelRatio()).toSize();
}

// The picture as a Windows bitmap file of 24 bits a pixel.
QByteArray bitmapFile(const QImage& image)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!image.convertToFormat(QImage::Format_RGB32).save(&buffer, "BMP"))
        return {};
    return bytes;
}

// A failure is logged when it starts, not at every tick that meets it again.
bool& failing()
{
    static bool f = false;
    return f;
}

void reportFailure(const QString& text)
{
    if (!failing())
        WriteToLog(
            QStringLiteral("Screen capture not taken, the picture stays on the clipboard: ") +
            text);
    failing() = true;
}

} // namespace

ScreenSourceRow FirstScreenSource()
{
    LocalTable& cfg = *CheckedDataTables().cfg;
    auto st = ConnectionOf(cfg).prepare(
        QStringLiteral("SELECT \"Number\", \"State\", \"Extension\" FROM %1 WHERE \"Type\" = ? "
                       "ORDER BY rowid LIMIT 1")
            .arg(quoteSqlName(cfg.tableName())));
    st->bind(0, stScreen);
    if (!st->step())
        return {};
    return {st->columnValue(0).toInt(), st->columnValue(1).toInt(), st->columnValue(2).toString()};
}

void InitClipboardSource()
{
    if (QClipboard* clipboard = QGuiApplication::clipboard())
        clipboard->clear();
    const ScreenSourceRow source = FirstScreenSource();
    ScreenSourceNumber = source.state > 0 ? source.number : 0;
}

int CaptureClipboardBitmap(const QString& BufDir)
{
    if (!CheckTables())
        return 0;
    const ScreenSourceRow source = FirstScreenSource();
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (source.number == 0 || !clipboard || source.state != 1)
        return 0;
    const QImage image = clipboard->image();
    if (image.isNull())
        return 0;
    const QSize screen = screenSize();
    if (image.width() < screen.width() || image.height() != screen.height())
        return 0;

    const QByteArray bitmap = bitmapFile(image);
    if (bitmap.isEmpty()) {
        reportFailure(QStringLiteral("it cannot be written as a bitmap"));
        return 0;
    }
    // Written beside the documents under a name no listing shows, then handed to the registry,
    // which gives it its document's name once the row is stored.
    const QString temp = ScreenCaptureFile(BufDir);
    QString error;
    if (!fileops::writeFile(temp, bitmap, &error)) {
        reportFailure(error);
        return 0;
    }
    int number = 0;
    try {
        number = RegisterDocument(temp, source.number, 0, source.extension, HandOver::Move);
    } catch (const std::exception& e) {
        error = exceptionMessage(e);
    }
    if (number == 0) {
        QFile::remove(temp);
        reportFailure(error.isEmpty() ? QStringLiteral("it could not be registered") : error);
        return 0;
    }
    failing() = false;
    clipboard->clear();
    return number;
}
