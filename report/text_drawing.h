#pragma once
// What the memo views need of the text layout and drawing engine, which lives in a library
// built on top of the report library. The engine installs its implementation at start-up: one
// shared instance and a factory for each report's own. Until then memos measure nothing and
// draw only their background and frame.

#include <functional>
#include <memory>
#include <string>
#include <string_view>

class TCanvas;
class TFont;
class TWideStrings;
class TpgwCustomReport;
struct TRect;

enum TpgwHAlign { haLeft, haRight, haCenter, haBlock };
enum TpgwVAlign { vaTop, vaBottom, vaCenter };

// The set-up lives in the object between calls, so a caller holds Lock from its set-up to its
// last query.
class TpgwTextDrawing {
public:
    virtual ~TpgwTextDrawing() = default;

    // One process-wide lock (recursive) shared by every instance.
    virtual void Lock() = 0;
    virtual void Unlock() = 0;

    virtual void SetUseDefaultCharset(bool value) = 0;
    virtual void SetFont(const TFont& font) = 0;
    // Rotation in degrees.
    virtual void SetOptions(bool wordWrap, bool allowTags, bool rtlReading, bool wordBreak,
                            bool clipped, bool wysiwyg, int rotation) = 0;
    // Report units.
    virtual void SetSpacing(double paragraphGap, double charSpacing, double lineSpacing) = 0;
    // Layout rectangle in report units, device rectangle in pixels of the target.
    virtual void SetDimensions(const TRect& layoutRect, const TRect& deviceRect, double scaleX,
                               double scaleY, double printScale) = 0;
    virtual void SetText(const TWideStrings& lines) = 0;
    virtual void ClearParagraphFlags(bool clearFirst, bool clearLast) = 0;

    // Report units.
    virtual double CalcHeight() = 0;
    virtual double CalcWidth() = 0;
    virtual double LineHeight() = 0;
    // Keeps the lines that fit the layout height; rest receives the others.
    virtual void SplitAtBottom(bool& cutInsideParagraph, std::u16string& rest) = 0;
    virtual double SpaceBelowLines() = 0;
    virtual std::u16string GetSourceText() = 0;
    virtual std::u16string GetWrappedText() = 0;
    virtual std::u16string StripTags(std::u16string_view text) = 0;
    virtual void DrawText(TCanvas& canvas, TpgwHAlign hAlign, TpgwVAlign vAlign) = 0;
};

using TpgwTextDrawingFactory = std::function<std::unique_ptr<TpgwTextDrawing>()>;

// Installs the shared instance (not owned) and the factory of the reports' own instances; a
// null shared instance uninstalls both.
void InstallTextDrawing(TpgwTextDrawing* shared, TpgwTextDrawingFactory perReport);
// None until installed.
TpgwTextDrawing* SharedTextDrawing();
// The report's own instance, made on first use and freed with the report; the shared one
// without a report or a factory.
TpgwTextDrawing* TextDrawingFor(TpgwCustomReport* report);

// Holds the lock of a text-drawing object for a scope.
class TpgwTextDrawingLock {
public:
    explicit TpgwTextDrawingLock(TpgwTextDrawing& drawing) : drawing_(drawing) { drawing_.Lock(); }
    ~TpgwTextDrawingLock() { drawing_.Unlock(); }
    TpgwTextDrawingLock(const TpgwTextDrawingLock&) = delete;
    TpgwTextDrawingLock& operator=(const TpgwTextDrawingLock&) = delete;

private:
    TpgwTextDrawing& drawing_;
};
