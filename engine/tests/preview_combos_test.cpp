// The combo controls: list and edit geometry, the flat face as painted, the recent-font list
// against a temporary settings store, and the combo edit's button and dialog keys.

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "engine/preview_combos.h"
#include "engine/preview_workspace.h"
#include "platform/core/properties.h"
#include "platform/core/settings_store.h"
#include "platform/graphics/bitmap.h"
#include "platform/graphics/canvas.h"
#include "platform/ui/form.h"

namespace fs = std::filesystem;

namespace {

// Points the user settings store at a fresh folder for the test's lifetime.
class ScopedConfigDir {
public:
    ScopedConfigDir() {
        path_ = fs::temp_directory_path() / ("preview_combos_" + std::to_string(::getpid()));
        fs::remove_all(path_);
        fs::create_directories(path_);
        if (const char* old = std::getenv("LUMETRA_CONFIG_DIR")) saved_ = old;
        ::setenv("LUMETRA_CONFIG_DIR", path_.c_str(), 1);
    }
    ~ScopedConfigDir() {
        if (saved_)
            ::setenv("LUMETRA_CONFIG_DIR", saved_->c_str(), 1);
        else
            ::unsetenv("LUMETRA_CONFIG_DIR");
        std::error_code ec;
        fs::remove_all(path_, ec);
    }

private:
    fs::path path_;
    std::optional<std::string> saved_;
};

std::vector<TpgwFontEntry> Fonts(std::initializer_list<const char*> names) {
    std::vector<TpgwFontEntry> fonts;
    for (const char* name : names)
        fonts.push_back({name, TRUETYPE_FONTTYPE});
    return fonts;
}

std::vector<std::string> Names(const TpgwFontList& list) {
    std::vector<std::string> names;
    for (const auto& entry : list.Items())
        names.push_back(entry.Name);
    return names;
}

std::vector<std::string> First(const TpgwFontList& list, int count) {
    auto names = Names(list);
    names.resize(count);
    return names;
}

// The last place of a name: its place in the sorted part.
int SortedIndex(const TpgwFontList& list, const std::string& name) {
    const auto names = Names(list);
    return static_cast<int>(names.rend() - std::find(names.rbegin(), names.rend(), name)) - 1;
}

// The "Font0".."Font4" values as stored.
std::vector<std::string> Stored(std::string_view key = kDefaultMRUFontKey) {
    TRegistry store;
    std::vector<std::string> names;
    if (!store.OpenKey(key, false)) return names;
    for (int n = 0; n < kMaxRecentFonts; ++n)
        names.push_back(store.ReadString("Font" + std::to_string(n)));
    return names;
}

void Store(const std::vector<std::string>& names) {
    TRegistry store;
    ASSERT_TRUE(store.OpenKey(kDefaultMRUFontKey, true));
    for (int n = 0; n < static_cast<int>(names.size()); ++n) {
        store.WriteString("Font" + std::to_string(n), names[n]);
        store.WriteInteger("FontType" + std::to_string(n), TRUETYPE_FONTTYPE);
    }
}

const auto kSix = {"Alpha", "Beta", "Gamma", "Delta", "Epsilon", "Zeta"};

} // namespace

// ---- geometry ----------------------------------------------------------------------------------

TEST(ComboGeometry, ListHeightEditAndButtonPlaces) {
    struct Case {
        int itemHeight, dropDownCount, itemCount, expected;
    };
    const Case cases[] = {
        {16, 8, 3, 50},   // fewer items than the drop-down count
        {16, 8, 20, 130}, // capped at the drop-down count
        {16, 8, 0, 18},   // empty list: one item's room
        {16, 0, 5, 18},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ComboListHeight(c.itemHeight, c.dropDownCount, c.itemCount), c.expected)
            << c.dropDownCount << " " << c.itemCount;

    EXPECT_EQ(ComboEditBounds(100, 21, 11, 0), TRect(3, 3, 84, 18));
    EXPECT_EQ(ComboEditBounds(150, 21, 11, 16), TRect(19, 3, 134, 18));
    EXPECT_EQ(ComboEditButtonBounds(120, 21), TRect(101, 2, 118, 19));

    // Bottom at 700 + 16 + 130 + 6 = 852: upwards only when that passes the screen.
    EXPECT_FALSE(ComboOpensUpwards(700, 16, 130, 852));
    EXPECT_TRUE(ComboOpensUpwards(700, 16, 130, 851));
}

