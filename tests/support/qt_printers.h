// Readable test failure messages for Qt's text types and window geometry.
#pragma once

#include <QByteArray>
#include <QPoint>
#include <QRect>
#include <QString>
#include <QStringList>
#include <ostream>

inline void PrintTo(const QString& text, std::ostream* os)
{
    *os << '"' << text.toStdString() << '"';
}

inline void PrintTo(const QStringList& list, std::ostream* os)
{
    *os << '{';
    for (qsizetype i = 0; i < list.size(); ++i) {
        if (i)
            *os << ", ";
        PrintTo(list.at(i), os);
    }
    *os << '}';
}

inline void PrintTo(const QByteArray& bytes, std::ostream* os)
{
    *os << "QByteArray(\"" << bytes.toStdString() << "\")";
}

inline std::ostream& operator<<(std::ostream& os, const QPoint& point)
{
    return os << '(' << point.x() << ", " << point.y() << ')';
}

inline std::ostream& operator<<(std::ostream& os, const QRect& rect)
{
    return os << rect.width() << 'x' << rect.height() << " at " << rect.topLeft();
}

inline void PrintTo(const QPoint& point, std::ostream* os)
{
    *os << point;
}

inline void PrintTo(const QRect& rect, std::ostream* os)
{
    *os << rect;
}
