// The clipboard keeps text and named formats side by side, and a new SetData replaces them all.

#include "platform/ui/clipboard.h"

#include <gtest/gtest.h>

#include "platform/graphics/bitmap.h"
#include "platform/graphics/metafile.h"

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

// A picture replaces the text; a bitmap comes back pixel for pixel, a metafile as the image it
// draws and, for this program, with its records.
TEST(Clipboard, BitmapsAndMetafilesTravelAsPictures) {
    TClipboard& board = Clipboard();
    board.SetAsText("before");
    TBitmap bitmap(3, 2);
    bitmap.Canvas().Brush().SetColor(clRed);
    bitmap.Canvas().FillRect({0, 0, 3, 2});
    bitmap.Canvas().SetPixel(2, 1, clBlue);
    board.SetAsBitmap(bitmap);
    EXPECT_TRUE(board.HasPicture());
    EXPECT_EQ(board.AsText(), "");
    const TBitmap back = board.AsBitmap();
    ASSERT_EQ(back.Width(), 3);
    ASSERT_EQ(back.Height(), 2);
    EXPECT_EQ(back.ScanLine(0)[0] & 0xFFFFFFu, 0xFF0000u);
    EXPECT_EQ(back.ScanLine(1)[2] & 0xFFFFFFu, 0x0000FFu);
    EXPECT_TRUE(board.AsMetafile().Empty());

    TRecordingCanvas recorder(20, 10);
    recorder.Brush().SetColor(clLime);
    recorder.FillRect({0, 0, 20, 10});
    const TMetafile metafile(recorder.TakeRecording());
    board.SetAsMetafile(metafile);
    EXPECT_TRUE(board.HasPicture());
    const TBitmap drawn = board.AsBitmap();
    ASSERT_EQ(drawn.Width(), 20);
    ASSERT_EQ(drawn.Height(), 10);
    EXPECT_EQ(drawn.ScanLine(5)[10] & 0xFFFFFFu, 0x00FF00u);
    EXPECT_EQ(board.AsMetafile().SaveToBytes(), metafile.SaveToBytes());

    // Nothing to show: the clipboard is emptied, not left with the old picture.
    board.SetAsBitmap(TBitmap());
    EXPECT_FALSE(board.HasPicture());
    board.Clear();
}
