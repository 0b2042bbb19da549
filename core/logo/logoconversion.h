#pragma once

#include "core/logo/logoraster.h"

#include <QImage>
#include <QSize>
#include <QString>

// How a picture becomes one bit per dot.
enum class Dither
{
    Diffusion,
    Threshold,
    Atkinson
};
struct Conversion
{
    Dither method = Dither::Diffusion;
    int level = 128; // 1..254, Threshold only: darker than this is a black dot
    // Threshold only: Otsu's level on the picture as placed, instead of `level`.
    bool autoLevel = false;
    int brightness = 0; // "Jasność", see greylevels.h; 0 changes nothing

    bool operator==(const Conversion &other) const;
    bool operator!=(const Conversion &other) const { return !(*this == other); }
};

// A picture with an alpha channel put onto white (transparent -> white,
// half-transparent blends toward white); a picture without alpha comes back unchanged.
QImage onWhite(const QImage &picture);

// The window's 1-bit picture: onWhite, then Qt's error-diffusion dithering; away
// from neutral brightness, of the brightened grey. A 1-bit picture keeps its own
// indices and palette.
QImage toOneBit(const QImage &picture, int brightness = 0);
// Its two steps away from neutral, for whoever dithers one picture at several
// brightnesses: the picture's grey on white, 8 bits a dot (null for a 1-bit
// picture), and Qt's dithering of it at a brightness (which only changes the
// grey picture's palette, not its dots).
QImage greyPicture(const QImage &picture);
QImage ditherGrey(QImage &grey, int brightness);

// What a raster is scaled from, prepared once per picture: the 1-bit picture
// for Diffusion (toOneBit at the conversion's brightness), or for Threshold and
// Atkinson the picture on white, smoothly reduced to at most four times the logo
// area on each axis, so that a large photo is not averaged in full on every
// slider move (their brightness comes later, at the logo's size). The member the
// method does not use stays null.
struct PreparedPicture
{
    QImage oneBit;
    QImage reduced;
};
PreparedPicture preparePicture(const QImage &picture, const Conversion &conversion);

// The raster "Wyślij" sends, from the picture as read. Diffusion gives exactly
// encodeLogoRaster(toOneBit(picture, brightness), x, y) (convert, then scale);
// Threshold and Atkinson first scale the picture smoothly to the logo's size in
// dots, take its grey after the brightness, then convert there. `levelUsed`, if
// given, gets the level Threshold used (Otsu's with autoLevel).
LogoRaster buildLogoRaster(const QImage &picture, int xPercent, int yPercent,
                           const Conversion &conversion, int *levelUsed = nullptr);
// The same from a picture prepared for the conversion.
LogoRaster buildLogoRaster(const PreparedPicture &prepared, int xPercent, int yPercent,
                           const Conversion &conversion, int *levelUsed = nullptr);

// Slider percentages that keep the picture's own proportions and fill as much
// of the logo area as they can (64x64 -> 23/100; 1200x250 -> 100/90).
struct Proportions
{
    int xPercent = 100;
    int yPercent = 100;
};
Proportions fitProportions(const QSize &pictureSize);

// The raster as the printer holds it: 416 dots wide, one pixel per dot,
// lineCount rows, Format_Mono with index 1 black.
QImage rasterPicture(const LogoRaster &raster);
// Only the dots the picture takes in it, without the blank margins: the
// logo's width for xPercent by its rows.
QImage placedDots(const LogoRaster &raster, int xPercent);

// "diffusion" | "threshold" | "atkinson"; false for anything else.
bool parseDither(const QString &name, Dither *method);
QString ditherName(Dither method);
