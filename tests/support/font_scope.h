// The application's font at another point size for one scope: the layout tests' 12 pt.
#pragma once

#include <QApplication>
#include <QFont>

class FontSizeScope
{
public:
    // Points 0 leaves the font as it is.
    explicit FontSizeScope(int points)
    {
        if (points > 0) {
            QFont larger = m_font;
            larger.setPointSize(points);
            QApplication::setFont(larger);
        }
    }
    ~FontSizeScope() { QApplication::setFont(m_font); }
    FontSizeScope(const FontSizeScope&) = delete;
    FontSizeScope& operator=(const FontSizeScope&) = delete;

private:
    const QFont m_font = QApplication::font();
};
