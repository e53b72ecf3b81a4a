// The picture cache of prepared pages: numbering, reading each picture back to its own end,
// streams in memory and in temporary files, the XML form, failures that lose nothing, and the
// picture object handing its picture over once; plus PNG pictures loaded by content.

#include "engine/picture_cache.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <unistd.h>

#include "engine/png_object.h"
#include "platform/core/files.h"
#include "platform/core/stream.h"
#include "platform/graphics/bitmap.h"
#include "platform/graphics/jpeg_image.h"
#include "platform/graphics/metafile.h"
#include "platform/graphics/picture.h"
#include "platform/graphics/tests/graphic_samples.h"
#include "report/abstract_bases.h"
#include "report/picture_view.h"
#include "report/report.h"
#include "report/tests/null_doubles.h"
#include "report/xml_document.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

std::unique_ptr<TGraphic> Jpeg(int width, int height) {
    auto jpeg = std::make_unique<TJPEGImage>();
    jpeg->Assign(TBitmap(width, height));
    return jpeg;
}

std::unique_ptr<TGraphic> Recording() {
    TRecordingCanvas canvas(30, 20);
    canvas.Rectangle(2, 2, 28, 18);
    return std::make_unique<TMetafile>(canvas.TakeRecording());
}

std::string Hex(const Bytes& bytes) {
    std::string s;
    char digits[3];
    for (std::uint8_t b : bytes) {
        std::snprintf(digits, sizeof digits, "%02X", b);
        s += digits;
    }
    return s;
}

// A folder of its own under the temporary folder, removed with what is left in it.
struct TempFolder {
    explicit TempFolder(const std::string& leaf)
        : path(GetTempDir() + "/" + leaf + std::to_string(::getpid())) {
        ForceDirectories(path);
    }
    ~TempFolder() {
        for (const std::string& name : FindFiles(path, "*"))
            DeleteFile(path + "/" + name);
        RemoveDir(path);
    }
    std::string path;
};

class PictureCache : public ::testing::Test {
protected:
    TpgwPictureView* View(std::unique_ptr<TGraphic> graphic = nullptr) {
        auto* view = new TpgwPictureView(&owner);
        if (graphic) view->Picture()->SetGraphic(std::move(graphic));
        return view;
    }
    // Adds pictures of three classes; the third is the last in its stream.
    std::vector<Bytes> AddThree(TpgwPictureCache& cache) {
        std::vector<Bytes> bytes;
        int expected = 1;
        for (auto* view :
             {View(std::make_unique<TBitmap>(3, 2)), View(Jpeg(8, 4)), View(Recording())}) {
            cache.AddPicture(view);
            EXPECT_EQ(view->ImageIndex(), expected++);
            bytes.push_back(view->Picture()->Graphic()->SaveToBytes());
        }
        return bytes;
    }
    TComponent owner{nullptr};
};

} // namespace

TEST_F(PictureCache, NumbersPicturesAndReadsEachToItsOwnEnd) {
    // The file variant sits in a folder with a long name: temporary paths are kept whole.
    TempFolder folder(
        "lumetra_picture_cache_with_a_folder_name_well_beyond_sixty_four_characters_");
    for (bool inFiles : {false, true}) {
        SCOPED_TRACE(inFiles ? "files" : "memory");
        TpgwPictureCache cache;
        cache.SetUseFileCache(inFiles);
        cache.SetTempDir(folder.path);
        const std::vector<Bytes> bytes = AddThree(cache);
        EXPECT_EQ(cache.Count(), 3);
        EXPECT_EQ(cache.StreamCount(), 1);
        const char* classes[] = {"TBitmap", "TJPEGImage", "TMetafile"};
        for (int n = 1; n <= 3; ++n) {
            EXPECT_EQ(cache.PictureBytes(n), bytes[n - 1]) << n;
            TpgwPictureView* back = View();
            back->SetImageIndex(n);
            cache.GetPicture(back);
            ASSERT_NE(back->Picture()->Graphic(), nullptr) << n;
            EXPECT_STREQ(back->Picture()->Graphic()->ClassName(), classes[n - 1]);
            EXPECT_EQ(back->Picture()->Graphic()->SaveToBytes(), bytes[n - 1]);
        }

        // No picture: number 0, nothing stored; 0 or out of range empties a picture.
        TpgwPictureView* empty = View();
        empty->SetImageIndex(5);
        cache.AddPicture(empty);
        EXPECT_EQ(empty->ImageIndex(), 0);
        EXPECT_EQ(cache.Count(), 3);
        for (int n : {0, 4, -1}) {
            TpgwPictureView* view = View(std::make_unique<TBitmap>(2, 2));
            view->SetImageIndex(n);
            cache.GetPicture(view);
            EXPECT_TRUE(view->Picture()->Empty()) << n;
        }

        const std::vector<std::string> files = cache.TempFiles();
        ASSERT_EQ(files.size(), inFiles ? 1u : 0u);
        for (const std::string& file : files) {
            EXPECT_EQ(file.rfind(folder.path + "/pgPic", 0), 0u) << file;
            EXPECT_TRUE(FileExists(file));
        }
        cache.Clear();
        EXPECT_EQ(cache.Count(), 0);
        for (const std::string& file : files)
            EXPECT_FALSE(FileExists(file)) << file;
    }
}