TEST(ComboGeometry, ComboBoxDefaultsAndListWidth) {
    TForm form{nullptr};
    auto* box = new TpgwComboBox(&form);
    box->SetParent(&form);
    EXPECT_EQ(box->Width(), 100);
    EXPECT_EQ(box->ButtonWidth(), 11);
    EXPECT_EQ(box->ItemHeight(), FontTextHeight(box->Font()->Data()));
    EXPECT_EQ(box->EffectiveListWidth(), 100);
    box->SetListWidth(180);
    EXPECT_EQ(box->EffectiveListWidth(), 180);
    EXPECT_EQ(box->Face(), cfNormal);
    box->SetMouseInControl(true);
    EXPECT_EQ(box->Face(), cfHot);
    box->SetEnabled(false);
    EXPECT_EQ(box->Face(), cfDisabled);

    for (int i = 0; i < 20; ++i)
        box->Items().Add("item");
    box->PlaceList(500, 1000); // 500 + h + 130 + 6 fits
    EXPECT_FALSE(box->UpDropdown());
    box->PlaceList(900, 1000);
    EXPECT_TRUE(box->UpDropdown());
}

// ---- flat face ---------------------------------------------------------------------------------

TEST(FlatComboFace, StatesPaintFrameButtonAndArrow) {
    const int w = 100, h = 21, bw = 11;
    const int arrowX = w + bw / 2 - bw - 4, arrowY = (h - 4) / 2 + 1;
    const int buttonLeft = w - bw - 3;
    struct Case {
        TpgwComboFace face;
        TColor frame, fill, arrow;
    };
    const Case cases[] = {
        {cfNormal, clBtnFace, clBtnFace, clBtnText},
        {cfHot, clHighlight, MixColors(clHighlight, clWindow, 30), clBtnText},
        {cfDroppedDown, clHighlight, MixColors(clHighlight, clWindow, 50), clCaptionText},
        {cfDisabled, clBtnShadow, clBtnFace, clGrayText},
    };
    for (const Case& c : cases) {
        TBitmap bitmap(w, h);
        bitmap.Canvas().Brush().SetColor(clFuchsia);
        bitmap.Canvas().FillRect(TRect(0, 0, w, h));
        PaintFlatCombo(bitmap.Canvas(), w, h, bw, c.face);
        const TCanvas& canvas = bitmap.Canvas();
        SCOPED_TRACE(static_cast<int>(c.face));
        EXPECT_EQ(canvas.Pixel(0, 0), ColorToRGB(c.frame));
        EXPECT_EQ(canvas.Pixel(w - 1, h - 1), ColorToRGB(c.frame));
        EXPECT_EQ(canvas.Pixel(buttonLeft + 4, 4), ColorToRGB(c.fill));
        // The arrow: 5, 3 and 1 pixels, each row one pixel further in.
        for (int x = 0; x < 5; ++x)
            EXPECT_EQ(canvas.Pixel(arrowX + x, arrowY), ColorToRGB(c.arrow));
        EXPECT_EQ(canvas.Pixel(arrowX + 2, arrowY + 2), ColorToRGB(c.arrow));
        EXPECT_NE(canvas.Pixel(arrowX + 1, arrowY + 2), ColorToRGB(c.arrow));
        EXPECT_NE(canvas.Pixel(arrowX + 5, arrowY), ColorToRGB(c.arrow));
    }
}

