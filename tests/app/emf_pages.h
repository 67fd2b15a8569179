// Metafile pages by libuemf: a header, a font, an EMR_EXTTEXTOUTA record per text, the end record.
#pragma once

#include <QFile>
#include <QTemporaryFile>

#include <uemf.h>
#include <uemf_utf.h>

struct EmfTextItem
{
    int x, y;
    QByteArray text;
};

inline QByteArray emfPage(const QList<EmfTextItem>& texts)
{
    QTemporaryFile file;
    file.open();
    EMFTRACK* et = nullptr;
    EMFHANDLES* eht = nullptr;
    emf_start(QFile::encodeName(file.fileName()).constData(), 1 << 16, 1 << 16, &et);
    htable_create(16, 16, &eht);
    const auto add = [et](char* record) { emf_append((PU_ENHMETARECORD)record, et, U_REC_FREE); };
    const U_POINTL origin = pointl_set(0, 0);
    add(U_EMRHEADER_set(rectl_set(origin, pointl_set(2100, 2970)),
                        rectl_set(origin, pointl_set(21000, 29700)), nullptr, 0, nullptr,
                        sizel_set(2100, 2970), sizel_set(210, 297), 0));
    // Texts in a font of their own, so that they are drawn and can be read back.
    uint16_t* face = U_Utf8ToUtf16le("DejaVu Sans", 0, nullptr);
    U_LOGFONT font = logfont_set(-120, 0, 0, 0, U_FW_NORMAL, 0, 0, 0, U_ANSI_CHARSET,
                                 U_OUT_DEFAULT_PRECIS, U_CLIP_DEFAULT_PRECIS, U_DEFAULT_QUALITY,
                                 U_DEFAULT_PITCH | U_FF_DONTCARE, face);
    free(face);
    uint32_t fontHandle = 0;
    add(extcreatefontindirectw_set(&fontHandle, eht, reinterpret_cast<const char*>(&font),
                                   nullptr));
    add(selectobject_set(fontHandle, eht));
    for (const EmfTextItem& t : texts) {
        QList<uint32_t> dx(t.text.size() + 1, 30);
        char* text = emrtext_set(pointl_set(t.x, t.y), uint32_t(t.text.size()), 1,
                                 const_cast<char*>(t.text.constData()), 0,
                                 rectl_set(origin, origin), dx.data());
        add(U_EMREXTTEXTOUTA_set(rectl_set(origin, pointl_set(-1, -1)), U_GM_COMPATIBLE, 1, 1,
                                 (PU_EMRTEXT)text));
        free(text);
    }
    add(U_EMREOF_set(0, nullptr, et));
    emf_finish(et, eht);
    emf_free(&et);
    htable_free(&eht);
    return file.readAll();
}
