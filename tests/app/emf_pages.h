// Metafile pages written by libuemf for the tests: a header, a font, one EMR_EXTTEXTOUTA record
// per text at its reference point, and the end record.
#pragma once

#include <QByteArray>
#include <QFile>
#include <QList>
#include <QTemporaryFile>

#include <cstdlib>
#include <uemf.h>
#include <uemf_utf.h>

struct EmfTextItem
{
    int x;
    int y;
    QByteArray text;
};

inline QByteArray emfPage(const QList<EmfTextItem>& texts, int width = 2100, int height = 2970)
{
    QTemporaryFile file;
    if (!file.open())
        return {};
    const QByteArray name = QFile::encodeName(file.fileName());
    EMFTRACK* et = nullptr;
    EMFHANDLES* eht = nullptr;
    emf_start(name.constData(), 1 << 16, 1 << 16, &et);
    htable_create(16, 16, &eht);
    const U_RECTL bounds = rectl_set(pointl_set(0, 0), pointl_set(width, height));
    const U_RECTL frame = rectl_set(pointl_set(0, 0), pointl_set(width * 10, height * 10));
    emf_append((PU_ENHMETARECORD)U_EMRHEADER_set(bounds, frame, nullptr, 0, nullptr,
                                                 sizel_set(width, height),
                                                 sizel_set(width / 10, height / 10), 0),
               et, U_REC_FREE);
    uint16_t* face = U_Utf8ToUtf16le("DejaVu Sans", 0, nullptr);
    const U_LOGFONT font = logfont_set(-60, 0, 0, 0, 400, 0, 0, 0, 0, 0, 0, 0, 0, face);
    std::free(face);
    uint32_t fontHandle = 0;
    emf_append(
        (PU_ENHMETARECORD)extcreatefontindirectw_set(&fontHandle, eht, (const char*)&font, nullptr),
        et, U_REC_FREE);
    emf_append((PU_ENHMETARECORD)selectobject_set(fontHandle, eht), et, U_REC_FREE);
    for (const EmfTextItem& t : texts) {
        QList<uint32_t> dx(t.text.size() + 1, 30);
        char* text = emrtext_set(pointl_set(t.x, t.y), uint32_t(t.text.size()), 1,
                                 const_cast<char*>(t.text.constData()), 0,
                                 rectl_set(pointl_set(0, 0), pointl_set(0, 0)), dx.data());
        emf_append(
            (PU_ENHMETARECORD)U_EMREXTTEXTOUTA_set(rectl_set(pointl_set(0, 0), pointl_set(-1, -1)),
                                                   U_GM_COMPATIBLE, 1.0f, 1.0f, (PU_EMRTEXT)text),
            et, U_REC_FREE);
        std::free(text);
    }
    emf_append((PU_ENHMETARECORD)U_EMREOF_set(0, nullptr, et), et, U_REC_FREE);
    emf_finish(et, eht);
    emf_free(&et);
    htable_free(&eht);
    QFile written(file.fileName());
    return written.open(QIODevice::ReadOnly) ? written.readAll() : QByteArray();
}