// The live box paints the flat face itself: normal, then hot while the mouse is over it.
TEST(FlatComboFace, TheLiveBoxShowsItAndPlacesItsEdit) {
    TForm form(nullptr);
    form.SetBounds(0, 0, 300, 100);
    auto* combo = new TpgwComboBox(&form);
    combo->SetParent(&form);
    combo->SetBounds(10, 10, 100, 21);
    form.Show();
    const int buttonLeft = 100 - combo->ButtonWidth() - 3;
    auto pixel = [](const TRasterImage& image, int x, int y) {
        const std::uint32_t p = image.At(x, y);
        return static_cast<TColor>(((p >> 16) & 0xFF) | (p & 0xFF00) | ((p & 0xFF) << 16));
    };
    TRasterImage shot = combo->GrabImage();
    EXPECT_EQ(pixel(shot, 0, 0), ColorToRGB(clBtnFace));
    EXPECT_EQ(pixel(shot, buttonLeft + 4, 4), ColorToRGB(clBtnFace));
    combo->SetMouseInControl(true);
    shot = combo->GrabImage();
    EXPECT_EQ(pixel(shot, 0, 0), ColorToRGB(clHighlight));
    EXPECT_EQ(pixel(shot, buttonLeft + 4, 4), ColorToRGB(MixColors(clHighlight, clWindow, 30)));
    EXPECT_EQ(combo->FaceEditRect(), std::optional<TRect>(ComboEditBounds(100, 21, 11, 0)));
}

// Templates and the designer make the combos by class name and set their published properties.
TEST(ComboGeometry, MadeByClassNameWithTheirPublishedProperties) {
    RegisterPreviewComboClasses();
    TForm form(nullptr);
    auto make = [&](const char* name) {
        const TClassInfo* cls = GetClass(name);
        EXPECT_NE(cls, nullptr) << name;
        return cls ? dynamic_cast<TComponent*>(cls->Create(&form)) : nullptr;
    };
    TComponent* combo = make("TpgwComboBox");
    TComponent* fonts = make("TpgwFontComboBox");
    TComponent* edit = make("TpgwComboEdit");
    ASSERT_TRUE(combo && fonts && edit);
    SetPropValue(*combo, "ListWidth", Variant(160));
    EXPECT_EQ(static_cast<TpgwComboBox*>(combo)->EffectiveListWidth(), 160);
    EXPECT_EQ(GetPropValue(*combo, "ReadOnly"), Variant(false));
    EXPECT_EQ(GetPropValue(*combo, "DropDownCount"), Variant(8));
    EXPECT_EQ(GetPropValue(*fonts, "ShowMRU"), Variant(true));
    SetPropValue(*fonts, "MRURegKey", Variant("\\Software\\Test\\Fonts"));
    EXPECT_EQ(static_cast<TpgwFontComboBox*>(fonts)->MRURegKey(), "\\Software\\Test\\Fonts");
    SetPropValue(*edit, "ButtonEnabled", Variant(false));
    EXPECT_FALSE(static_cast<TpgwComboEdit*>(edit)->Button()->Enabled());
}

// ---- recent fonts ------------------------------------------------------------------------------

TEST(FontList, FillSortsAndDropsDuplicateNames) {
    TpgwFontList list;
    list.Fill(Fonts({"Gamma", "Alpha", "Beta", "Alpha"}));
    EXPECT_EQ(Names(list), (std::vector<std::string>{"Alpha", "Beta", "Gamma"}));
    EXPECT_EQ(list.MRUCount(), -1);
}

