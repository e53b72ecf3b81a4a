#pragma once
// Enhanced metafiles written from raster pictures, for documents that carry pictures as EMF:
// a header, one StretchDIBits record holding the picture as a 24-bit DIB, and the end record.

#include <cstdint>
#include <vector>

struct TRasterImage;

// The image stretched over widthPx x heightPx pixels of a reference device of dpi pixels per
// inch; the frame is that size in hundredths of a millimetre, so readers show the picture at
// widthPx / dpi by heightPx / dpi inches. The image keeps its own pixels (an image larger than
// the device size gives a sharper picture). Alpha is composed over white. An empty image, a
// size or resolution that is not positive, or a picture too large for the format raises
// EInvalidGraphicOperation.
std::vector<std::uint8_t> EmfFromImage(const TRasterImage& image, int widthPx, int heightPx,
                                       int dpi);
