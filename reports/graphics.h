// The look of report cells: colours (0x00BBGGRR values, the system colours and "none"), fonts as
// small values, and the sets of cell borders.
#pragma once

#include <QString>

#include <initializer_list>

// A colour: 0x00BBGGRR, or a system colour (0x80000000 plus the system colour's index), or
// clNone / clDefault.
using TColor = quint32;

constexpr TColor clBlack = 0x000000;
constexpr TColor clMaroon = 0x000080;
constexpr TColor clGreen = 0x008000;
constexpr TColor clOlive = 0x008080;
constexpr TColor clNavy = 0x800000;
constexpr TColor clPurple = 0x800080;
constexpr TColor clTeal = 0x808000;
constexpr TColor clGray = 0x808080;
constexpr TColor clSilver = 0xC0C0C0;
constexpr TColor clRed = 0x0000FF;
constexpr TColor clLime = 0x00FF00;
constexpr TColor clYellow = 0x00FFFF;
constexpr TColor clBlue = 0xFF0000;
constexpr TColor clFuchsia = 0xFF00FF;
constexpr TColor clAqua = 0xFFFF00;
constexpr TColor clWhite = 0xFFFFFF;
constexpr TColor clNone = 0x1FFFFFFF;
constexpr TColor clDefault = 0x20000000;

constexpr TColor clSystemColor = 0x80000000;
constexpr TColor clScrollBar = clSystemColor | 0;
constexpr TColor clBackground = clSystemColor | 1;
constexpr TColor clActiveCaption = clSystemColor | 2;
constexpr TColor clInactiveCaption = clSystemColor | 3;
constexpr TColor clMenu = clSystemColor | 4;
constexpr TColor clWindow = clSystemColor | 5;
constexpr TColor clWindowFrame = clSystemColor | 6;
constexpr TColor clMenuText = clSystemColor | 7;
constexpr TColor clWindowText = clSystemColor | 8;
constexpr TColor clCaptionText = clSystemColor | 9;
constexpr TColor clActiveBorder = clSystemColor | 10;
constexpr TColor clInactiveBorder = clSystemColor | 11;
constexpr TColor clAppWorkSpace = clSystemColor | 12;
constexpr TColor clHighlight = clSystemColor | 13;
constexpr TColor clHighlightText = clSystemColor | 14;
constexpr TColor clBtnFace = clSystemColor | 15;
constexpr TColor clBtnShadow = clSystemColor | 16;
constexpr TColor clGrayText = clSystemColor | 17;
constexpr TColor clBtnText = clSystemColor | 18;
constexpr TColor clInactiveCaptionText = clSystemColor | 19;
constexpr TColor clBtnHighlight = clSystemColor | 20;
constexpr TColor cl3DDkShadow = clSystemColor | 21;
constexpr TColor cl3DLight = clSystemColor | 22;
constexpr TColor clInfoText = clSystemColor | 23;
constexpr TColor clInfoBk = clSystemColor | 24;

// The 0x00BBGGRR value of a colour: a plain colour as it is; the system colours, clNone and
// clDefault from one table (the standard Windows scheme; clNone is the paper's white, since
// nothing is painted, clDefault the window text's black). An unknown system colour is black.
quint32 ColorToRGB(TColor color);

// A font as a value: name, size in points, the four styles, colour and character set (1: the
// default one; 204: Cyrillic).
struct TFont
{
    QString Name = QStringLiteral("MS Sans Serif");
    int Size = 8;
    bool Bold = false;
    bool Italic = false;
    bool Underline = false;
    bool StrikeOut = false;
    TColor Color = clWindowText;
    quint8 Charset = 1;

    friend bool operator==(const TFont&, const TFont&) = default;
};

// Alignments of a cell's text.
enum TVAlign : quint8 { vaTop, vaCenter, vaBottom };
enum THAlign : quint8 { haLeft, haCenter, haRight };

// The sides of a cell.
enum TBorderType : quint8 { btLeft, btRight, btTop, btBottom };

class TBorderSet
{
public:
    constexpr TBorderSet() = default;
    constexpr TBorderSet(std::initializer_list<TBorderType> sides)
    {
        for (TBorderType side : sides)
            m_bits |= quint8(1u << side);
    }
    static constexpr TBorderSet All() { return {btLeft, btRight, btTop, btBottom}; }
    constexpr bool Contains(TBorderType side) const { return m_bits & (1u << side); }
    void Include(TBorderType side) { m_bits |= quint8(1u << side); }
    void Exclude(TBorderType side) { m_bits &= quint8(~(1u << side)); }
    constexpr bool IsEmpty() const { return m_bits == 0; }
    friend constexpr bool operator==(TBorderSet, TBorderSet) = default;

private:
    quint8 m_bits = 0;
};
