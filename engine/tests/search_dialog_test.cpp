// The find dialog shown modally offscreen: it offers the last confirmed text, selected and
// focused, and only OK makes a text the last one.

#include "engine/search_dialog.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/tests/modal_steps.h"
#include "platform/graphics/raster_image.h"
#include "platform/ui/application.h"
#include "platform/ui/containers.h"
#include "platform/ui/std_controls.h"

namespace {

using Step = std::function<void(TpgwSearchDialog&)>;

// Pixels of a strong colour inside the edit's frame (a focused frame is coloured too): a
// selection's background, never the grey and black of plain text.
int selectionPixels(const TRasterImage& image) {
    constexpr int frame = 3;
    int count = 0;
    for (int y = frame; y < image.Height - frame; ++y)
        for (int x = frame; x < image.Width - frame; ++x) {
            const std::uint32_t pixel = image.Pixels[static_cast<std::size_t>(y * image.Width + x)];
            const int r = (pixel >> 16) & 0xFF, g = (pixel >> 8) & 0xFF, b = pixel & 0xFF;
            if (std::max({r, g, b}) - std::min({r, g, b}) > 80) ++count;
        }
    return count;
}

class SearchDialog : public ::testing::Test {
protected:
    void SetUp() override {
        Application()->ResetTerminated();
        LastSearchText().clear();
    }
    void TearDown() override {
        Application()->ProcessMessages();
        LastSearchText().clear();
    }

    TModalResult show(std::vector<Step> steps) {
        auto dialog = std::make_unique<TpgwSearchDialog>(nullptr);
        whenActive(dialog.get(), std::move(steps), 0);
        const TModalResult result = dialog->ShowModal();
        Application()->ProcessMessages();
        return result;
    }
    // The window system activates the dialog some events after it shows; the steps start then.
    static void whenActive(TpgwSearchDialog* d, std::vector<Step> steps, int polls) {
        Application()->QueueCall([d, steps = std::move(steps), polls]() mutable {
            if (!d->Visible()) return;
            if (d->Active() || polls >= 1000) {
                EXPECT_TRUE(d->Active());
                QueueModalSteps(d, std::move(steps), 0);
                return;
            }
            whenActive(d, std::move(steps), polls + 1);
        });
    }
};

TEST_F(SearchDialog, OffersTheLastConfirmedTextSelected) {
    show({[](TpgwSearchDialog& d) {
        EXPECT_EQ(d.TextE->Text(), "");
        EXPECT_FALSE(d.ReplacePanel->Visible());
        d.TextE->SetText("Invoice 17");
        d.CaseCB->SetChecked(true);
        d.OkB->Click();
    }});
    EXPECT_EQ(LastSearchText(), "Invoice 17");

    show({[](TpgwSearchDialog& d) {
        EXPECT_EQ(d.TextE->Text(), "Invoice 17");
        EXPECT_TRUE(d.TextE->Focused());
        EXPECT_FALSE(d.CaseCB->Checked()) << "only the text is remembered";
        const TRasterImage selected = d.TextE->GrabImage();
        // Set again, the text ends with the caret and nothing selected.
        d.TextE->SetText("");
        d.TextE->SetText("Invoice 17");
        const TRasterImage plain = d.TextE->GrabImage();
        EXPECT_GT(selectionPixels(selected), 100);
        EXPECT_EQ(selectionPixels(plain), 0);
        d.CancelB->Click();
    }});
}

TEST_F(SearchDialog, OnlyOkKeepsTheText) {
    LastSearchText() = "total";
    const TModalResult result = show({[](TpgwSearchDialog& d) {
        d.TextE->SetText("sum");
        d.CancelB->Click();
    }});
    EXPECT_EQ(result, mrCancel);
    EXPECT_EQ(LastSearchText(), "total");

    show({[](TpgwSearchDialog& d) {
        EXPECT_EQ(d.TextE->Text(), "total");
        d.TextE->SetText("");
        d.TopCB->SetChecked(true);
        d.OkB->Click();
    }});
    EXPECT_EQ(LastSearchText(), "");
}

} // namespace
