#pragma once
// The advance source of memo text layout and drawing. The layout asks for whole-pixel advances
// per UTF-16 unit of a font at its em height; the default is the platform's font measurer, the
// one that also serves drawing, and tests put a fixed-advance measurer in its place.

#include <memory>
#include <string_view>

#include "platform/graphics/font.h"

class TpgwTextMeasurer {
public:
    virtual ~TpgwTextMeasurer();
    // One advance per UTF-16 unit of text in font (selected by name, style and Height) into out,
    // sized by the caller to text.size(); returns their sum.
    virtual int Advances(const TFontData& font, std::u16string_view text, int* out) const = 0;
};

// The platform measurer: the face resolver and advances every canvas draws with.
std::shared_ptr<const TpgwTextMeasurer> DefaultTextMeasurer();
