// The generator: what it writes unpacks to the strip it draws, and the strip built into the
// report library is that strip (so the checked-in file is not stale).

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "platform/core/stream.h"
#include "report/preview_images.h"
#include "tools/preview-images/icons.h"

namespace {

std::string readFile(const std::filesystem::path& path) {
    TMemoryStream file;
    file.LoadFromFile(path.string());
    return std::string(reinterpret_cast<const char*>(file.Memory()), std::size_t(file.Size()));
}

} // namespace

TEST(PreviewImagesTool, WritesTheDrawnStripAsTheLibraryHasIt) {
    const TRasterImage drawn = DrawPreviewButtonStrip();
    ASSERT_EQ(drawn.Width, PreviewImageStripTiles * PreviewImageSize);
    ASSERT_EQ(drawn.Height, PreviewImageSize);

    const auto out = std::filesystem::temp_directory_path() / "preview_buttons_tool_test.gz";
    std::filesystem::remove(out);
    const std::string command = std::string(PREVIEW_IMAGES_PATH) + " " + out.string();
    ASSERT_EQ(std::system(command.c_str()), 0);
    const TRasterImage written = UnpackBitmapResource(readFile(out)).ToImage();
    std::filesystem::remove(out);
    EXPECT_EQ(written.Pixels, drawn.Pixels);

    const TRasterImage builtIn = UnpackBitmapResource(PreviewButtonsPacked()).ToImage();
    EXPECT_EQ(builtIn.Pixels, drawn.Pixels)
        << "report/resources/preview_buttons.gz is stale: run preview-images again";
}

TEST(PreviewImagesTool, BadUsageAndUnwritableTargetFail) {
    EXPECT_NE(std::system(PREVIEW_IMAGES_PATH " 2>/dev/null"), 0);
    EXPECT_NE(std::system(PREVIEW_IMAGES_PATH " /nonexistent-folder/x.gz 2>/dev/null"), 0);
    EXPECT_FALSE(std::filesystem::exists("/nonexistent-folder/x.gz"));
}
