// String formatting with the runtime-library rules the stored texts and messages were written for.
#pragma once

#include <platform/variant.h>

// Formats `format` with `args`. A directive is "%[index:][-][width][.precision]type"; "%%" is a
// percent sign. The index (0-based) picks the argument, and the directives after it go on from
// there; "*" in place of the index, the width or the precision takes it from the next argument,
// which must be an integer. The width pads with blanks on the left ("-": on the right); it never
// cuts. The type letter may be upper or lower case ("%S" is "%s", "%X" is "%x"):
//
//   d  an integer; precision = least number of digits (zero-padded after the sign)
//   u  as d, unsigned: a negative value within the 32-bit range is taken as 32-bit:
//      "%u" of -1 is "4294967295"; any other as 64-bit
//   x  an integer in upper-case hexadecimal (negative: two's complement, widths as for u);
//      precision = least number of digits. Stored file names depend on the upper case.
//   p  an integer as an address: upper-case hexadecimal of at least 8 digits
//   e  a floating value in scientific notation, precision = significant digits (default 15),
//      at least three exponent digits: "%.3e" of 1234.5 is "1,23E+003"
//   f  a floating value with precision decimals (default 2): "%.1f" of 2.25 is "2,3"
//   g  a floating value in the shortest form, precision = significant digits (default 15)
//   n  as f, with thousands separators: "1 234,50"
//   m  money: as n with the regional currency decimals, then a blank and the currency string
//   s  a string; precision = most characters taken
//
// Floating values are doubles, currency and date-times; an integer is not a floating value (and a
// double is not an integer): pass 2.0, not 2, to "%f". Numbers use the regional separators
// (FloatToStrF).
//
// Too few arguments, an argument of the wrong kind, an unknown type letter, a directive cut off
// at the end of the format or a width or precision above 1 000 000 raise EConvertError
// "Format '<format>' invalid or incompatible with argument list". Arguments left over are
// ignored.
QString Format(const QString& format, const VariantList& args);
