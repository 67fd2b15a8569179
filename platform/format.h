// String formatting with the runtime-library rules the stored texts and messages were written for.
#pragma once

#include <platform/variant.h>

// Formats `format` with `args`: "%[index:][-][width][.precision]type" where type is one of
// d u e f g n m p s x (upper or lower case; "%S" is "%s", "%x" gives upper-case hexadecimal) and
// "%%" is a percent sign. Numbers use the regional settings of the program's language.
// Too few arguments, or an argument of the wrong kind, raises EConvertError naming the format.
QString Format(const QString& format, const VariantList& args);
