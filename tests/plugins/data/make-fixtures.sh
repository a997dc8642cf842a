#!/usr/bin/env bash
# Regenerates the codec test pictures in this folder with Debian's tools (imagemagick, exiv2,
# libjpeg-turbo-progs, libtiff-tools, netpbm). The pictures are committed; the tests make their
# reference pixels at run time with djpeg, pngtopam, tiff2rgba/tifftopnm, giftopnm and bmptopnm.
set -eu
cd "$(dirname "$0")"
im=$(command -v convert-im6.q16 || command -v convert)
work=$(mktemp -d); trap 'rm -rf "$work"' EXIT
# A 64x48 source with colour gradients, a hard edge and a few flat patches.
"$im" -size 64x48 gradient:red-blue \( -size 64x48 gradient:yellow-green -rotate 90 -resize 64x48! \) \
      -compose multiply -composite -fill white -draw "rectangle 8,8 20,20" -fill black -draw "circle 44,30 52,30" \
      -depth 8 "$work/src.ppm"
"$im" -seed 7 "$work/src.ppm" -attenuate 0.6 +noise Gaussian "$work/noisy.ppm"
# An ICC profile of our own (gamma 1.8, wide primaries), made with lcms2.
cat > "$work/icc.c" <<'C'
#include <lcms2.h>
#include <stdio.h>
int main(void) {
    cmsCIExyY white = {0.3457, 0.3585, 1.0};
    cmsCIExyYTRIPLE primaries = {{0.7347, 0.2653, 1.0}, {0.1152, 0.8264, 1.0}, {0.1566, 0.0177, 1.0}};
    cmsToneCurve* gamma = cmsBuildGamma(NULL, 1.8);
    cmsToneCurve* curves[3] = {gamma, gamma, gamma};
    cmsHPROFILE p = cmsCreateRGBProfile(&white, &primaries, curves);
    cmsMLU* text = cmsMLUalloc(NULL, 1);
    cmsMLUsetASCII(text, "en", "US", "Vistel fixture RGB");
    cmsWriteTag(p, cmsSigProfileDescriptionTag, text);
    return cmsSaveProfileToFile(p, "fixture.icc") ? 0 : 1;
}
C
(cd "$work" && cc icc.c -o icc -llcms2 && ./icc)
# JPEG
cjpeg -quality 90 -optimize "$work/src.ppm" > baseline.jpg
cjpeg -quality 90 -progressive "$work/src.ppm" > progressive.jpg
cjpeg -quality 90 -grayscale "$work/src.ppm" > grey.jpg
"$im" "$work/src.ppm" -colorspace CMYK -quality 92 cmyk.jpg
# The EXIF thumbnail is the negative, so tests can tell it from the main picture.
"$im" "$work/src.ppm" -thumbnail 32x24 -negate -quality 80 "$work/exif-thumb.jpg"
cp baseline.jpg exif.jpg
exiv2 -M"set Exif.Image.Make Vistel" -M"set Exif.Image.Model Fixture" -M"set Exif.Image.Orientation 6" \
      -M"set Exif.Photo.FNumber 28/10" -M"set Exif.Photo.DateTimeOriginal 2026:12:09 12:00:00" exif.jpg