TEST_F(PictureCache, PicturesInSeveralStreamsRunToTheirStreamsEnd) {
    TpgwPictureCache cache;
    cache.SetStreamLimitForTesting(1);
    const std::vector<Bytes> bytes = AddThree(cache);
    EXPECT_EQ(cache.StreamCount(), 3);
    for (int n = 1; n <= 3; ++n)
        EXPECT_EQ(cache.PictureBytes(n), bytes[n - 1]);
}

TEST_F(PictureCache, XmlKeepsTheBytesOfEachNumber) {
    TpgwPictureCache cache;
    cache.SetStreamLimitForTesting(600); // the second picture starts a second stream
    const std::vector<Bytes> bytes = AddThree(cache);
    TpgwXMLItem item;
    item.Add()->SetName("stale");
    cache.SaveToXML(&item);
    ASSERT_EQ(item.Count(), 3);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(item.Items(i)->Name(), "item");
        EXPECT_EQ(item.Items(i)->Prop("stream"), Hex(bytes[static_cast<std::size_t>(i)]));
    }
    // Children are read in order whatever their names.
    item.Items(1)->SetName("other");
    TpgwPictureCache loaded;
    loaded.LoadFromXML(&item);
    ASSERT_EQ(loaded.Count(), 3);
    for (int n = 1; n <= 3; ++n)
        EXPECT_EQ(loaded.PictureBytes(n), bytes[n - 1]) << n;

    // Loading replaces what was there; an empty cache writes no item.
    TpgwXMLItem none;
    TpgwPictureCache empty;
    empty.SaveToXML(&item);
    EXPECT_EQ(item.Count(), 0);
    loaded.LoadFromXML(&none);
    EXPECT_EQ(loaded.Count(), 0);
}

// Pictures read again come from the decoded ones kept; content that replaces the cache's
// (cleared, or loaded from XML) never gets a picture of the old content under its number.
TEST_F(PictureCache, PicturesReadAgainMatchAndNeverOutliveTheirContent) {
    TpgwPictureCache cache;
    AddThree(cache);
    auto read = [&](TpgwPictureCache& c, int n) {
        TpgwPictureView* view = View();
        view->SetImageIndex(n);
        c.GetPicture(view);
        return view->Picture()->Empty() ? Bytes{} : view->Picture()->Graphic()->SaveToBytes();
    };
    for (int round = 0; round < 2; ++round)
        for (int n = 1; n <= 3; ++n)
            EXPECT_EQ(read(cache, n), cache.PictureBytes(n)) << round << " " << n;
    // A copy read from the kept picture is the view's own: changing it leaves the next read.
    TpgwPictureView* changed = View();
    changed->SetImageIndex(1);
    cache.GetPicture(changed);
    changed->Picture()->Bitmap().SetSize(9, 9);
    EXPECT_EQ(read(cache, 1), cache.PictureBytes(1));

    TpgwPictureCache other;
    other.AddPicture(View(std::make_unique<TBitmap>(5, 7)));
    TpgwXMLItem item;
    other.SaveToXML(&item);
    cache.LoadFromXML(&item);
    EXPECT_EQ(read(cache, 1), other.PictureBytes(1));
    cache.Clear();
    cache.AddPicture(View(Jpeg(6, 6)));
    const Bytes fresh = cache.PictureBytes(1);
    EXPECT_EQ(read(cache, 1), fresh);
}

TEST_F(PictureCache, SettingsTakeEffectOnlyWhileTheCacheIsEmpty) {
    TempFolder folder("lumetra_picture_settings_");
    TpgwPictureCache cache;
    cache.AddPicture(View(std::make_unique<TBitmap>(2, 2)));
    cache.SetUseFileCache(true);
    cache.SetTempDir(folder.path);
    cache.AddPicture(View(std::make_unique<TBitmap>(2, 2)));
    EXPECT_FALSE(cache.UseFileCache());
    EXPECT_TRUE(cache.TempFiles().empty());
    cache.Clear();
    cache.SetUseFileCache(true);
    cache.SetTempDir(folder.path);
    cache.AddPicture(View(std::make_unique<TBitmap>(2, 2)));
    ASSERT_EQ(cache.TempFiles().size(), 1u);
    EXPECT_EQ(cache.TempFiles()[0].rfind(folder.path + "/pgPic", 0), 0u);
}

