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
};

// A picture with an alpha channel put onto white (transparent -> white,
// half-transparent blends toward white); a picture without alpha comes back unchanged.
QImage onWhite(const QImage &picture);

// The window's 1-bit picture: onWhite, then Qt's error-diffusion dithering.
QImage toOneBit(const QImage &picture);

// What a raster is scaled from, prepared once per picture: the 1-bit picture
// for Diffusion, or for Threshold and Atkinson the picture on white, smoothly
// reduced to at most four times the logo area on each axis, so that a large
// photo is not averaged in full on every slider move. The member the method
// does not use stays null.
struct PreparedPicture
{
    QImage oneBit;
    QImage reduced;
};
PreparedPicture preparePicture(const QImage &picture, Dither method);

// The raster "Wyślij" sends, from the picture as read. Diffusion gives exactly
// encodeLogoRaster(toOneBit(picture), x, y) (convert, then scale); Threshold and
// Atkinson first scale the picture smoothly to the logo's size in dots, then
// convert there.
LogoRaster buildLogoRaster(const QImage &picture, int xPercent, int yPercent,
                           const Conversion &conversion);
// The same from a picture prepared for conversion.method.
LogoRaster buildLogoRaster(const PreparedPicture &prepared, int xPercent, int yPercent,
                           const Conversion &conversion);

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

// "diffusion" | "threshold" | "atkinson"; false for anything else.
bool parseDither(const QString &name, Dither *method);
QString ditherName(Dither method);
