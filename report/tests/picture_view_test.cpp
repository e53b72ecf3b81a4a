// Picture objects: loading by content, the fit modes drawn at two scales, AutoSize, the data
// that FetchData brings from a file or a blob, and the picture in one-line object texts.

#include "report/picture_view.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include "platform/core/files.h"
#include "platform/core/stream.h"
#include "platform/graphics/bitmap.h"
#include "platform/graphics/jpeg_image.h"
#include "platform/graphics/metafile.h"
#include "platform/graphics/picture.h"
#include "platform/graphics/raster_canvas.h"
#include "platform/graphics/tests/graphic_samples.h"
#include "report/line_view.h"
#include "report/report.h"
#include "report/tests/golden_image.h"
#include "report/xml_serializer.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// 200 x 100 in four quadrants: red, blue above; green, yellow below.
TBitmap Quadrants() {
    TBitmap bmp(200, 100);
    const std::pair<TRect, TColor> parts[] = {{{0, 0, 100, 50}, clRed},
                                              {{100, 0, 200, 50}, clBlue},
                                              {{0, 50, 100, 100}, clGreen},
                                              {{100, 50, 200, 100}, clYellow}};
    for (const auto& [r, color] : parts) {
        bmp.Canvas().Brush().SetColor(color);
        bmp.Canvas().FillRect(r);
    }
    return bmp;
}

Bytes BitmapBytes(int width, int height) {
    return TBitmap(width, height).SaveToBytes();
}

Bytes JpegBytes(int width, int height) {
    TJPEGImage jpeg;
    jpeg.Assign(TBitmap(width, height));
    return jpeg.SaveToBytes();
}

Bytes RecordingBytes() {
    TRecordingCanvas canvas(30, 20);
    canvas.Rectangle(2, 2, 28, 18);
    return TMetafile(canvas.TakeRecording()).SaveToBytes();
}

Bytes Prefixed(const Bytes& data, std::uint32_t declaredSize) {
    Bytes out;
    samples::put16(out, 1);
    samples::put16(out, 0x100);
    samples::put32(out, declaredSize);
    out.insert(out.end(), data.begin(), data.end());
    return out;
}

TMemoryStream StreamOf(const Bytes& data) {
    TMemoryStream s;
    if (!data.empty()) s.WriteBuffer(data.data(), static_cast<std::int64_t>(data.size()));
    return s;
}

// A blob field "Image" holding given bytes.
class TBlobDataSet : public TpgwDataSet {
public:
    using TpgwDataSet::TpgwDataSet;
    bool IsBlobField(const std::string& field) override { return field == "Image"; }
    void CopyBlobTo(const std::string&, TStream& stream) override {
        if (!blob.empty()) stream.WriteBuffer(blob.data(), static_cast<std::int64_t>(blob.size()));
    }
    Bytes blob;
};

// Expressions of FileLink: "Dir" is the test folder.
class TFolderReport : public TpgwReport {
public:
    using TpgwReport::TpgwReport;
    Variant Calc(const std::string& expression) override {
        return expression == "Dir" ? Variant(folder) : Variant::Null();
    }
    std::string folder;
};

class PictureView : public ::testing::Test {
protected:
    void SetUp() override {
        RegisterViewClasses();
        RegisterLineAndPictureClasses();
    }
    TpgwPictureView* View() { return new TpgwPictureView(&owner); }
    TComponent owner{nullptr};
};

} // namespace

