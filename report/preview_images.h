#pragma once
// The preview's button images: a strip of 16-pixel icons packed into the program (gzip-framed
// bitmap, see GZipDecompressStream), cut into tiles on first use.

#include <string_view>

#include "platform/graphics/bitmap.h"
#include "platform/ui/image_list.h"

// Tile indexes the preview, its window and the print dialog use. The tiles between them are
// drawn too (a plain page, add and delete page, two pages, close) but nothing refers to them.
enum TpgwPreviewImage : int {
    piOpen = 0,
    piSave = 1,
    piPrint = 2,
    piExport = 3,
    piFind = 4,
    piThumbnails = 5,
    piPageSettings = 7,
    piFirst = 8,
    piPrior = 9,
    piNext = 10,
    piLast = 11,
    piOutline = 12,
    piCollapseAll = 13,
    piExpandAll = 14,
    piZoomIn = 15,
    piZoomOut = 16,
    piEditPage = 21,
    piFullScreen = 22,
    piEmail = 23,
    piPdf = 24,
};
inline constexpr int PreviewImageSize = 16;
inline constexpr int PreviewImageStripTiles = 25;

// Cuts strip into tiles row by row, left to right, each added with its own bottom-left pixel as
// mask colour. With secondList the tiles alternate between mainList and secondList. The row
// just below the picture is walked too and adds blank tiles, so tiles other parts add later
// land at the indexes they always had. The lists keep their own image size.
// Raises EInvalidOperation for a tile size below 1.
void FillImageList(const TBitmap& strip, int tileWidth, int tileHeight, TImageList* secondList,
                   TImageList& mainList);

// The packed strip built into the program.
std::string_view PreviewButtonsPacked();
// Unpacks a gzip-framed bitmap file. Damaged data raises EZDecompressionError; bytes that
// are not a bitmap raise the bitmap loader's error.
TBitmap UnpackBitmapResource(std::string_view packed);

// The process-wide list, filled from PreviewButtonsPacked() on first request while empty.
TImageList& GetPreviewButtonImages();
// Adds a strip's tiles (clearing the list first when clear is set).
void SetPreviewButtonImages(const TBitmap& strip, bool clear);

// The 16-pixel images of the report object classes (indexes as the object registry gives
// them). The program carries no strip for it yet, so the list holds only what modules add.
TImageList& GetObjectImages();
// Adds a strip's tiles (clearing the list first when clear is set).
void SetObjectImages(const TBitmap& strip, bool clear);