cp "$work/exif-thumb.jpg" exif-thumb.jpg; exiv2 -it exif.jpg; rm exif-thumb.jpg
"$im" "$work/src.ppm" -quality 90 -profile "$work/fixture.icc" icc.jpg
cjpeg -quality 90 "$work/noisy.ppm" > "$work/noisy.jpg"
head -c $(( $(stat -c %s "$work/noisy.jpg") * 6 / 10 )) "$work/noisy.jpg" > truncated.jpg
# PNG
"$im" "$work/src.ppm" -depth 8 PNG24:rgb8.png
"$im" "$work/src.ppm" -alpha set -channel A -fx "i/w" +channel -depth 16 PNG64:rgba16.png
"$im" "$work/src.ppm" -colorspace Gray -depth 8 -define png:color-type=0 -define png:bit-depth=8 grey.png
"$im" "$work/src.ppm" -colors 16 -transparent white PNG8:palette.png
"$im" "$work/src.ppm" -depth 8 -interlace PNG PNG24:interlaced.png
"$im" "$work/src.ppm" -depth 8 -profile "$work/fixture.icc" PNG24:icc.png
# TIFF
"$im" "$work/src.ppm" -depth 16 -compress lzw rgb16.tif
"$im" "$work/src.ppm" -colorspace CMYK -compress lzw cmyk.tif
"$im" "$work/src.ppm" -define tiff:tile-geometry=16x16 -compress zip tiled.tif
"$im" "$work/src.ppm" \( "$work/src.ppm" -negate -resize 32x24 \) -compress lzw multipage.tif
"$im" "$work/src.ppm" -colorspace Gray -depth 8 grey.tif
# WebP, GIF, BMP
"$im" "$work/src.ppm" -quality 90 lossy.webp
"$im" "$work/src.ppm" -alpha set -channel A -fx "i/w" +channel -define webp:lossless=true alpha.webp
"$im" -delay 10 "$work/src.ppm" \( "$work/src.ppm" -negate \) -colors 64 -loop 0 anim.gif
"$im" "$work/src.ppm" BMP3:rgb24.bmp
"$im" "$work/src.ppm" -colors 16 -type Palette BMP3:palette4.bmp
"$im" "$work/src.ppm" -colors 16 -type Palette -compress RLE BMP3:rle8.bmp
# Camera RAW: a small DNG written with libtiff (a red 32x24 preview, a 64x48 RGGB grey ramp).
cat > "$work/dng.c" <<'C'
/* A small DNG: a 32x24 RGB preview in IFD0 and a 64x48 16-bit RGGB sensor picture in a SubIFD. */
#include <stdint.h>
#include <tiffio.h>
int main(void) {
    TIFF* t = TIFFOpen("raw.dng", "w");
    if (!t) return 1;
    uint64_t sub[1] = {0};
    static const uint8_t version[4] = {1, 4, 0, 0};
    float matrix[9] = {1.0f, 0.0f, 0.0f, 0.0f, 1.0f, 0.0f, 0.0f, 0.0f, 1.0f};
    float neutral[3] = {1.0f, 1.0f, 1.0f};
    TIFFSetField(t, TIFFTAG_SUBFILETYPE, FILETYPE_REDUCEDIMAGE);
    TIFFSetField(t, TIFFTAG_IMAGEWIDTH, 32);
    TIFFSetField(t, TIFFTAG_IMAGELENGTH, 24);
    TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, 3);
    TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
    TIFFSetField(t, TIFFTAG_COMPRESSION, COMPRESSION_NONE);
    TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, 24);
    TIFFSetField(t, TIFFTAG_MAKE, "Vistel");
    TIFFSetField(t, TIFFTAG_MODEL, "Fixture");
    TIFFSetField(t, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT);
    TIFFSetField(t, TIFFTAG_DNGVERSION, version);
    TIFFSetField(t, TIFFTAG_UNIQUECAMERAMODEL, "Vistel Fixture");
    TIFFSetField(t, TIFFTAG_COLORMATRIX1, 9, matrix);
    TIFFSetField(t, TIFFTAG_CALIBRATIONILLUMINANT1, 21);
    TIFFSetField(t, TIFFTAG_ASSHOTNEUTRAL, 3, neutral);
    TIFFSetField(t, TIFFTAG_SUBIFD, 1, sub);
    uint8_t row[32 * 3];
    for (int y = 0; y < 24; ++y) {
        for (int x = 0; x < 32; ++x) { row[3 * x] = 200; row[3 * x + 1] = 40; row[3 * x + 2] = 40; } /* a red preview */
        TIFFWriteScanline(t, row, y, 0);
    }
    TIFFWriteDirectory(t);
    uint16_t pattern_dim[2] = {2, 2};
    static const uint8_t pattern[4] = {0, 1, 1, 2};
    uint32_t white = 65535;
    TIFFSetField(t, TIFFTAG_SUBFILETYPE, 0);
    TIFFSetField(t, TIFFTAG_IMAGEWIDTH, 64);
    TIFFSetField(t, TIFFTAG_IMAGELENGTH, 48);
    TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 16);
    TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, 1);
    TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_CFA);
    TIFFSetField(t, TIFFTAG_COMPRESSION, COMPRESSION_NONE);
    TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, 48);
    TIFFSetField(t, TIFFTAG_CFAREPEATPATTERNDIM, pattern_dim);
    TIFFSetField(t, TIFFTAG_CFAPATTERN, 4, pattern);
    TIFFSetField(t, TIFFTAG_WHITELEVEL, 1, &white);
    uint16_t raw[64];
    for (int y = 0; y < 48; ++y) {
        for (int x = 0; x < 64; ++x) {
            /* A grey ramp from left to right, the same on every photosite. */
            raw[x] = (uint16_t)(x * 1000);
        }
        TIFFWriteScanline(t, raw, y, 0);
    }
    TIFFWriteDirectory(t);
    TIFFClose(t);
    return 0;
}
C
(cd "$work" && cc dng.c -o dng -ltiff && ./dng) && cp "$work/raw.dng" raw.dng