TEST_F(PictureView, LoadPictureDataChoosesTheClassByContent) {
    enum Outcome { Loads, Invalid, Raises };
    struct Case {
        const char* name;
        Bytes data;
        Outcome outcome;
        const char* className = "";
        int width = 0, height = 0;
    };
    const Bytes bmp = BitmapBytes(3, 2);
    Bytes shortBm = {'B', 'M', 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9};
    Bytes corruptJpeg = JpegBytes(8, 8);
    corruptJpeg.resize(corruptJpeg.size() / 2);
    Bytes corruptBmp(20, 0);
    corruptBmp[0] = 'B', corruptBmp[1] = 'M';
    const Case cases[] = {
        {"bitmap", bmp, Loads, "TBitmap", 3, 2},
        {"matching 8-byte prefix", Prefixed(bmp, static_cast<std::uint32_t>(bmp.size())), Loads,
         "TBitmap", 3, 2},
        {"prefix of the wrong size", Prefixed(bmp, static_cast<std::uint32_t>(bmp.size() + 1)),
         Invalid},
        {"BM under 14 bytes", shortBm, Invalid},
        // Not a bitmap, but its second word makes it an icon, which it is not.
        {"BM under 14 bytes, icon-like", {'B', 'M', 1, 0, 1, 0}, Raises},
        {"JPEG", JpegBytes(8, 4), Loads, "TJPEGImage", 8, 4},
        {"WMF", samples::PlaceableWmf(0, 0, 1000, 500, 1000), Loads, "TWindowsMetafile", 96, 48},
        {"EMF", samples::Emf(2540, 1270), Loads, "TWindowsMetafile", 96, 48},
        {"icon", samples::IconFile({samples::IconImage{2, 1, 24, {0xFFFF0000u, 0xFF00FF00u}, {}}}),
         Loads, "TIcon", 2, 1},
        {"recorded metafile", RecordingBytes(), Loads, "TMetafile", 30, 20},
        {"garbage", {'g', 'a', 'r', 'b', 'a', 'g', 'e', '!', '!'}, Invalid},
        {"empty", {}, Invalid},
        {"corrupt JPEG", corruptJpeg, Raises},
        {"corrupt bitmap", corruptBmp, Raises},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TpgwPictureView* view = View();
        TBitmap before(5, 5);
        view->Picture()->SetGraphic(before.Clone());
        TMemoryStream stream = StreamOf(c.data);
        switch (c.outcome) {
        case Loads:
            ASSERT_EQ(view->LoadPictureData(stream, true), 0);
            ASSERT_NE(view->Picture()->Graphic(), nullptr);
            EXPECT_STREQ(view->Picture()->Graphic()->ClassName(), c.className);
            EXPECT_EQ(view->Picture()->Width(), c.width);
            EXPECT_EQ(view->Picture()->Height(), c.height);
            break;
        case Invalid:
            EXPECT_EQ(view->LoadPictureData(stream, true), E_INVALIDARG);
            EXPECT_TRUE(view->Picture()->Empty());
            break;
        case Raises:
            EXPECT_THROW(view->LoadPictureData(stream, true), EInvalidGraphic);
            EXPECT_EQ(view->Picture()->Width(), 5) << "the picture is kept";
            break;
        }
        delete view;
    }
}

TEST_F(PictureView, LoadPictureDataReadsFromThePositionUnlessFromStart) {
    Bytes data = {'j', 'u', 'n', 'k'};
    const Bytes bmp = BitmapBytes(4, 3);
    data.insert(data.end(), bmp.begin(), bmp.end());
    TMemoryStream stream = StreamOf(data);
    TpgwPictureView* view = View();
    stream.SetPosition(4);
    EXPECT_EQ(view->LoadPictureData(stream, false), 0);
    EXPECT_EQ(view->Picture()->Width(), 4);
    stream.SetPosition(4);
    EXPECT_EQ(view->LoadPictureData(stream, true), E_INVALIDARG);
}

TEST_F(PictureView, FitModesMatchTheirGoldens) {
    struct Mode {
        bool stretched, keepAspect, center;
    };
    const Mode modes[] = {{true, false, false}, // fills the object
                          {true, true, true},   // 100 x 50, 25 down
                          {true, true, false},  // 100 x 50 at the top
                          {false, true, false}, // own size, cut at the right
                          {false, false, true}};
    const TBitmap quadrants = Quadrants();
    std::vector<TpgwPictureView*> views;
    for (std::size_t i = 0; i < std::size(modes); ++i) {
        TpgwPictureView* view = View();
        view->SetBounds(10 + 120.0 * static_cast<double>(i), 10, 100, 100);
        view->SetStretched(modes[i].stretched);
        view->SetKeepAspectRatio(modes[i].keepAspect);
        view->SetCenter(modes[i].center);
        view->Frame()->SetTyp(ftAll);
        view->Frame()->SetColor(clGray);
        view->Picture()->SetGraphic(quadrants.Clone());
        views.push_back(view);
    }
    for (int scale : {1, 2}) {
        TRasterCanvas canvas(610 * scale, 120 * scale, 96, clSilver);
        for (TpgwPictureView* view : views)
            view->Draw(canvas, scale, scale, 0, 0);
        EXPECT_TRUE(
            golden::MatchesGolden(canvas.ToImage(), "picture_fit_x" + std::to_string(scale)));
        // Kept aspect and centred: 100 x 50 from 25 down, white above and below.
        const int x = (130 + 10) * scale, top = (10 + 25) * scale, bottom = (10 + 75) * scale;
        EXPECT_EQ(canvas.Pixel(x, top - 1), clWhite);
        EXPECT_EQ(canvas.Pixel(x, top), clRed);
        EXPECT_EQ(canvas.Pixel(x, bottom - 1), clGreen);
        EXPECT_EQ(canvas.Pixel(x, bottom), clWhite);
        // Unstretched: only the left half shows, and nothing leaks past the object.
        EXPECT_EQ(canvas.Pixel((370 + 90) * scale, (10 + 20) * scale), clRed);
        EXPECT_EQ(canvas.Pixel((370 + 105) * scale, (10 + 20) * scale), clSilver);
    }
}

