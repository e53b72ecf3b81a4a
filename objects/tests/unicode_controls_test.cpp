// The wide-text accessors of the designer's editors: any character goes in and comes back, and
// writing the same text again changes nothing.

#include "objects/unicode_controls.h"

#include <gtest/gtest.h>

#include "engine/tests/modal_steps.h"

TEST(UnicodeControls, WideTextGoesInWholeAndUnchangedTextIsNotWrittenAgain) {
    TUnicodeMemo memo(nullptr);
    int changes = 0;
    memo.OnChange = [&](TObject*) { ++changes; };
    memo.SetWideText(u"\u4F60\u597D \U0001F600");
    EXPECT_EQ(memo.GetWideText(), u"\u4F60\u597D \U0001F600");
    const int after = changes;
    memo.SetWideText(u"\u4F60\u597D \U0001F600");
    EXPECT_EQ(changes, after);

    TQvUnicodeRichEdit rich(nullptr);
    rich.SetWideText(u"\u4F60");
    rich.SetSelStart(1);
    rich.SetSelText("\xE5\xA5\xBD"); // 好
    EXPECT_EQ(rich.GetWideText(), u"\u4F60\u597D");
}
