// The rich edit on a form: an editor over the control's own document, whose keys and input
// method reach the text only through the control.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/tests/modal_steps.h"
#include "objects/rich_edit.h"
#include "objects/unicode_controls.h"
#include "platform/core/stream.h"
#include "platform/ui/form.h"
#include "platform/ui/test_input.h"

namespace {

void Load(TQvRichEdit& edit, const std::string& bytes) {
    TMemoryStream stream;
    stream.Write(bytes.data(), static_cast<std::int64_t>(bytes.size()));
    stream.SetPosition(0);
    edit.Lines().LoadFromStream(stream);
}

// A 40 × 40 pixel red picture between "A" and "B".
const std::string kPictureRtf =
    R"({\rtf1\ansi{\fonttbl{\f0 Arial;}}\pard\f0\fs20 A{\pict\dibitmap0\picw1\pich1)"
    R"(\picwgoal600\pichgoal600 28000000010000000100000001001800000000000400000013)"
    R"(0b0000130b000000000000000000000000ff00}B\par})";

int RedPixels(const TRasterImage& image) {
    int n = 0;
    for (std::uint32_t p : image.Pixels)
        if (((p >> 16) & 0xFF) > 200 && ((p >> 8) & 0xFF) < 60 && (p & 0xFF) < 60) ++n;
    return n;
}

class RichEditor : public ::testing::Test {
protected:
    void SetUp() override {
        form.SetBounds(0, 0, 400, 300);
        edit = new TQvRichEdit(&form);
        edit->SetBounds(0, 0, 380, 200);
        edit->SetParent(&form);
    }
    TForm form{nullptr};
    TQvRichEdit* edit = nullptr;
};

} // namespace

TEST(RichEditorWindowless, AControlWithoutAParentHasNoEditor) {
    TQvRichEdit edit(nullptr);
    EXPECT_FALSE(edit.HasEditor());
    EXPECT_EQ(edit.CharFromPoint(1, 1), -1);
    edit.SetSelText("text");
    EXPECT_EQ(edit.Text(), "text");
}

TEST_F(RichEditor, KeysAndTheInputMethodEditThroughTheControl) {
    ASSERT_TRUE(edit->HasEditor());
    int changes = 0, moves = 0;
    edit->OnChange = [&](TObject*) { ++changes; };
    edit->OnSelectionChange = [&](TObject*) { ++moves; };

    TypeText(*edit, u"ab\u4F60");
    EXPECT_EQ(edit->Text(), "ab\u4F60");
    CommitText(*edit, u"\u597D");
    EXPECT_EQ(edit->Text(), "ab\u4F60\u597D");
    EXPECT_EQ(edit->SelStart(), 4);
    EXPECT_GE(changes, 4);
    EXPECT_GE(moves, 4);

    PressKey(*edit, VK_BACK);
    EXPECT_EQ(edit->Text(), "ab\u4F60");
    // The caret moved by the editor is the control's caret.
    PressKey(*edit, VK_LEFT);
    EXPECT_EQ(edit->SelStart(), 2);
    PressKey(*edit, VK_BACK);
    EXPECT_EQ(edit->Text(), "a\u4F60");
    PressKey(*edit, VK_DELETE);
    EXPECT_EQ(edit->Text(), "a");
    PressKey(*edit, 'Z', ShiftBit(ssCtrl));
    EXPECT_EQ(edit->Text(), "a\u4F60");

    // A selection made by code is where typing goes.
    edit->SetSelStart(0);
    edit->SetSelLength(1);
    TypeText(*edit, u"X\r");
    EXPECT_EQ(edit->Lines().Count(), 2);
    EXPECT_EQ(edit->Lines().Strings(0), "X");
    EXPECT_EQ(edit->Lines().Strings(1), "\u4F60");
}

TEST_F(RichEditor, ReadOnlyTheLimitAndProtectionHoldForTheKeyboard) {
    edit->SetText("abc");
    edit->SetSelStart(3);
    edit->SetReadOnly(true);
    TypeText(*edit, u"d");
    PressKey(*edit, VK_BACK);
    EXPECT_EQ(edit->Text(), "abc");
    edit->SetReadOnly(false);

    // Only what fits is typed, and a surrogate pair is never cut.
    edit->SetMaxLength(5);
    CommitText(*edit, u"d\U0001F600");
    EXPECT_EQ(edit->Text(), "abcd");
    CommitText(*edit, u"ef");
    EXPECT_EQ(edit->Text(), "abcde");
    PressKey(*edit, VK_BACK);
    EXPECT_EQ(edit->Text(), "abcd");
    edit->SetMaxLength(0);

    edit->SelectAll();
    TRichCharFormat lock;
    lock.Mask = TRichCharFormat::cfmProtected;
    lock.Protected = true;
    edit->Document().SetCharFormat(TRichDocument::scSelection, lock);
    edit->SetSelStart(2);
    edit->SetSelLength(0);
    PressKey(*edit, VK_DELETE);
    EXPECT_EQ(edit->Text(), "abcd");
}

TEST_F(RichEditor, PicturesShowAndALoadedDocumentStaysEditable) {
    Load(*edit, kPictureRtf);
    EXPECT_GT(RedPixels(edit->GrabImage()), 40 * 40 * 8 / 10);

    // Loading replaces the document underneath; the editor shows and edits the new one.
    Load(*edit, "{\\rtf1\\ansi plain}");
    EXPECT_EQ(RedPixels(edit->GrabImage()), 0);
    edit->SetSelStart(5);
    TypeText(*edit, u"!");
    EXPECT_EQ(edit->Text(), "plain!");
}

TEST_F(RichEditor, AClickOnALinkReportsIt) {
    edit->SetText("see http://a.example now");
    std::vector<std::string> clicks;
    edit->OnURLClick = [&](TObject*, const std::string& url, TMouseButton) {
        clicks.push_back(url);
    };
    // The point over the link's second character, found through the editor's own hit test.
    int x = 0;
    while (x < edit->Width() && edit->CharFromPoint(x, 8) != 6)
        ++x;
    ASSERT_LT(x, edit->Width());
    MouseClick(*edit, x, 8);
    EXPECT_EQ(clicks, std::vector<std::string>{"http://a.example"});
}

TEST(UnicodeMemoTyping, TypedCharactersGoInWhole) {
    TUnicodeMemo memo(nullptr);
    TypeText(memo, u"\u4F60\U0001F600");
    EXPECT_EQ(memo.GetWideText(), u"\u4F60\U0001F600");
}
