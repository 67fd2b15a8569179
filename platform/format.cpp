// Runtime-library string formatting.
// (First cut: %s, %d and %% in order; the full directive syntax follows.)
#include "format.h"

#include "exception.h"

QString Format(const QString& format, const VariantList& args)
{
    QString out;
    int next = 0;
    for (int i = 0; i < format.size(); ++i) {
        const QChar c = format.at(i);
        if (c != QLatin1Char('%') || i + 1 >= format.size()) {
            out += c;
            continue;
        }
        const QChar t = format.at(++i).toLower();
        if (t == QLatin1Char('%')) {
            out += t;
            continue;
        }
        if (next >= args.size())
            throw EConvertError(
                QStringLiteral("Format '%1' invalid or incompatible with argument list").arg(format));
        out += args.at(next++).toString();
    }
    return out;
}
