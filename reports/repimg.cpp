// Report pictures: reading picture sets and placing them on a workbook.
#include "repimg.h"

#include "repproc.h"

#include <platform/files.h>
#include <platform/inifile.h>
#include <platform/workbook/workbook.h>

#include <QHash>
#include <QImageReader>
#include <QPointer>

#include <algorithm>

namespace {

// The pictures each book was given, by book; a book leaves when it is destroyed.
QHash<const Workbook*, QList<int>>& placedPictures()
{
    static QHash<const Workbook*, QList<int>> placed;
    return placed;
}

void remember(Workbook& book, int id)
{
    auto& placed = placedPictures();
    if (!placed.contains(&book))
        QObject::connect(&book, &QObject::destroyed,
                         [key = &book] { placedPictures().remove(key); });
    placed[&book].append(id);
}

QString imagesFile()
{
    return files::findNoCase(ImagesDir, QStringLiteral("images.ini"));
}

QString key(int n, const char* suffix)
{
    return QStringLiteral("IMAGE%1%2").arg(n).arg(QLatin1String(suffix));
}

} // namespace

int ImageCount(const QString& Section)
{
    const QString file = imagesFile();
    return file.isEmpty() ? 0 : IniFile(file).readInteger(Section, QStringLiteral("IMAGES"), 0);
}

QImage ReadImage(const QString& Section, int n, int& X1, int& Y1, int& X2, int& Y2)
{
    const QString file = imagesFile();
    const IniFile ini(file);
    const bool any = !file.isEmpty();
    X1 = any ? ini.readInteger(Section, key(n, "_X1"), 0) : 0;
    Y1 = any ? ini.readInteger(Section, key(n, "_Y1"), 0) : 0;
    X2 = any ? ini.readInteger(Section, key(n, "_X2"), 0) : 0;
    Y2 = any ? ini.readInteger(Section, key(n, "_Y2"), 0) : 0;
    const QString name = any ? ini.readString(Section, key(n, "_NAME")) : QString();
    QString relative = name;
    relative.replace(QLatin1Char('\\'), QLatin1Char('/'));
    while (relative.startsWith(QLatin1Char('/')))
        relative.remove(0, 1);
    const QString path = relative.isEmpty() ? QString() : files::findNoCase(ImagesDir, relative);
    if (path.isEmpty())
        throw EInvalidGraphic(QStringLiteral("Impossible d'ouvrir l'image « %1 »").arg(name));
    QImageReader reader(path);
    QImage image = reader.read();
    if (image.isNull())
        throw EInvalidGraphic(
            QStringLiteral("Image illisible « %1 » : %2").arg(name, reader.errorString()));
    return image;
}

double ColumnPosition(double X, const Workbook& Book)
{
    const Worksheet& sheet = Book.current();
    double left = X;
    for (int col = 1; col <= Workbook::MaxCol; ++col) {
        if (sheet.ColHidden(col))
            continue;
        const int width = sheet.ColWidth(col);
        if (width > left)
            return (col - 1) + left / width;
        left -= width;
    }
    return Workbook::MaxCol;
}

double RowPosition(double Y, int StartRow, const Workbook& Book)
{
    const Worksheet& sheet = Book.current();
    double left = Y;
    int lastVisible = 0;
    const int end = std::min(Workbook::MaxRow, sheet.LastRow() + 10);
    for (int row = std::max(1, StartRow); row <= end; ++row) {
        if (sheet.RowHidden(row))
            continue;
        const int height = sheet.RowHeight(row);
        if (height > left)
            return (row - 1) + left / height;
        left -= height;
        lastVisible = row;
    }
    return lastVisible;
}

void PlaceImages(Workbook& Book, const QString& Section, int StartRow, int Count)
{
    StartRow = std::max(StartRow, 1);
    for (int n = 1; n <= Count; ++n) {
        int x1 = 0, y1 = 0, x2 = 0, y2 = 0;
        const QImage image = ReadImage(Section, n, x1, y1, x2, y2);
        const QRectF where(QPointF(ColumnPosition(x1, Book), RowPosition(y1, StartRow, Book)),
                           QPointF(ColumnPosition(x2, Book), RowPosition(y2, StartRow, Book)));
        remember(Book, Book.current().AddPicture(image, where));
    }
}

void RemoveImages(Workbook& Book)
{
    const QList<int> placed = placedPictures().take(&Book);
    for (int i = 1; i <= Book.SheetCount(); ++i) {
        QList<Picture>& pictures = Book.sheet(i).Pictures;
        pictures.removeIf([&placed](const Picture& p) { return placed.contains(p.Id); });
    }
    Book.touch();
}

QList<int> PlacedImages(const Workbook& Book)
{
    return placedPictures().value(&Book);
}
