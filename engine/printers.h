#pragma once
// The printers the report generator lays out for and prints on: a process-wide list of the
// installed printers with a current one, and per printer its papers, bins, resolution,
// unprintable margins and a canvas, page-by-page printing and raw (pass-through) jobs. With no
// printer installed the list holds one virtual printer, so page set-up, layout and preview work
// everywhere. Lengths are millimetres.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/graphics/geometry.h"
#include "platform/print/papers.h"
#include "platform/print/print_backend.h"
#include "platform/print/print_page_canvas.h"

class TRecordingPrintBackend;
class TpgwCustomPrinter;

// A paper or bin of a printer: its name as the driver gives it and its code.
struct TpgwPrinterItem {
    std::string Name;
    int Code = 0;
};

// Font sizes in points come out right on the printer: before every drawing call the font's
// pixels-per-inch is made the printer's vertical resolution, keeping its point size.
class TpgwPrinterCanvas : public TPrintPageCanvas {
public:
    explicit TpgwPrinterCanvas(TpgwCustomPrinter* printer);
    TpgwCustomPrinter* Printer() const { return printer_; }
    // Takes the printer's resolution for measuring and fonts.
    void Refresh();

protected:
    void Changing() override;

private:
    TpgwCustomPrinter* printer_;
};

class TpgwCustomPrinter {
public:
    TpgwCustomPrinter(std::string name, std::string port);
    virtual ~TpgwCustomPrinter();
    TpgwCustomPrinter(const TpgwCustomPrinter&) = delete;
    TpgwCustomPrinter& operator=(const TpgwCustomPrinter&) = delete;

    // Reads the printer's capabilities once; a failure leaves it uninitialised, so the next
    // call tries again.
    virtual void Init() = 0;
    // Documents and raw jobs raise EPrinter when the printer cannot take them (not valid, the
    // spooler refuses, the output file cannot be written); a failed EndDoc leaves no file.
    // Cancels the current document: nothing of it is printed.
    virtual void Abort() = 0;
    virtual void BeginDoc() = 0;
    virtual void BeginPage() = 0;
    virtual void BeginRawDoc() = 0;
    virtual void EndDoc() = 0;
    virtual void EndPage() = 0;
    virtual void EndRawDoc() = 0;
    virtual void WriteRawData(std::string_view data) = 0;
    // Selects a paper for layout and measuring. Paper kCustomPaperSize keeps the given sizes
    // (with the margins of A4); the others take the paper's own.
    virtual void SetPageFormat(int paperSize, TPrinterOrientation orientation, double paperWidth,
                               double paperHeight) = 0;
    // Sets the device up for the next pages: duplex is a DMDUP_* code, 4 meaning simplex too
    // (the print run passes its duplex mode plus one). The bin and duplex chosen in the
    // properties dialog win over the given ones.
    virtual void ApplyPrintFormat(int paperSize, TPrinterOrientation orientation, double paperWidth,
                                  double paperHeight, int bin, int duplex, int copies) = 0;
    // Our own small set-up dialog (bin and duplex) in place of the driver's; true when it was
    // confirmed, and Bin and Duplex then hold the choice for the next document.
    virtual bool ShowPropertiesDialog() = 0;

    // Index in Bins / Papers of the entry with that code; -1 when absent.
    int BinIndex(int code) const;
    int PaperIndex(int code) const;
    // The code of the entry with exactly that name; an unknown name gives the first entry's code
    // (DMBIN_AUTO, kCustomPaperSize).
    int BinNameToNumber(std::string_view name) const;
    int PaperNameToNumber(std::string_view name) const;

    // The capabilities were read and the last measuring succeeded: pages can be printed.
    bool IsValid() const { return Initialized() && valid_; }

    // Chosen in the properties dialog for the next document; -1: none.
    int Bin() const { return bin_; }
    void SetBin(int value) { bin_ = value; }
    int Duplex() const { return duplex_; }
    void SetDuplex(int value) { duplex_ = value; }
    // First entry: "prDefault" with DMBIN_AUTO.
    const std::vector<TpgwPrinterItem>& Bins() const { return bins_; }
    // First entry: "prCustom" with kCustomPaperSize.
    const std::vector<TpgwPrinterItem>& Papers() const { return papers_; }
    TpgwPrinterCanvas* Canvas() const { return canvas_.get(); }
    TPrinterOrientation DefOrientation() const { return defOrientation_; }
    int DefPaper() const { return defPaper_; }
    double DefPaperHeight() const { return defPaperHeight_; }
    double DefPaperWidth() const { return defPaperWidth_; }
    TPoint DPI() const { return dpi_; }
    // Not empty: documents go to this file (PDF) instead of the printer.
    const std::string& FileName() const { return fileName_; }
    void SetFileName(const std::string& value) { fileName_ = value; }
    bool Initialized() const { return initialized_; }
    const std::string& Name() const { return name_; }
    int Paper() const { return paper_; }
    double PaperHeight() const { return paperHeight_; }
    double PaperWidth() const { return paperWidth_; }
    // The unprintable margins of the current paper.
    double LeftMargin() const { return leftMargin_; }
    double TopMargin() const { return topMargin_; }
    double RightMargin() const { return rightMargin_; }
    double BottomMargin() const { return bottomMargin_; }
    TPrinterOrientation Orientation() const { return orientation_; }
    const std::string& Port() const { return port_; }
    bool Printing() const { return printing_; }
    // The document's name in the spooler; empty: "Pagewright Document".
    const std::string& Title() const { return title_; }
    void SetTitle(const std::string& value) { title_ = value; }
    // A landscape user-defined paper is sent with width and length exchanged.
    bool SwapPageSize() const { return swapPageSize_; }
    void SetSwapPageSize(bool value) { swapPageSize_ = value; }

protected:
    int bin_ = -1;
    int duplex_ = -1;
    std::vector<TpgwPrinterItem> bins_;
    std::vector<TpgwPrinterItem> papers_;
    std::unique_ptr<TpgwPrinterCanvas> canvas_;
    TPrinterOrientation defOrientation_ = poPortrait;
    int defPaper_ = 0;
    double defPaperHeight_ = 0;
    double defPaperWidth_ = 0;
    TPoint dpi_;
    std::string fileName_;
    bool initialized_ = false;
    bool valid_ = false;
    std::string name_;
    int paper_ = 0;
    double paperHeight_ = 0;
    double paperWidth_ = 0;
    double leftMargin_ = 0;
    double topMargin_ = 0;
    double rightMargin_ = 0;
    double bottomMargin_ = 0;
    TPrinterOrientation orientation_ = poPortrait;
    std::string port_;
    bool printing_ = false;
    std::string title_;
    bool swapPageSize_ = false;
};

