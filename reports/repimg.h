// Report pictures: picture sets described in "images.ini" of the pictures folder (ImagesDir),
// placed over a sheet at positions given in the sheet's own units (twips), counted from a start
// row. A book remembers the pictures placed in it, so that they can be taken away again.
#pragma once

#include <platform/exception.h>

#include <QImage>
#include <QString>

class Workbook;

// A picture file that is missing or that cannot be read.
QV_EXCEPTION_CLASS(EInvalidGraphic, Exception)

// The number of pictures of the set (IMAGES); 0 without "images.ini" or the section.
int ImageCount(const QString& Section);
// Picture n of the set: its rectangle (X1, Y1, X2, Y2) and its picture, loaded from its file
// (named relative to ImagesDir; "\" separators and any letter case are accepted). A missing or
// unreadable file raises EInvalidGraphic.
QImage ReadImage(const QString& Section, int n, int& X1, int& Y1, int& X2, int& Y2);
// The fractional column (from 0 at the sheet's left edge) of a horizontal position in twips;
// hidden columns take no room. A position past the sheet's last column gives its right edge.
double ColumnPosition(double X, const Workbook& Book);
// The fractional row of a vertical position counted from the start row, over at most the rows
// up to the last one used and ten more; past them, the number of the last visible row passed
// (0 when none).
double RowPosition(double Y, int StartRow, const Workbook& Book);
// Places pictures 1 to `Count` of the set on the current sheet, from `StartRow` (1 at least).
void PlaceImages(Workbook& Book, const QString& Section, int StartRow, int Count);
// Removes the pictures PlaceImages placed in the book, and only those.
void RemoveImages(Workbook& Book);
// The identifiers of the pictures placed in the book and not removed, in order.
QList<int> PlacedImages(const Workbook& Book);
