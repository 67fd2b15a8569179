// Enhanced metafiles: the record walk and the text records on libuemf's record layouts, and the
// drawing through libemf2svg and Qt's SVG renderer. A page reaches the drawing library only after
// libuemf has checked every record, since that library trusts what the records say.
#include "metafile.h"

#include <platform/files.h>

#include <QPainter>
#include <QSvgRenderer>
#include <QtEndian>

#include <cstddef>
#include <cstdlib>
#include <emf2svg.h>
#include <uemf.h>
#include <uemf_safe.h>

namespace {

// The places the text search reads, as libuemf lays the record out (with its optional
// rectangle present, so that the characters follow at 76).
constexpr qsizetype TextX = 36;
constexpr qsizetype TextY = 40;
constexpr qsizetype TextCount = 44;
constexpr qsizetype TextChars = 76;
static_assert(offsetof(U_EMREXTTEXTOUTA, emrtext.ptlReference.x) == TextX);
static_assert(offsetof(U_EMREXTTEXTOUTA, emrtext.ptlReference.y) == TextY);
static_assert(offsetof(U_EMREXTTEXTOUTA, emrtext.nChars) == TextCount);
static_assert(sizeof(U_EMREXTTEXTOUTA) + sizeof(U_RECTL) + sizeof(U_OFFDX) == TextChars);
static_assert(sizeof(U_EMR) == 8);
static_assert(EmfTextRecordType == U_EMR_EXTTEXTOUTA);

quint32 u32At(QByteArrayView bytes, qsizetype at)
{
    return qFromLittleEndian<quint32>(bytes.data() + at);
}

// Releases what the drawing library allocated.
struct CFree
{
    void operator()(char* p) const { std::free(p); }
};

} // namespace

bool WalkEmfRecords(QByteArrayView page,
                    const std::function<bool(quint32 type, QByteArrayView record)>& visit)
{
    qsizetype at = 0;
    while (at < page.size()) {
        if (page.size() - at < qsizetype(sizeof(U_EMR)))
            return false;
        const quint32 type = u32At(page, at + offsetof(U_EMR, iType));
        const quint32 size = u32At(page, at + offsetof(U_EMR, nSize));
        if (size < sizeof(U_EMR) || size > quint64(page.size() - at))
            return false;
        if (!visit(type, page.sliced(at, size)))
            return true;
        if (type == U_EMR_EOF)
            return true;
        at += size;
    }
    return true;
}

std::optional<EmfText> ReadEmfText(QByteArrayView record)
{
    if (record.size() < TextCount + 4)
        return std::nullopt;
    EmfText t;
    t.x = qint32(u32At(record, TextX));
    t.y = qint32(u32At(record, TextY));
    const qsizetype count = u32At(record, TextCount) % 256;
    const qsizetype room = std::max<qsizetype>(0, record.size() - TextChars);
    t.text = record.sliced(std::min(TextChars, record.size()), std::min(count, room)).toByteArray();
    return t;
}

bool IsDrawableEmf(QByteArrayView page)
{
    bool first = true;
    bool sound = true;
    const bool whole = WalkEmfRecords(page, [&](quint32 type, QByteArrayView record) {
        if (first && (type != U_EMR_HEADER || record.size() < EmfBaseHeaderSize))
            sound = false;
        // The safety check takes a type it does not know for a sound record.
        if (type < U_EMR_MIN || type > U_EMR_MAX)
            sound = false;
        first = false;
        // libuemf reads the record in place: a record at an odd place is copied to one that
        // suits its fields.
        if (sound && record.size() % 4 != 0)
            sound = false;
        if (sound) {
            const QByteArray aligned = record.toByteArray();
            sound = U_emf_record_safe(aligned.constData()) != 0;
        }
        return sound;
    });
    return whole && sound && !first;
}

static_assert(U_SIZE_EMRHEADER_MIN == EmfBaseHeaderSize);

QByteArray EmfToSvg(QByteArrayView page)
{
    if (!IsDrawableEmf(page))
        return {};
    generatorOptions options{};
    char noNamespace[] = "";
    options.nameSpace = noNamespace;
    options.svgDelimiter = true;
    options.emfplus = true;
    char* out = nullptr;
    size_t outLength = 0;
    QByteArray bytes = page.toByteArray(); // the library takes them as its own
    const int done = emf2svg(bytes.data(), size_t(bytes.size()), &out, &outLength, &options);
    const std::unique_ptr<char, CFree> svg(out);
    if (!done || !out)
        return {};
    return QByteArray(out, qsizetype(outLength));
}

EmfPicture::EmfPicture() = default;
EmfPicture::~EmfPicture() = default;

bool EmfPicture::load(const QString& path, QString* error)
{
    m_bytes.clear();
    m_renderer.reset();
    const auto fail = [error](const QString& reason) {
        if (error)
            *error = reason;
        return false;
    };
    QByteArray bytes;
    try {
        bytes = files::readWholeFile(path, QStringLiteral("The page"));
    } catch (const std::exception& e) {
        return fail(QString::fromUtf8(e.what()));
    }
    if (!IsDrawableEmf(bytes))
        return fail(QStringLiteral("The page \"%1\" is not a whole metafile").arg(path));
    const QByteArray svg = EmfToSvg(bytes);
    if (svg.isEmpty())
        return fail(QStringLiteral("The page \"%1\" cannot be drawn").arg(path));
    auto renderer = std::make_unique<QSvgRenderer>(svg);
    if (!renderer->isValid())
        return fail(QStringLiteral("The page \"%1\" cannot be drawn").arg(path));
    m_bytes = bytes;
    m_renderer = std::move(renderer);
    return true;
}

bool EmfPicture::isNull() const
{
    return !m_renderer;
}

QSize EmfPicture::naturalSize() const
{
    return m_renderer ? m_renderer->defaultSize() : QSize();
}

void EmfPicture::draw(QPainter& painter, const QRectF& target) const
{
    if (m_renderer)
        m_renderer->render(&painter, target);
}
