#include "engine/text_measurer.h"

#include "platform/graphics/font_measurer.h"

TpgwTextMeasurer::~TpgwTextMeasurer() = default;

namespace {

class PlatformMeasurer final : public TpgwTextMeasurer {
public:
    int Advances(const TFontData& font, std::u16string_view text, int* out) const override {
        if (text.empty()) return 0;
        // Lines of one memo are measured in the same font over and over; the platform's cache
        // lookup takes a lock, so the last font's measurer is kept per thread.
        thread_local TFontData lastFont;
        thread_local std::shared_ptr<const TFontMeasurer> last;
        if (!last || !(lastFont.Name == font.Name && lastFont.Height == font.Height &&
                       lastFont.Style == font.Style)) {
            last = TFontMeasurer::ForFont(font);
            lastFont = font;
        }
        return last->Advances(text, out);
    }
};

} // namespace

std::shared_ptr<const TpgwTextMeasurer> DefaultTextMeasurer() {
    static const auto measurer = std::make_shared<const PlatformMeasurer>();
    return measurer;
}
