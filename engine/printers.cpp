#include "engine/printers.h"

#include <algorithm>

#include "engine/printer_properties_dialog.h"
#include "platform/core/exception.h"
#include "platform/core/numbers.h"
#include "platform/core/text.h"
#include "platform/print/recording_print_backend.h"
#include "report/resources.h"
#include "report/utils.h"

namespace {
constexpr const char* kDefaultTitle = "Pagewright Document";
constexpr double kVirtualMargin = 5;

int itemIndex(const std::vector<TpgwPrinterItem>& items, int code) {
    for (std::size_t i = 0; i < items.size(); ++i)
        if (items[i].Code == code) return static_cast<int>(i);
    return -1;
}

int nameToCode(const std::vector<TpgwPrinterItem>& items, std::string_view name) {
    for (const TpgwPrinterItem& item : items)
        if (item.Name == name) return item.Code;
    return items.front().Code;
}

double dotsToMm(int dots, int dpi) {
    return RoundHalfEven(dots * 25.4 / dpi);
}
} // namespace

// ---- canvas

TpgwPrinterCanvas::TpgwPrinterCanvas(TpgwCustomPrinter* printer) : printer_(printer) {}

void TpgwPrinterCanvas::Refresh() {
    const TPoint dpi = printer_->DPI();
    if (dpi.X > 0 && dpi.Y > 0) SetResolution(dpi.X, dpi.Y);
}

void TpgwPrinterCanvas::Changing() {
    const int dpi = printer_->DPI().Y;
    if (dpi > 0 && Font().PixelsPerInch() != dpi) {
        const int size = Font().Size();
        Font().SetPixelsPerInch(dpi);
        Font().SetSize(size);
    }
    TPrintPageCanvas::Changing();
}

// ---- common part

TpgwCustomPrinter::TpgwCustomPrinter(std::string name, std::string port)
    : canvas_(std::make_unique<TpgwPrinterCanvas>(this)), name_(std::move(name)),
      port_(std::move(port)) {
    bins_.push_back({GetResources().GetText("prDefault"), DMBIN_AUTO});
    papers_.push_back({GetResources().GetText("prCustom"), kCustomPaperSize});
}

TpgwCustomPrinter::~TpgwCustomPrinter() = default;

int TpgwCustomPrinter::BinIndex(int code) const {
    return itemIndex(bins_, code);
}

int TpgwCustomPrinter::PaperIndex(int code) const {
    return itemIndex(papers_, code);
}

int TpgwCustomPrinter::BinNameToNumber(std::string_view name) const {
    return nameToCode(bins_, name);
}

int TpgwCustomPrinter::PaperNameToNumber(std::string_view name) const {
    return nameToCode(papers_, name);
}

// ---- a printer of the backend

TpgwPrinter::TpgwPrinter(std::string name, std::string port)
    : TpgwCustomPrinter(std::move(name), std::move(port)) {}

TpgwPrinter::~TpgwPrinter() {
    canvas_->SetPageTarget(nullptr);
    if (device_ && printing_) {
        try {
            device_->Abort();
        } catch (const std::exception&) {
            // Going away anyway; the spooler drops the unfinished job.
        }
    }
}

void TpgwPrinter::Init() {
    if (initialized_) return;
    try {
        device_ = PrintBackend().Open(name_);
    } catch (const Exception&) {
        device_.reset();
    }
    if (!device_) return;
    const TPrinterCapabilities& caps = device_->Capabilities();
    devMode_ = TPrintFormat{};
    devMode_.PaperSize = caps.DefaultPaper;
    devMode_.Orientation = caps.DefaultOrientation;
    if (!Measure()) {
        device_.reset();
        return;
    }
    defPaper_ = paper_ = devMode_.PaperSize;
    defPaperWidth_ = paperWidth_;
    defPaperHeight_ = paperHeight_;
    defOrientation_ = orientation_ = devMode_.Orientation;
    for (const TPrintPaper& p : caps.Papers)
        if (p.Code != kCustomPaperSize) papers_.push_back({p.Name, p.Code});
    for (const TPrintBin& b : caps.Bins)
        if (b.Code != DMBIN_AUTO) bins_.push_back({b.Name, b.Code});
    bin_ = -1;
    duplex_ = -1;
    initialized_ = true;
}

bool TpgwPrinter::Measure() {
    const TPrintMetrics m = device_->Measure(devMode_);
    if (m.DpiX <= 0 || m.DpiY <= 0) {
        valid_ = false;
        ShowErrorMessage("Printer selected is not valid");
        return false;
    }
    dpi_ = {m.DpiX, m.DpiY};
    paperHeight_ = dotsToMm(m.PhysicalHeight, m.DpiY);
    paperWidth_ = dotsToMm(m.PhysicalWidth, m.DpiX);
    leftMargin_ = dotsToMm(m.OffsetX, m.DpiX);
    topMargin_ = dotsToMm(m.OffsetY, m.DpiY);
    rightMargin_ = paperWidth_ - dotsToMm(m.PrintableWidth, m.DpiX) - leftMargin_;
    bottomMargin_ = paperHeight_ - dotsToMm(m.PrintableHeight, m.DpiY) - topMargin_;
    valid_ = true;
    canvas_->Refresh();
    return true;
}