TEST_F(PictureView, AutoSizeFollowsThePicture) {
    TpgwPictureView* view = View();
    view->SetBounds(0, 0, 50, 40);
    view->SetAutoSize(true);
    EXPECT_EQ(view->Width(), 50) << "an empty picture changes nothing";
    view->Picture()->SetGraphic(std::make_unique<TBitmap>(30, 20));
    EXPECT_EQ(view->Width(), 30);
    EXPECT_EQ(view->Height(), 20);
    EXPECT_TRUE(view->PictureChanged());
}

TEST_F(PictureView, FetchDataLoadsTheFileLinkOrTheBlob) {
    const std::string dir = GetTempDir() + "/lumetra_picture_" + std::to_string(::getpid());
    ForceDirectories(dir + "/Exam");
    const Bytes jpeg = JpegBytes(6, 4);
    WriteFileAtomically(dir + "/Exam/RPT1.JPG", jpeg);
    WriteFileAtomically(dir + "/Exam/bad.jpg", Bytes{0xFF, 0xD8, 0xFF, 0xE0, 'j', 'u', 'n', 'k'});

    TFolderReport report(nullptr);
    report.folder = dir;
    auto* view = new TpgwPictureView(&report);
    // Windows separators and another letter case still find the file.
    view->SetFileLink("[Dir]\\exam\\rpt1.jpg");
    view->FetchData();
    ASSERT_FALSE(view->Picture()->Empty());
    EXPECT_STREQ(view->Picture()->Graphic()->ClassName(), "TJPEGImage");
    EXPECT_EQ(view->FileLink(), "[Dir]\\exam\\rpt1.jpg");
    for (const char* missing : {"D:\\exam\\RPT1.JPG", "[Dir]/Exam/none.jpg"}) {
        view->SetFileLink(missing);
        view->FetchData();
        EXPECT_TRUE(view->Picture()->Empty()) << missing;
    }
    view->SetFileLink("[Dir]/Exam/bad.jpg");
    EXPECT_THROW(view->FetchData(), EInvalidGraphic);

    // Without a FileLink a blob field is read, prefix and all.
    auto* data = new TBlobDataSet(&report);
    data->SetUserName("Exams");
    view->SetFileLink("");
    view->SetDataSet(data);
    view->SetDataField("Image");
    const Bytes bmp = BitmapBytes(7, 3);
    data->blob = Prefixed(bmp, static_cast<std::uint32_t>(bmp.size()));
    view->FetchData();
    EXPECT_EQ(view->Picture()->Width(), 7);
    data->blob = {'n', 'o', 'n', 'e', ' ', ' '};
    view->FetchData();
    EXPECT_TRUE(view->Picture()->Empty());
    data->blob = Bytes(30, 0);
    data->blob[0] = 'B', data->blob[1] = 'M';
    EXPECT_THROW(view->FetchData(), EInvalidGraphic);
    // Another field is not a blob: the picture stays.
    view->Picture()->SetGraphic(std::make_unique<TBitmap>(2, 2));
    view->SetDataField("Name");
    view->FetchData();
    EXPECT_EQ(view->Picture()->Width(), 2);

    DeleteFile(dir + "/Exam/RPT1.JPG");
    DeleteFile(dir + "/Exam/bad.jpg");
    RemoveDir(dir + "/Exam");
    RemoveDir(dir);
}

