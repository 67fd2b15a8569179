// The compiled-in Russian captions.
#include "langrus.h"

namespace {

struct Caption
{
    const char16_t* french;
    const char16_t* russian;
};

// Compared with the default text exactly, in this order.
constexpr Caption Captions[] = {
    {u"&Valider", u"OK"},
    {u"Valider", u"OK"},
    {u"&Annuler", u"Отмена"},
    {u"A&nnuler", u"Отмена"},
    {u"Annuler", u"Отмена"},
    {u"&Fermer", u"&Закрыть"},
    {u"&Fermer...", u"&Закрыть..."},
    {u"&Imprimer", u"&Печать"},
    {u"&Visualiser", u"Про&смотр"},
    {u"Coller", u"Вставить из буфера"},
    {u"Couper", u"Удалить в буфер"},
    {u"Copier", u"Копировать в буфер"},
    {u"Glossaire...", u"Справочник..."},
};

} // namespace

bool TranslateCaptionRUS(const QMetaObject*, const QString&, const QString& defaultText,
                         QString& result)
{
    result = defaultText;
    bool matched = false;
    for (const Caption& caption : Captions) {
        if (defaultText == QStringView(caption.french)) {
            result = QString::fromUtf16(caption.russian);
            matched = true;
        }
    }
    return matched;
}

QString SubtitleRUS()
{
    return QStringLiteral("Система обмена медицинской информацией");
}
