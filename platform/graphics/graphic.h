#pragma once
// TGraphic, the base of every image a picture can hold, and the registry of graphic classes
// that picture loading consults: by content first, by extension for saving dialogs.

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/core/exception.h"
#include "platform/core/stream.h"
#include "platform/graphics/geometry.h"
#include "platform/graphics/raster_image.h"

class TCanvas;

// A graphic's data is damaged or of an unknown kind.
LUMETRA_EXCEPTION(EInvalidGraphic, Exception);
// A graphic cannot be converted to the class asked for.
LUMETRA_EXCEPTION(EInvalidGraphicOperation, Exception);

class TGraphic {
public:
    virtual ~TGraphic();

    virtual const char* ClassName() const = 0;
    virtual std::unique_ptr<TGraphic> Clone() const = 0;
    virtual bool Empty() const = 0;
    virtual int Width() const = 0;
    virtual int Height() const = 0;
    // Draws the graphic scaled into r.
    virtual void Draw(TCanvas& canvas, const TRect& r) const = 0;
    // The graphic as pixels at its own size.
    virtual TRasterImage ToImage() const = 0;

    // Loading replaces the graphic; damaged data raises EInvalidGraphic and leaves it unchanged.
    virtual void LoadFromBytes(std::span<const std::uint8_t> data) = 0;
    virtual std::vector<std::uint8_t> SaveToBytes() const = 0;
    // Reads from the stream's position to its end.
    void LoadFromStream(TStream& stream);
    void SaveToStream(TStream& stream) const;
    void LoadFromFile(const std::string& path);
    // Written to a temporary name and renamed over path when complete.
    void SaveToFile(const std::string& path) const;

    // Copies another graphic of the same class; other classes raise EInvalidGraphicOperation
    // unless the override converts them.
    virtual void Assign(const TGraphic& source);

    bool Transparent() const { return transparent_; }
    void SetTransparent(bool value);

    std::function<void(TGraphic&)> OnChange;

protected:
    TGraphic() = default;
    // A copy is not wired to whoever listened to the original.
    TGraphic(const TGraphic& other) : transparent_(other.transparent_) {}
    TGraphic& operator=(const TGraphic& other)
    {
        transparent_ = other.transparent_;
        return *this;
    }
    void Changed();

private:
    bool transparent_ = false;
};

struct TGraphicFormat {
    std::string ClassName;
    std::string Extension;  // without the dot, e.g. "bmp"
    std::string Description;
    std::function<std::unique_ptr<TGraphic>()> Create;
    // True when data begins like this format; null: found by extension only.
    std::function<bool(std::span<const std::uint8_t> data)> Matches;
};

// Later formats (PNG) join here at start-up. Registering a class again replaces its entry.
void RegisterGraphicFormat(TGraphicFormat format);
void UnregisterGraphicClass(std::string_view className);
std::vector<TGraphicFormat> GraphicFormats();
// Null when no format claims the data / the extension (compared without regard to case).
std::unique_ptr<TGraphic> CreateGraphicForContent(std::span<const std::uint8_t> data);
std::unique_ptr<TGraphic> CreateGraphicForExtension(std::string_view extension);
std::unique_ptr<TGraphic> CreateGraphicByClassName(std::string_view className);

// Whole-stream and whole-file helpers shared by the graphic classes.
std::vector<std::uint8_t> ReadStreamToEnd(TStream& stream);
void WriteStreamAll(TStream& stream, std::span<const std::uint8_t> data);
std::vector<std::uint8_t> ReadFileBytes(const std::string& path);
void WriteFileAtomically(const std::string& path, std::span<const std::uint8_t> data);
