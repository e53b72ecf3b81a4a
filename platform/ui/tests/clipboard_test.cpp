// The clipboard keeps text and named formats side by side, and a new SetData replaces them all.

#include "platform/ui/clipboard.h"

#include <gtest/gtest.h>

TEST(Clipboard, TextAndNamedFormatsTravelTogether) {
    TClipboard& board = Clipboard();
    board.SetData({{"text/plain", "你好 plain"}, {"text/rtf", "{\\rtf1 x}"}});
    EXPECT_EQ(board.AsText(), "你好 plain");
    EXPECT_TRUE(board.HasFormat("text/rtf"));
    EXPECT_EQ(board.Data("text/rtf"), "{\\rtf1 x}");

    board.SetAsText("only text");
    EXPECT_FALSE(board.HasFormat("text/rtf"));
    EXPECT_EQ(board.AsText(), "only text");
    board.Clear();
    EXPECT_EQ(board.AsText(), "");
}