TEST_F(PictureCache, AFileThatCannotBeMadeRaisesAndLosesNothing) {
    {
        TpgwPictureCache cache;
        cache.SetUseFileCache(true);
        cache.SetTempDir(GetTempDir() + "/lumetra_no_such_folder/below");
        TpgwPictureView* view = View(std::make_unique<TBitmap>(2, 2));
        view->SetImageIndex(7);
        EXPECT_THROW(cache.AddPicture(view), EFCreateError);
        EXPECT_EQ(view->ImageIndex(), 7);
        EXPECT_EQ(cache.Count(), 0);
        EXPECT_EQ(cache.StreamCount(), 0);
    }
    // The folder goes away after the first picture; the next one needs a new file.
    TempFolder folder("lumetra_picture_vanishing_");
    const std::string moved = folder.path + ".moved";
    TpgwPictureCache cache;
    cache.SetUseFileCache(true);
    cache.SetTempDir(folder.path);
    cache.SetStreamLimitForTesting(1);
    TpgwPictureView* first = View(std::make_unique<TBitmap>(3, 3));
    cache.AddPicture(first);
    const Bytes firstBytes = cache.PictureBytes(1);
    TpgwXMLItem item;
    cache.SaveToXML(&item);
    ASSERT_TRUE(RenameFile(folder.path, moved));
    EXPECT_THROW(cache.AddPicture(View(std::make_unique<TBitmap>(4, 4))), EFCreateError);
    EXPECT_THROW(cache.LoadFromXML(&item), EFCreateError);
    EXPECT_EQ(cache.Count(), 1);
    EXPECT_EQ(cache.StreamCount(), 1);
    EXPECT_EQ(cache.PictureBytes(1), firstBytes);
    ASSERT_TRUE(RenameFile(moved, folder.path));
    const std::string file = folder.path + "/" + ExtractFileName(cache.TempFiles().at(0));
    cache.Clear();
    EXPECT_FALSE(FileExists(file));
}

namespace {
// The part of a prepared-page store that pictures use: AddPicture into a cache.
class TCachePages : public TNullPreviewPages {
public:
    using TNullPreviewPages::TNullPreviewPages;
    void AddPicture(TpgwComponent* picture) override {
        ++added;
        cache.AddPicture(dynamic_cast<TpgwPictureView*>(picture));
    }

    TpgwPictureCache cache;
    int added = 0;
};

std::string Tail(const std::string& text, std::size_t n) {
    return text.size() < n ? text : text.substr(text.size() - n);
}
} // namespace

TEST_F(PictureCache, PreparedPagesGetAChangedPictureOnce) {
    TpgwPreviewPagesFactory saved = PreviewPagesClass();
    PreviewPagesClass() = [](TpgwReport* r) { return std::make_unique<TCachePages>(r); };
    {
        TpgwReport report(nullptr);
        auto& pages = dynamic_cast<TCachePages&>(*report.PreviewPages());
        auto* view = new TpgwPictureView(&report);
        auto* reference = new TpgwPictureView(&report);
        view->Picture()->SetGraphic(std::make_unique<TBitmap>(3, 2));
        EXPECT_EQ(Tail(view->ChangedAttributes(reference), 15), " ImageIndex=\"1\"");
        // Printed again unchanged: the number it has, nothing stored.
        EXPECT_EQ(Tail(view->ChangedAttributes(reference), 15), " ImageIndex=\"1\"");
        EXPECT_EQ(pages.added, 1);
        view->Picture()->SetGraphic(Jpeg(4, 4));
        EXPECT_EQ(Tail(view->ChangedAttributes(reference), 15), " ImageIndex=\"2\"");
        view->Picture()->Clear();
        EXPECT_EQ(Tail(view->ChangedAttributes(reference), 15), " ImageIndex=\"0\"");
        EXPECT_EQ(pages.added, 3);
        EXPECT_EQ(pages.cache.Count(), 2);

        // A page built from the store takes the picture back by its number.
        reference->SetImageIndex(2);
        pages.cache.GetPicture(reference);
        EXPECT_STREQ(reference->Picture()->Graphic()->ClassName(), "TJPEGImage");
    }
    PreviewPagesClass() = saved;
}

TEST(PictureLoading, PngByContentAndDamagedPngRaises) {
    RegisterPNGGraphicClass();
    TComponent owner(nullptr);
    auto* view = new TpgwPictureView(&owner);
    TPNGObject png;
    png.Assign(TBitmap(6, 5));
    Bytes bytes = png.SaveToBytes();
    TMemoryStream stream;
    stream.WriteBuffer(bytes.data(), std::ssize(bytes));
    EXPECT_EQ(view->LoadPictureData(stream, true), 0);
    EXPECT_STREQ(view->Picture()->Graphic()->ClassName(), "TPNGObject");
    EXPECT_EQ(view->Picture()->Width(), 6);

    // Cut inside its image data: the PNG class's own error, the picture kept.
    bytes.resize(bytes.size() - 20);
    TMemoryStream damaged;
    damaged.WriteBuffer(bytes.data(), std::ssize(bytes));
    EXPECT_THROW(view->LoadPictureData(damaged, true), Exception);
    EXPECT_EQ(view->Picture()->Width(), 6);

    // An icon whose image is a PNG file reads it through the registered class.
    const Bytes icon = samples::IconFile({png.SaveToBytes()}, {{6, 5}}, {32});
    TMemoryStream iconStream;
    iconStream.WriteBuffer(icon.data(), std::ssize(icon));
    EXPECT_EQ(view->LoadPictureData(iconStream, true), 0);
    EXPECT_STREQ(view->Picture()->Graphic()->ClassName(), "TIcon");
    EXPECT_EQ(view->Picture()->Width(), 6);
}
