#pragma once
// The image filters' own encoders: an uncompressed single-strip TIFF and a GIF89a with an
// 8-bit global colour table and LZW-compressed pixels.

#include <string>

class TBitmap;
class TStream;

// Writes the bitmap as TIFF at the stream's current position and leaves the stream at its end.
// Offsets in the file count from where the image starts, so images may follow one another in
// one stream. `resolution` is in dots per inch (EInvalidArgument below 1). An empty bitmap
// writes nothing.
void WriteTIFF(int resolution, TStream& stream, TBitmap& bitmap);
// Writes the bitmap as GIF; the bitmap is left converted to 8 bits per pixel. A bitmap wider or
// higher than 65535 pixels raises EInvalidGraphicOperation before anything is written.
void WriteGIF(TStream& stream, TBitmap& bitmap);
// Creates (or replaces) the file and writes the bitmap to it as GIF. The file changes only when
// the whole image is written; otherwise the error (EFCreateError, EWriteError) is raised and the
// file is as it was.
void SaveGIFToFile(const std::string& fileName, TBitmap& bitmap);