void TpgwPrinter::SetPageFormat(int paperSize, TPrinterOrientation orientation, double paperWidth,
                                double paperHeight) {
    if (!device_) return;
    if (paperSize == kCustomPaperSize) {
        // A4 gives a valid context and the margins; the sizes are the caller's.
        SetPageFormat(9, orientation, 0, 0);
        paperWidth_ = paperWidth;
        paperHeight_ = paperHeight;
    } else {
        const TPrintFormat previous = devMode_;
        devMode_.PaperSize = paperSize;
        devMode_.PaperLength = devMode_.PaperWidth = 0;
        devMode_.Orientation = orientation;
        if (!Measure()) {
            devMode_ = previous;
            return;
        }
    }
    paper_ = paperSize;
    orientation_ = orientation;
}

void TpgwPrinter::ApplyPrintFormat(int paperSize, TPrinterOrientation orientation,
                                   double paperWidth, double paperHeight, int bin, int duplex,
                                   int copies) {
    if (!device_) return;
    TPrintFormat dm = devMode_;
    if (paperSize == kCustomPaperSize) {
        dm.PaperLength = static_cast<int>(Round(paperHeight * 10));
        dm.PaperWidth = static_cast<int>(Round(paperWidth * 10));
        if (orientation == poLandscape && swapPageSize_) std::swap(dm.PaperLength, dm.PaperWidth);
    } else {
        dm.PaperLength = dm.PaperWidth = 0;
    }
    dm.PaperSize = paperSize;
    dm.Orientation = orientation;
    dm.Copies = copies;
    if (bin_ != -1) bin = bin_;
    dm.Bin = bin;
    if (duplex_ != -1) duplex = duplex_;
    dm.Duplex = duplex == 4 ? DMDUP_SIMPLEX : duplex;
    devMode_ = dm;
    device_->SetFormat(devMode_);
    if (Measure()) {
        paper_ = paperSize;
        orientation_ = orientation;
    }
}

void TpgwPrinter::BeginDoc() {
    if (!device_) throw EPrinter("Printer selected is not valid");
    TPrintDocInfo info;
    info.Title = title_.empty() ? kDefaultTitle : title_;
    info.FileName = fileName_;
    device_->BeginDoc(info, devMode_, *canvas_);
    printing_ = true;
}

void TpgwPrinter::BeginPage() {
    if (printing_) device_->BeginPage();
}

void TpgwPrinter::EndPage() {
    if (printing_) device_->EndPage();
}

bool TpgwPrinter::leaveDocument() {
    if (!printing_) return false;
    // The properties dialog's choice lasts one document, whatever becomes of it.
    printing_ = false;
    bin_ = -1;
    duplex_ = -1;
    return true;
}

void TpgwPrinter::EndDoc() {
    if (leaveDocument()) device_->EndDoc();
}

void TpgwPrinter::Abort() {
    if (leaveDocument()) device_->Abort();
}

void TpgwPrinter::BeginRawDoc() {
    if (!device_) throw EPrinter("Printer selected is not valid");
    device_->BeginRawDoc(title_.empty() ? kDefaultTitle : title_);
    rawOpen_ = true;
}

void TpgwPrinter::WriteRawData(std::string_view data) {
    if (!rawOpen_) return;
    device_->WriteRawData({reinterpret_cast<const std::uint8_t*>(data.data()), data.size()});
}

void TpgwPrinter::EndRawDoc() {
    if (!rawOpen_) return;
    rawOpen_ = false;
    device_->EndRawDoc();
}

bool TpgwPrinter::ShowPropertiesDialog() {
    if (!device_) return false;
    TpgwPrinterPropertiesRequest request;
    request.PrinterName = name_;
    request.Bins = bins_;
    for (int mode : device_->Capabilities().DuplexModes)
        request.DuplexModes.push_back(mode);
    request.Bin = devMode_.Bin;
    request.Duplex = devMode_.Duplex;
    const int oldDuplex = devMode_.Duplex;
    if (!ExecutePrinterPropertiesDialog(request)) return false;
    devMode_.Bin = request.Bin;
    devMode_.Duplex = request.Duplex;
    bin_ = request.Bin;
    if (request.Duplex != oldDuplex) duplex_ = request.Duplex;
    return true;
}

// ---- the virtual printer

TpgwVirtualPrinter::TpgwVirtualPrinter(std::string name, std::string port)
    : TpgwCustomPrinter(std::move(name), std::move(port)) {}

