// Colour values.
#include "graphics.h"

#include <iterator>

quint32 ColorToRGB(TColor color)
{
    // The standard Windows scheme, by system colour index.
    static const quint32 system[] = {
        0xC0C0C0, // scroll bar
        0x808000, // desktop
        0x800000, // active caption
        0x808080, // inactive caption
        0xC0C0C0, // menu
        0xFFFFFF, // window
        0x000000, // window frame
        0x000000, // menu text
        0x000000, // window text
        0xFFFFFF, // caption text
        0xC0C0C0, // active border
        0xC0C0C0, // inactive border
        0x808080, // application work space
        0x800000, // highlight
        0xFFFFFF, // highlight text
        0xC0C0C0, // button face
        0x808080, // button shadow
        0x808080, // grey text
        0x000000, // button text
        0xC0C0C0, // inactive caption text
        0xFFFFFF, // button highlight
        0x000000, // 3D dark shadow
        0xC0C0C0, // 3D light
        0x000000, // tooltip text
        0xE1FFFF, // tooltip background
    };
    if (color == clNone)
        return 0xFFFFFF;
    if (color == clDefault)
        return 0x000000;
    if (color & clSystemColor) {
        const quint32 index = color & 0xFF;
        return index < std::size(system) ? system[index] : 0x000000;
    }
    return color & 0xFFFFFF;
}
