// Enhanced metafiles (EMF), the pages a virtual printer captures: the walk over a page's records,
// what a text record holds, and the page drawn with a painter.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QRectF>
#include <QSize>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

class QPainter;
class QSvgRenderer;

// Calls `visit` with the type and the bytes of each record of `page` in order, and stops after
// the end-of-file record, at the end of the bytes, when `visit` returns false, or at a record
// that is under 8 bytes or runs past the end. False only in the last case (the records before
// the broken one were visited).
bool WalkEmfRecords(QByteArrayView page,
                    const std::function<bool(quint32 type, QByteArrayView record)>& visit);

// The text record type the text search reads (EMR_EXTTEXTOUTA).
inline constexpr quint32 EmfTextRecordType = 83;

// What the text search takes from a text record: the reference point (offsets 36 and 40) and
// the characters from offset 76, as many as the count at offset 44 modulo 256, but none past the
// record's end. Empty for a record too short to hold the point and the count.
struct EmfText
{
    qint32 x = 0;
    qint32 y = 0;
    QByteArray text;
};
std::optional<EmfText> ReadEmfText(QByteArrayView record);

// True when the page can be handed to the drawing library: a header record first, every record
// of a known type, whole, a multiple of 4 bytes and consistent in itself (its offsets and counts
// stay within it).
bool IsDrawableEmf(QByteArrayView page);

// The page converted for drawing, as an SVG document; empty when it is not drawable (see
// IsDrawableEmf) or the conversion fails.
QByteArray EmfToSvg(QByteArrayView page);

// The size of the header's fixed part: no page is shorter.
inline constexpr int EmfBaseHeaderSize = 88;

// One page loaded for drawing.
class EmfPicture
{
public:
    EmfPicture();
    ~EmfPicture();
    EmfPicture(const EmfPicture&) = delete;
    EmfPicture& operator=(const EmfPicture&) = delete;

    // Reads and checks the file and prepares it for drawing; false, with the picture empty and
    // `error` set to a readable reason, when the file is missing, unreadable or not a drawable
    // metafile.
    bool load(const QString& path, QString* error = nullptr);
    bool isNull() const;
    // The page's bytes as read (empty when nothing is loaded).
    const QByteArray& bytes() const { return m_bytes; }
    // The picture's own size in its device units.
    QSize naturalSize() const;
    // Draws the page stretched over `target`.
    void draw(QPainter& painter, const QRectF& target) const;

private:
    QByteArray m_bytes;
    std::unique_ptr<QSvgRenderer> m_renderer;
};