void TpgwVirtualPrinter::Init() {
    if (initialized_) return;
    dpi_ = {600, 600};
    defPaper_ = 9;
    defOrientation_ = poPortrait;
    defPaperWidth_ = 210;
    defPaperHeight_ = 297;
    for (const TPaperSizeInfo& row : PaperSizes())
        papers_.push_back({row.Name, row.Code});
    bin_ = -1;
    duplex_ = -1;
    initialized_ = true;
    valid_ = true;
    canvas_->Refresh();
    // New pages copy the current paper, so there must be one from the start.
    SetPageFormat(defPaper_, defOrientation_, defPaperWidth_, defPaperHeight_);
}

void TpgwVirtualPrinter::SetPageFormat(int paperSize, TPrinterOrientation orientation,
                                       double paperWidth, double paperHeight) {
    double w = 0, h = 0;
    if (FindPaperSize(paperSize, w, h)) {
        if (orientation == poLandscape) std::swap(w, h);
        paper_ = paperSize;
        paperWidth_ = w;
        paperHeight_ = h;
    } else {
        paper_ = kCustomPaperSize;
        paperWidth_ = paperWidth;
        paperHeight_ = paperHeight;
    }
    leftMargin_ = topMargin_ = rightMargin_ = bottomMargin_ = kVirtualMargin;
    orientation_ = orientation;
}

void TpgwVirtualPrinter::ApplyPrintFormat(int paperSize, TPrinterOrientation orientation,
                                          double paperWidth, double paperHeight, int bin, int,
                                          int) {
    SetPageFormat(paperSize, orientation, paperWidth, paperHeight);
    bin_ = bin;
}

// ---- the list

TpgwPrinters::TpgwPrinters() {
    std::vector<TPrinterEntry> entries;
    try {
        entries = PrintBackend().Printers();
        if (!entries.empty()) defaultName_ = PrintBackend().DefaultPrinterName();
    } catch (const Exception&) {
        entries.clear();
    }
    for (TPrinterEntry& e : entries) {
        printers_.push_back(e.Name);
        printerList_.push_back(std::make_unique<TpgwPrinter>(e.Name, e.Port));
    }
    if (!printerList_.empty()) {
        printersInstalled_ = true;
        const int index = IndexOf(defaultName_);
        SelectPrinter(index >= 0 ? index : 0);
    } else {
        const std::string name = GetResources().GetText("prVirtual");
        printers_.push_back(name);
        printerList_.push_back(std::make_unique<TpgwVirtualPrinter>(name, ""));
        printersInstalled_ = false;
        SelectPrinter(0);
    }
}

TpgwPrinters::~TpgwPrinters() = default;

TpgwCustomPrinter* TpgwPrinters::Items(int index) const {
    if (index < 0) return nullptr;
    if (index >= Count())
        throw EListError("List index out of bounds (" + std::to_string(index) + ")");
    return printerList_[index].get();
}

int TpgwPrinters::IndexOf(std::string_view name) const {
    for (std::size_t i = 0; i < printers_.size(); ++i)
        if (AnsiSameText(printers_[i], name)) return static_cast<int>(i);
    return -1;
}

void TpgwPrinters::SelectPrinter(int index) {
    if (index == -1) index = defaultName_.empty() ? -1 : IndexOf(defaultName_);
    if (index >= Count() || index < -1)
        throw EListError("List index out of bounds (" + std::to_string(index) + ")");
    printerIndex_ = index;
    if (index != -1) printerList_[index]->Init();
}

// ---- process-wide list

namespace {
std::unique_ptr<TpgwPrinters>& printerList() {
    static std::unique_ptr<TpgwPrinters> list;
    return list;
}
} // namespace

TpgwPrinters* GetPrinters() {
    auto& list = printerList();
    if (!list) list = std::make_unique<TpgwPrinters>();
    return list.get();
}

void ResetPrinters() {
    printerList().reset();
}

TPrinterPaper CurrentPrinterPaperFromPrinters() {
    const TpgwCustomPrinter* p = GetPrinters()->Printer();
    if (!p || !p->IsValid() || p->Paper() == 0) return {};
    return {p->Paper(), p->PaperWidth(), p->PaperHeight(), p->Orientation()};
}

// ---- tests

TpgwScopedPrinters::TpgwScopedPrinters(const std::vector<std::string>& names) {
    auto backend = std::make_unique<TRecordingPrintBackend>();
    for (const std::string& name : names)
        backend->AddPrinter(name);
    recorder_ = backend.get();
    ResetPrinters();
    previous_ = SetPrintBackend(std::move(backend));
}

TpgwScopedPrinters::TpgwScopedPrinters(std::unique_ptr<TPrintBackend> backend) {
    if (!backend) backend = std::make_unique<TRecordingPrintBackend>();
    recorder_ = dynamic_cast<TRecordingPrintBackend*>(backend.get());
    ResetPrinters();
    previous_ = SetPrintBackend(std::move(backend));
}

TpgwScopedPrinters::~TpgwScopedPrinters() {
    // The printers hold devices of the backend going away.
    ResetPrinters();
    SetPrintBackend(std::move(previous_));
}
