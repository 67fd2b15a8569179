// The device parameter catalogue: which analysers exist, the parameters each one reports (under
// which number and code), how a report names them, whether it shows them, by what factor their
// values are multiplied and in which unit they are printed; and the URILUX report template.
// Constant tables compiled into the program (devcatalogue_rows.cpp, written by
// tools/devcatalogue/generate.py), so any thread may read them.
#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <array>

// A row of the device table: one analyser type. Nothing reads it; the device numbers are the
// keys of the parameter rows.
struct TMDevRow
{
    int MDEV_ID;
    QStringView NAME;
};

// A row of the parameter table: one parameter of one analyser.
struct TMDevDataRow
{
    int MDEVDATA_ID;     // running number, 1 to 264 in catalogue order
    int MDEV_ID;         // the device
    int NUMBER;          // position or test number under which the analyser reports it
    QStringView NAME;    // display name; empty for some rows, "???" for others
    QStringView CODE;    // the code the analyser sends and the report shows; may be empty, and
                         // some are longer than the twelve characters the table declares
    bool VISIBLE;        // false: the decoders leave the parameter out of the report
    double SCALE;        // factor of ScaleValue; 1 but for three rows
    QStringView DIM_STR; // unit printed after the value; may be empty
};

// The 14 devices with a name, and the 264 parameter rows in catalogue order (device by device,
// each device's rows by ascending NUMBER).
extern const std::array<TMDevRow, 14> MDEV;
extern const std::array<TMDevDataRow, 264> MDEVDATA;

// The device numbers that the decoders use.
enum TMDevice {
    mdAutolab = 10,
    mdSysmex = 11,
    mdUrilux = 12,
    mdTrombotimer = 13,
    mdAutionMini = 14,
    mdRft = 16,
    mdAdvia = 17,
    mdMaxM = 18,
    mdAbx = 19,
    mdHitachi911 = 20,
    mdHitachi912 = 21,
};

// ---- look-ups. Each returns rows of the constant table (never a cursor); nullptr when there
// is none.

// The first row, in catalogue order, of Device with that NUMBER.
const TMDevDataRow* FindMDevData(int Device, int Number);
// The first row, in catalogue order, of Device whose CODE is exactly Code (case counts; a code
// is compared whole, however long).
const TMDevDataRow* FindMDevDataCode(int Device, QStringView Code);
// Every row of Device, by ascending NUMBER.
QList<const TMDevDataRow*> MDevDataRows(int Device);

// ---- scaling

struct TScaledValue
{
    QString Text;
    bool Read = false; // false: Text is the value as it came, not a number
};

// A value multiplied by a row's factor. With a factor of exactly 1 the text comes back as it is,
// read. Otherwise a text that is a number, with blanks (any byte up to 32) at either end
// ignored: an optional "-", digits and at most one decimal point ("." or ","), at least one
// digit, is multiplied and written with FloatToStr (15 significant digits, the regional
// decimal separator): "14.2" by 10 is "142", "0.07" by 10 "0,7". Any other text ("*****",
// "1.2.3", "14.2a", empty) comes back unchanged and not read: a value the analyser did not give
// must not become 0, nor a misread one carry a unit.
TScaledValue ScaleValue(const QString& Value, double Scale);

// ---- the URILUX report template

// The five lines "name=line,column[,length];label" that place the header items of a URILUX
// printout (ViewUriluxFile).
extern const std::array<QStringView, 5> UriluxTemplateLines;
QStringList UriluxTemplate();