// A printer of the print backend.
class TpgwPrinter : public TpgwCustomPrinter {
public:
    TpgwPrinter(std::string name, std::string port);
    ~TpgwPrinter() override;

    void Init() override;
    void Abort() override;
    void BeginDoc() override;
    void BeginPage() override;
    void BeginRawDoc() override;
    void EndDoc() override;
    void EndPage() override;
    void EndRawDoc() override;
    void WriteRawData(std::string_view data) override;
    void SetPageFormat(int paperSize, TPrinterOrientation orientation, double paperWidth,
                       double paperHeight) override;
    void ApplyPrintFormat(int paperSize, TPrinterOrientation orientation, double paperWidth,
                          double paperHeight, int bin, int duplex, int copies) override;
    bool ShowPropertiesDialog() override;

    // The device's set-up for the coming pages (the device mode).
    const TPrintFormat& DeviceMode() const { return devMode_; }

private:
    // Takes the device's page for the device mode; false (and an error box) when it has no
    // resolution.
    bool Measure();
    // Ends the open document's state before the device hears of it, so a failing device
    // leaves no document open; false when none was.
    bool leaveDocument();

    std::unique_ptr<TPrintDevice> device_;
    TPrintFormat devMode_;
    bool rawOpen_ = false;
};

// Stands in when no printer is installed: A4 at 600 dpi, the standard papers, 5 mm margins;
// it never prints.
class TpgwVirtualPrinter : public TpgwCustomPrinter {
public:
    TpgwVirtualPrinter(std::string name, std::string port);

    void Init() override;
    void Abort() override {}
    void BeginDoc() override {}
    void BeginPage() override {}
    void BeginRawDoc() override {}
    void EndDoc() override {}
    void EndPage() override {}
    void EndRawDoc() override {}
    void WriteRawData(std::string_view) override {}
    void SetPageFormat(int paperSize, TPrinterOrientation orientation, double paperWidth,
                       double paperHeight) override;
    void ApplyPrintFormat(int paperSize, TPrinterOrientation orientation, double paperWidth,
                          double paperHeight, int bin, int duplex, int copies) override;
    bool ShowPropertiesDialog() override { return false; }
};

class TpgwPrinters {
public:
    // Lists the backend's printers and selects the default one (printer 0 when the default is
    // not listed); with none, one virtual printer named "prVirtual".
    TpgwPrinters();
    ~TpgwPrinters();
    TpgwPrinters(const TpgwPrinters&) = delete;
    TpgwPrinters& operator=(const TpgwPrinters&) = delete;

    // None for a negative index; an index beyond the list raises EListError.
    TpgwCustomPrinter* Items(int index) const;
    // Compared without regard to case; -1 when absent.
    int IndexOf(std::string_view name) const;
    // -1 selects the system's default printer (-1 again when it is not listed); the printer
    // selected is initialised.
    void SelectPrinter(int index);
    // The current printer; none when PrinterIndex is -1.
    TpgwCustomPrinter* Printer() const { return Items(printerIndex_); }
    const std::vector<std::string>& Printers() const { return printers_; }
    int PrinterIndex() const { return printerIndex_; }
    // False when only the virtual printer is there.
    bool PrintersInstalled() const { return printersInstalled_; }
    int Count() const { return static_cast<int>(printerList_.size()); }

private:
    std::vector<std::unique_ptr<TpgwCustomPrinter>> printerList_;
    std::vector<std::string> printers_;
    int printerIndex_ = -1;
    bool printersInstalled_ = false;
    std::string defaultName_;
};

// The process-wide printer list, built from the print backend on first use.
TpgwPrinters* GetPrinters();
// Drops the list; the next GetPrinters builds it again from the backend in force.
void ResetPrinters();

// The current printer's paper, for new report pages.
TPrinterPaper CurrentPrinterPaperFromPrinters();

// For tests: the printers come from the given backend for the scope (a recording backend, or
// none at all: no printer installed, so the virtual printer), and the printer list is rebuilt
// on entry and on exit.
class TpgwScopedPrinters {
public:
    // Recorded printers with the standard set-up, the first the default; no names: no printer.
    explicit TpgwScopedPrinters(const std::vector<std::string>& names = {});
    // Any backend; null: no printer installed.
    explicit TpgwScopedPrinters(std::unique_ptr<TPrintBackend> backend);
    ~TpgwScopedPrinters();
    TpgwScopedPrinters(const TpgwScopedPrinters&) = delete;
    TpgwScopedPrinters& operator=(const TpgwScopedPrinters&) = delete;

    // The recording backend when the scope made or was given one, else none.
    TRecordingPrintBackend* Recorder() const { return recorder_; }

private:
    std::unique_ptr<TPrintBackend> previous_;
    TRecordingPrintBackend* recorder_ = nullptr;
};
