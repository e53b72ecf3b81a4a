#pragma once
// Reports for character printers: a page whose paper and margins are whole character cells
// and the objects laid out on that grid (text, lines through the middle of cells, raw printer
// commands). Positions and sizes snap to cells of pg1CharX by pg1CharY report units; printer
// font styles travel with templates and prepared pages for the dot-matrix text export.

#include <cstdint>
#include <string>

#include "report/line_view.h"
#include "report/memo_view.h"
#include "report/page.h"

enum TpgwDMPFontStyle : std::uint8_t {
    fsxBold,
    fsxItalic,
    fsxUnderline,
    fsxSuperScript,
    fsxSubScript,
    fsxCondensed,
    fsxWide,
    fsx12cpi,
    fsx15cpi
};
// Bits 1 << TpgwDMPFontStyle; only bold, italic and underline change the screen font.
using TpgwDMPFontStyles = std::uint16_t;
inline constexpr TpgwDMPFontStyles DMPStyle(TpgwDMPFontStyle style) {
    return static_cast<TpgwDMPFontStyles>(1u << style);
}
const TTypeInfo& TpgwDMPFontStylesType();

// Courier New 12 with the screen styles of the bits; set up without counting as a user change
// of the object's font.
void SetDMPFont(TpgwComponent& object, TpgwDMPFontStyles style);

class TpgwDMPPage : public TpgwReportPage {
    LUMETRA_CLASS(TpgwDMPPage, TpgwReportPage)
public:
    explicit TpgwDMPPage(TComponent* owner);
    ~TpgwDMPPage() override;
    static void RegisterProperties(TClassBuilder<TpgwDMPPage>& b);

    bool IsDotMatrix() const override { return true; }
    TpgwDMPFontStyles FontStyle() const { return fontStyle_; }
    // Every object of the page that follows its parent's font takes the new style too.
    void SetFontStyle(TpgwDMPFontStyles value);

    // The printer's paper with margins of one cell, cut down to whole cells.
    void ApplyDefaults() override;
    // The paper is rounded to whole cells.
    void SetPaperSize(int value) override;
    void SetPaperWidth(double value) override;
    void SetPaperHeight(double value) override;

private:
    TpgwDMPFontStyles fontStyle_ = 0;
};

class TpgwDMPMemoView : public TpgwCustomMemoView {
    LUMETRA_CLASS(TpgwDMPMemoView, TpgwCustomMemoView)
public:
    explicit TpgwDMPMemoView(TComponent* owner);
    ~TpgwDMPMemoView() override;
    static void RegisterProperties(TClassBuilder<TpgwDMPMemoView>& b);
    std::string ClassDescription() const override;

    TpgwDMPFontStyles FontStyle() const { return fontStyle_; }
    // Makes the style the memo's own.
    void SetFontStyle(TpgwDMPFontStyles value);
    void SetParentFont(bool value) override;
    // Stored, but nothing reads it.
    bool TruncOutboundText() const { return truncOutboundText_; }
    void SetTruncOutboundText(bool value) { truncOutboundText_ = value; }

    void SetLeft(double value) override;
    void SetTop(double value) override;
    void SetWidth(double value) override;
    void SetHeight(double value) override;
    // Places the memo off the grid (cross-tab cells lay themselves out).
    void SetBoundsDirect(double left, double top, double width, double height);

    double CalcHeight() override;
    double CalcWidth() override;
    // The frame runs between character cells, half a cell outside the text.
    void DrawFrame() override;
    std::string ChangedAttributes(TpgwComponent* reference) override;

private:
    TpgwDMPFontStyles fontStyle_ = 0;
    bool truncOutboundText_ = false;
};

class TpgwDMPLineView : public TpgwCustomLineView {
    LUMETRA_CLASS(TpgwDMPLineView, TpgwCustomLineView)
public:
    explicit TpgwDMPLineView(TComponent* owner);
    ~TpgwDMPLineView() override;
    static void RegisterProperties(TClassBuilder<TpgwDMPLineView>& b);
    std::string ClassDescription() const override;

    TpgwDMPFontStyles FontStyle() const { return fontStyle_; }
    void SetFontStyle(TpgwDMPFontStyles value);
    void SetParentFont(bool value) override;

    // Lines run through the middle of cells.
    void SetLeft(double value) override;
    void SetTop(double value) override;
    void SetWidth(double value) override;
    std::string ChangedAttributes(TpgwComponent* reference) override;

private:
    TpgwDMPFontStyles fontStyle_ = 0;
};

// A raw printer command at a position of the page.
class TpgwDMPCommand : public TpgwView {
    LUMETRA_CLASS(TpgwDMPCommand, TpgwView)
public:
    explicit TpgwDMPCommand(TComponent* owner);
    ~TpgwDMPCommand() override;
    static void RegisterProperties(TClassBuilder<TpgwDMPCommand>& b);
    std::string ClassDescription() const override;

    const std::string& Command() const { return command_; }
    void SetCommand(const std::string& value) { command_ = value; }

    void SetLeft(double value) override;
    void SetTop(double value) override;
    std::string ChangedAttributes(TpgwComponent* reference) override;

private:
    std::string command_;
};

// Enters the page class by name and the three objects into the report object registry for
// dot-matrix pages; the second call undoes it.
void RegisterDMPClasses();
void UnregisterDMPClasses();