TEST_F(PictureView, ObjectTextCarriesThePictureOrItsIndex) {
    TpgwReport report(nullptr);
    auto* view = new TpgwPictureView(&report);
    EXPECT_EQ(view->ObjectTraits() & TpgwObjectTraits::DiffAgainstDefault, 0);
    EXPECT_EQ(view->Color(), clWhite);
    EXPECT_TRUE(view->Stretched() && view->KeepAspectRatio() && view->IsPictureStored());
    view->SetBounds(4, 8, 120, 60);
    view->SetCenter(true);
    view->SetStretched(false);
    view->SetKeepAspectRatio(false);
    view->SetHightQuality(true);
    view->SetFileLink("C:\\pictures\\[Name].jpg");
    view->SetDataField("Photo");
    view->SetTagStr("tag");
    view->SetURL("http://example/[Id]");
    view->SetCursor(-21);
    view->Frame()->SetTyp(ftAll);
    view->Picture()->SetGraphic(Quadrants().Clone());

    TMemoryStream unused;
    TpgwXMLSerializer serializer(unused);
    serializer.SetOwner(&report);
    const std::string text = serializer.ObjectToText(view);
    EXPECT_EQ(text.rfind("TpgwPictureView ", 0), 0u);
    EXPECT_NE(text.find(" PropData=\""), std::string::npos);
    EXPECT_EQ(text.find("ImageIndex"), std::string::npos);
    auto* copy = dynamic_cast<TpgwPictureView*>(serializer.ObjectFromText(&report, text, false));
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(serializer.ObjectToText(copy), text);
    EXPECT_EQ(copy->Picture()->Graphic()->SaveToBytes(), view->Picture()->Graphic()->SaveToBytes());
    EXPECT_TRUE(copy->Center() && !copy->Stretched() && !copy->KeepAspectRatio());
    EXPECT_TRUE(copy->HightQuality());
    EXPECT_EQ(copy->FileLink(), "C:\\pictures\\[Name].jpg");
    EXPECT_EQ(copy->URL(), "http://example/[Id]");
    EXPECT_EQ(copy->Cursor(), -21);

    // The designer's undo and prepared pages write the cache number instead of the image.
    view->SetIsPictureStored(false);
    view->SetIsImageIndexStored(true);
    view->SetImageIndex(3);
    const std::string indexed = serializer.ObjectToText(view);
    EXPECT_EQ(indexed.find("PropData"), std::string::npos);
    EXPECT_NE(indexed.find(" ImageIndex=\"3\""), std::string::npos);
    auto* second =
        dynamic_cast<TpgwPictureView*>(serializer.ObjectFromText(&report, indexed, false));
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(second->ImageIndex(), 3);
    EXPECT_TRUE(second->Picture()->Empty());
}

namespace {
// Writes any bytes as the template's picture, as a damaged or foreign template would hold.
class TRawPictureView : public TpgwPictureView {
public:
    using TpgwPictureView::TpgwPictureView;
    void DefineProperties(TFiler& filer) override {
        TpgwView::DefineProperties(filer);
        filer.DefineBinaryProperty(
            "Picture", nullptr, [this](TStream& s) { s.WriteBuffer(raw.data(), std::ssize(raw)); },
            true);
    }
    Bytes raw;
};
} // namespace

TEST_F(PictureView, DamagedPictureInATemplateLoadsAsEmptyWithTheGraphicsError) {
    TpgwReport report(nullptr);
    Bytes corruptJpeg = JpegBytes(8, 8);
    corruptJpeg.resize(corruptJpeg.size() - 40);
    Bytes corruptPrefix = Prefixed(BitmapBytes(2, 2), 0);
    // Unknown bytes (a prefix whose size does not match is image data) are no error, only an
    // empty picture; a damaged image of a known kind is listed.
    const struct {
        Bytes raw;
        bool listed;
    } cases[] = {{corruptJpeg, true}, {Bytes{'?', '?', '?', '?', '?', '?', '?'}, false},
                 {corruptPrefix, false}};
    for (const auto& c : cases) {
        auto* source = new TRawPictureView(&report);
        source->raw = c.raw;
        TMemoryStream unused;
        TpgwXMLSerializer serializer(unused);
        serializer.SetOwner(&report);
        const std::string text = serializer.ObjectToText(source);
        auto* copy =
            dynamic_cast<TpgwPictureView*>(serializer.ObjectFromText(&report, text, false));
        ASSERT_NE(copy, nullptr);
        EXPECT_TRUE(copy->Picture()->Empty());
        EXPECT_EQ(serializer.Errors().Count() > 0, c.listed);
    }
}