TEST(FontList, ChoosingBuildsTheRecentBlockOfFive) {
    TpgwFontList list;
    list.Fill(Fonts(kSix)); // sorted: Alpha Beta Delta Epsilon Gamma Zeta
    // Copies from below the block go to the top; the sorted place keeps its own.
    for (const char* name : {"Zeta", "Beta", "Gamma", "Alpha", "Delta"})
        EXPECT_EQ(list.Choose(SortedIndex(list, name)), 0);
    EXPECT_EQ(list.MRUCount(), 4);
    EXPECT_EQ(First(list, 5),
              (std::vector<std::string>{"Delta", "Alpha", "Gamma", "Beta", "Zeta"}));
    EXPECT_EQ(list.Items().size(), 11u);

    // A sixth font drops the oldest.
    list.Choose(SortedIndex(list, "Epsilon"));
    EXPECT_EQ(list.MRUCount(), 4);
    EXPECT_EQ(First(list, 5),
              (std::vector<std::string>{"Epsilon", "Delta", "Alpha", "Gamma", "Beta"}));
    EXPECT_EQ(list.Items().size(), 11u);

    // A name already in the block moves to the top without growing it.
    list.Choose(3); // Gamma
    EXPECT_EQ(First(list, 5),
              (std::vector<std::string>{"Gamma", "Epsilon", "Delta", "Alpha", "Beta"}));
    EXPECT_EQ(list.Items().size(), 11u);
    // Its place in the sorted part is chosen the same way.
    list.Choose(SortedIndex(list, "Alpha"));
    EXPECT_EQ(First(list, 5),
              (std::vector<std::string>{"Alpha", "Gamma", "Epsilon", "Delta", "Beta"}));
    EXPECT_EQ(list.Items().size(), 11u);
}

TEST(FontList, StoreKeepsOrderAndDropsUninstalledFonts) {
    ScopedConfigDir config;
    Store({"Gamma", "Missing", "Alpha"});
    TpgwFontList list;
    list.Fill(Fonts(kSix));
    TRegistry store;
    list.LoadRecent(store, kDefaultMRUFontKey);
    EXPECT_EQ(list.MRUCount(), 1);
    EXPECT_EQ(list.Items()[0].Name, "Gamma"); // Font0, the most recent, first
    EXPECT_EQ(list.Items()[1].Name, "Alpha");
    EXPECT_EQ(list.Items()[0].FontType, TRUETYPE_FONTTYPE);
    EXPECT_EQ(Stored(), (std::vector<std::string>{"Gamma", "", "Alpha", "", ""}));

    list.Choose(list.IndexOf("Zeta"));
    list.SaveRecent(store, kDefaultMRUFontKey);
    EXPECT_EQ(Stored(), (std::vector<std::string>{"Zeta", "Gamma", "Alpha", "", ""}));

    TpgwFontList reloaded;
    reloaded.Fill(Fonts(kSix));
    reloaded.LoadRecent(store, kDefaultMRUFontKey);
    EXPECT_EQ(First(reloaded, 3), (std::vector<std::string>{"Zeta", "Gamma", "Alpha"}));
    EXPECT_EQ(reloaded.MRUCount(), 2);
}

