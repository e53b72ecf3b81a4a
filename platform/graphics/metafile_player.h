#pragma once
// Windows metafiles played into our own recording, so that they draw, print, search and export
// like any recorded picture: a WMF with or without the placeable header, or an EMF.

#include <cstdint>
#include <optional>
#include <span>

#include "platform/graphics/metafile.h"

// Pictures are recorded at four times the 96 per inch of their frame, so that positions and pen
// widths keep a quarter-pixel precision when they are printed; very large frames get less.
inline constexpr int kMetafileRecordingResolution = 384;

// The metafile's drawing as a recording of its frame: the placeable header's box, the EMF
// frame (or its bounds when the frame is empty), for a WMF without the header its window, or
// when it sets none, the box of what it draws. Records that are not understood are skipped;
// a damaged record ends the play with what was drawn before it. Null when the bytes are no
// metafile, have no frame, or not one record can be read.
std::optional<TRecording> PlayWindowsMetafile(std::span<const std::uint8_t> bytes);
