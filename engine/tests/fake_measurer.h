#pragma once
// A measurer with fixed advances: every UTF-16 unit is `regular` pixels wide at an em height of
// 100 pixels (a 12-point font at 600 ppi), `bold` pixels when bold, scaled with the em height.

#include <memory>

#include "engine/text_measurer.h"

class FakeMeasurer final : public TpgwTextMeasurer {
public:
    explicit FakeMeasurer(int regular = 50, int bold = 60) : regular_(regular), bold_(bold) {}
    int Advances(const TFontData& font, std::u16string_view text, int* out) const override {
        const int em = font.Height < 0 ? -font.Height : font.Height;
        const int base = font.Style.Contains(fsBold) ? bold_ : regular_;
        const int advance = (em * base + 50) / 100;
        for (std::size_t i = 0; i < text.size(); ++i)
            out[i] = advance;
        return advance * static_cast<int>(text.size());
    }
    static std::shared_ptr<FakeMeasurer> Make(int regular = 50, int bold = 60) {
        return std::make_shared<FakeMeasurer>(regular, bold);
    }

private:
    int regular_;
    int bold_;
};