TEST(FontComboBox, FillsFromTheSourceAndRemembersPicks) {
    ScopedConfigDir config;
    TpgwScopedFontSource fonts([] { return Fonts(kSix); });
    Store({"Beta"});
    TForm form{nullptr};
    auto* combo = new TpgwFontComboBox(&form);
    combo->SetParent(&form);
    EXPECT_EQ(combo->DropDownCount(), 12);
    EXPECT_EQ(combo->Width(), 150);
    EXPECT_TRUE(combo->ReadOnly());

    int clicks = 0;
    combo->OnClick = [&](TObject*) { ++clicks; };
    combo->Reset();
    EXPECT_EQ(clicks, 0); // filling does not click
    ASSERT_EQ(combo->Items().Count(), 7);
    EXPECT_EQ(combo->Items().Strings(0), "Beta");
    EXPECT_EQ(combo->MRUCount(), 0);
    EXPECT_EQ(combo->FontTypeAt(0), TRUETYPE_FONTTYPE);

    combo->ItemChosen(combo->Items().IndexOf("Zeta"));
    EXPECT_EQ(combo->ItemIndex(), 0);
    EXPECT_EQ(combo->Text(), "Zeta");
    EXPECT_EQ(Stored(), (std::vector<std::string>{"Zeta", "Beta", "", "", ""}));

    // The text survives a refill while it names a listed font.
    combo->Reset();
    EXPECT_EQ(combo->Text(), "Zeta");
    EXPECT_EQ(combo->Items().Strings(1), "Beta");
    {
        TpgwScopedFontSource fewer([] { return Fonts({"Alpha"}); });
        combo->Reset();
        EXPECT_EQ(combo->ItemIndex(), -1);
        EXPECT_EQ(Stored(), (std::vector<std::string>{"", "", "", "", ""}));
    }

    // A pick from the list joins the recent fonts before OnClick sees it.
    combo->Reset();
    std::string seen;
    combo->OnClick = [&](TObject*) { seen = combo->Text(); };
    combo->SetItemIndex(combo->Items().IndexOf("Gamma"));
    combo->Selected();
    EXPECT_EQ(seen, "Gamma");
    EXPECT_EQ(combo->ItemIndex(), 0);
    EXPECT_EQ(Stored()[0], "Gamma");

    // Without ShowMRU nothing is read or written.
    Store({"Delta"});
    combo->SetShowMRU(false);
    combo->Reset();
    EXPECT_EQ(combo->MRUCount(), -1);
    combo->ItemChosen(3);
    EXPECT_EQ(Stored()[0], "Delta");
}

TEST(FontComboBox, OwnKeyIsUsed) {
    ScopedConfigDir config;
    TpgwScopedFontSource fonts([] { return Fonts(kSix); });
    TForm form{nullptr};
    auto* combo = new TpgwFontComboBox(&form);
    combo->SetParent(&form);
    combo->SetMRURegKey("\\Software\\Other\\Fonts");
    combo->Reset();
    combo->ItemChosen(2);
    EXPECT_EQ(Stored("\\Software\\Other\\Fonts")[0], "Delta");
    EXPECT_TRUE(Stored().empty());
}

// ---- combo edit --------------------------------------------------------------------------------

TEST(ComboEdit, ButtonClicksAndDialogKeys) {
    TForm form{nullptr};
    auto* edit = new TpgwComboEdit(&form);
    edit->SetParent(&form);
    edit->SetBounds(0, 0, 120, 21);
    EXPECT_EQ(edit->Height(), 21);
    EXPECT_EQ(edit->Button()->BoundsRect(), ComboEditButtonBounds(120, 21));
    edit->SetWidth(200);
    EXPECT_EQ(edit->Button()->BoundsRect(), ComboEditButtonBounds(200, 21));

    int clicks = 0;
    edit->OnButtonClick = [&](TObject*) { ++clicks; };
    edit->Button()->Click();
    EXPECT_EQ(clicks, 1);
    edit->SetButtonEnabled(false);
    EXPECT_FALSE(edit->Button()->Enabled());
    edit->ButtonClick();
    EXPECT_EQ(clicks, 1);

    // Enter and Escape reach the form's default and cancel buttons.
    auto* ok = new TButton(&form);
    ok->SetParent(&form);
    ok->SetDefault(true);
    ok->SetModalResult(mrOk);
    auto* cancel = new TButton(&form);
    cancel->SetParent(&form);
    cancel->SetCancel(true);
    cancel->SetModalResult(mrCancel);
    std::uint16_t key = VK_RETURN;
    EXPECT_TRUE(edit->DoKeyDown(key, {}));
    EXPECT_EQ(form.ModalResult(), mrOk);
    key = VK_ESCAPE;
    EXPECT_TRUE(edit->DoKeyDown(key, {}));
    EXPECT_EQ(form.ModalResult(), mrCancel);
}

