#pragma once
// The system's printers behind one replaceable interface: which printers exist and which is the
// default, each printer's papers, bins, resolutions, printable margins and duplex modes, and
// jobs of drawn pages or of raw bytes. Codes are the ones page set-up stores in templates:
// paper codes of the paper table (papers.h), bin codes DMBIN_*, duplex codes DMDUP_*.

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "platform/core/exception.h"
#include "platform/print/papers.h"

class TPrintPageCanvas;

// A printer that cannot be opened, a job the spooler refuses, a file that cannot be written.
LUMETRA_EXCEPTION(EPrinter, Exception);

// Paper sources.
inline constexpr int DMBIN_UPPER = 1, DMBIN_ONLYONE = 1, DMBIN_LOWER = 2, DMBIN_MIDDLE = 3,
                     DMBIN_MANUAL = 4, DMBIN_ENVELOPE = 5, DMBIN_ENVMANUAL = 6, DMBIN_AUTO = 7,
                     DMBIN_TRACTOR = 8, DMBIN_SMALLFMT = 9, DMBIN_LARGEFMT = 10,
                     DMBIN_LARGECAPACITY = 11, DMBIN_CASSETTE = 14, DMBIN_FORMSOURCE = 15,
                     DMBIN_USER = 256;
// Two-sided printing: vertical binds on the long edge, horizontal on the short edge.
inline constexpr int DMDUP_SIMPLEX = 1, DMDUP_VERTICAL = 2, DMDUP_HORIZONTAL = 3;

struct TPrintPaper {
    int Code = 0; // of the paper table, or above 256 for a paper the table lacks
    std::string Name;
    double Width = 0; // mm, portrait
    double Height = 0;
};

struct TPrintBin {
    int Code = DMBIN_AUTO;
    std::string Name;
};

struct TPrinterCapabilities {
    std::vector<TPrintPaper> Papers; // without the user-defined size
    std::vector<TPrintBin> Bins;     // without the automatic bin
    std::vector<int> Resolutions;    // dots per inch, the default first
    std::vector<int> DuplexModes;    // DMDUP_*; simplex always
    int DefaultPaper = 9;
    TPrinterOrientation DefaultOrientation = poPortrait;
};

// The set-up pages are printed with, as a device mode holds it.
struct TPrintFormat {
    int PaperSize = 9;
    // Tenths of a millimetre of a user-defined paper (PaperSize kCustomPaperSize), portrait:
    // the orientation turns it; 0 for the other sizes.
    int PaperLength = 0;
    int PaperWidth = 0;
    TPrinterOrientation Orientation = poPortrait;
    int Bin = DMBIN_AUTO;
    int Duplex = DMDUP_SIMPLEX;
    int Copies = 1;
    bool Collate = false;
    friend bool operator==(const TPrintFormat&, const TPrintFormat&) = default;
};

// The page a format gives, in device dots, as the device context reports it.
struct TPrintMetrics {
    int DpiX = 0, DpiY = 0; // 0: the device cannot print this
    int PhysicalWidth = 0, PhysicalHeight = 0;
    int OffsetX = 0, OffsetY = 0; // of the printable area from the paper's corner
    int PrintableWidth = 0, PrintableHeight = 0;
};

struct TPrintDocInfo {
    std::string Title;
    // Not empty: the document is written to this file as PDF instead of going to the printer.
    std::string FileName;
};

// One opened printer. Documents: BeginDoc, then pages (SetFormat between them changes paper,
// orientation, bin and duplex for the pages that follow), then EndDoc or Abort. Failures raise
// EPrinter.
class TPrintDevice {
public:
    virtual ~TPrintDevice();
    virtual const std::string& Name() const = 0;
    virtual const TPrinterCapabilities& Capabilities() = 0;
    // The device's page for the format; zero resolution when it has none.
    virtual TPrintMetrics Measure(const TPrintFormat& format) = 0;

    // The format of the pages begun from now on.
    virtual void SetFormat(const TPrintFormat& format) = 0;
    // Starts a document with format for its first pages; drawing on canvas goes to the
    // document's current page until EndDoc or Abort.
    virtual void BeginDoc(const TPrintDocInfo& info, const TPrintFormat& format,
                          TPrintPageCanvas& canvas) = 0;
    virtual void BeginPage() = 0;
    virtual void EndPage() = 0;
    virtual void EndDoc() = 0;
    // Drops the document: nothing is printed, no file is left.
    virtual void Abort() = 0;

    // A pass-through job of printer-language bytes.
    virtual void BeginRawDoc(const std::string& title) = 0;
    virtual void WriteRawData(std::span<const std::uint8_t> data) = 0;
    virtual void EndRawDoc() = 0;
};

struct TPrinterEntry {
    std::string Name;
    std::string Port; // where it prints (a location or device address); may be empty
};

class TPrintBackend {
public:
    virtual ~TPrintBackend();
    // The printers in the system's order.
    virtual std::vector<TPrinterEntry> Printers() = 0;
    // Empty when there is none.
    virtual std::string DefaultPrinterName() = 0;
    // None when the printer cannot be opened.
    virtual std::unique_ptr<TPrintDevice> Open(const std::string& name) = 0;
};

// The backend in force: the system's printers unless one was installed.
TPrintBackend& PrintBackend();
// Installs a backend and returns the one it replaces; null restores the system's.
std::unique_ptr<TPrintBackend> SetPrintBackend(std::unique_ptr<TPrintBackend> backend);
// The printers of the system: the spooler's, or by the environment variable LUMETRA_PRINTERS
// none ("none": test runs that must not see the machine's printers) or one printer that writes
// every document to a PDF file ("file:<path>": runs of the whole program under test).
std::unique_ptr<TPrintBackend> CreateSystemPrintBackend();
// The spooler's printers (the server libcups is set to talk to), whatever the environment says.
std::unique_ptr<TPrintBackend> CreateSpoolerPrintBackend();