TEST(FontComboBox, ItemsShowTheMarkAndALineUnderTheRecentBlock) {
    ScopedConfigDir config;
    TpgwScopedFontSource fonts([] { return Fonts(kSix); });
    Store({"Beta", "Gamma"});
    TForm form{nullptr};
    auto* combo = new TpgwFontComboBox(&form);
    combo->SetParent(&form);
    combo->Reset();
    ASSERT_EQ(combo->MRUCount(), 1);
    EXPECT_GE(combo->ItemHeight(), 13); // room for the font-type mark

    const int w = 150, h = combo->ItemHeight();
    auto bottomLine = [&](int row) {
        TBitmap bitmap(w, h);
        combo->PaintItem(bitmap.Canvas(), row, TRect(0, 0, w, h), 0);
        int shadow = 0;
        for (int x = 0; x < w; ++x)
            shadow += bitmap.Canvas().Pixel(x, h - 1) == ColorToRGB(clBtnShadow);
        return shadow;
    };
    EXPECT_EQ(bottomLine(1), w); // the last recent font
    EXPECT_EQ(bottomLine(0), 0);
    EXPECT_EQ(bottomLine(2), 0);

    // The mark stands left of the name, the name starts after it.
    TBitmap bitmap(w, h);
    combo->PaintItem(bitmap.Canvas(), 2, TRect(0, 0, w, h), 0);
    const TColor back = bitmap.Canvas().Pixel(w - 1, 0);
    int marked = 0;
    for (int y = 0; y < h; ++y)
        for (int x = 1; x < 14; ++x)
            marked += bitmap.Canvas().Pixel(x, y) != back;
    EXPECT_GT(marked, 10);
}

TEST(FontPreview, PlacedBesideTheComboAndShowsTheSelectedFont) {
    const TRect control(100, 200, 250, 221);
    EXPECT_EQ(FontPreviewBounds(control, 1024, false), TRect(251, 221, 451, 271));
    EXPECT_EQ(FontPreviewBounds(control, 1024, true), TRect(251, 150, 451, 200));
    EXPECT_EQ(FontPreviewBounds(TRect(900, 200, 1000, 221), 1024, false),
              TRect(699, 221, 899, 271)); // would leave the screen: left of the control

    TpgwScopedFontSource fonts([] { return Fonts(kSix); });
    TForm form{nullptr};
    auto* combo = new TpgwFontComboBox(&form);
    combo->SetParent(&form);
    combo->SetShowMRU(false);
    combo->Reset();
    ASSERT_NE(combo->Preview(), nullptr);
    EXPECT_FALSE(combo->Preview()->Visible());
    TBitmap bitmap(150, combo->ItemHeight());
    const TRect r(0, 0, 150, combo->ItemHeight());
    combo->PaintItem(bitmap.Canvas(), 2, r, odSelected);
    EXPECT_EQ(combo->Preview()->Sample(), "Delta");
    combo->PaintItem(bitmap.Canvas(), 4, r, 0); // not selected: the sample stays
    combo->PaintItem(bitmap.Canvas(), 4, r, odSelected | odComboBoxEdit); // the face: stays
    EXPECT_EQ(combo->Preview()->Sample(), "Delta");

    // The sample paints the name over the window colour.
    TpgwFontPreview* preview = combo->Preview();
    preview->SetParent(&form);
    preview->SetVisible(true);
    form.SetBounds(0, 0, 300, 120);
    const TRasterImage image = preview->GrabImage();
    ASSERT_EQ(image.Width, 200);
    const TColor w = ColorToRGB(clWindow);
    const std::uint32_t window =
        0xFF000000u | (GetRValue(w) << 16) | (GetGValue(w) << 8) | GetBValue(w);
    int ink = 0;
    for (int y = 0; y < image.Height; ++y)
        for (int x = 0; x < image.Width; ++x)
            ink += (image.At(x, y) | 0xFF000000u) != window;
    EXPECT_GT(ink, 50);
    EXPECT_EQ(image.At(2, 2) | 0xFF000000u, window);
}
