#include "platform/print/recording_print_backend.h"

#include <algorithm>
#include <cmath>

#include "platform/core/safe_file.h"
#include "platform/print/pdf_document_p.h"
#include "platform/print/print_page_canvas.h"

TPrinterCapabilities StandardRecordedCapabilities() {
    TPrinterCapabilities caps;
    for (int code : {9, 11, 8, 1}) {
        const TPaperSizeInfo* row = FindPaperSizeInfo(code);
        caps.Papers.push_back({code, row->Name, row->Width / 10.0, row->Height / 10.0});
    }
    caps.Bins = {{DMBIN_UPPER, "Tray 1"}, {DMBIN_LOWER, "Tray 2"}};
    caps.Resolutions = {600, 300};
    caps.DuplexModes = {DMDUP_SIMPLEX, DMDUP_VERTICAL, DMDUP_HORIZONTAL};
    caps.DefaultPaper = 9;
    caps.DefaultOrientation = poPortrait;
    return caps;
}

namespace {
std::string describe(const TPrintFormat& f) {
    std::string s = "paper=" + std::to_string(f.PaperSize);
    if (f.PaperSize == kCustomPaperSize)
        s += " length=" + std::to_string(f.PaperLength) + " width=" + std::to_string(f.PaperWidth);
    s += f.Orientation == poLandscape ? " landscape" : " portrait";
    s += " bin=" + std::to_string(f.Bin) + " duplex=" + std::to_string(f.Duplex) +
         " copies=" + std::to_string(f.Copies);
    if (f.Collate) s += " collate";
    return s;
}

// The portrait size of a paper code: the printer's own papers, then the table.
bool findPaper(const TPrinterCapabilities& caps, int code, double& w, double& h) {
    auto it = std::find_if(caps.Papers.begin(), caps.Papers.end(),
                           [&](const TPrintPaper& p) { return p.Code == code; });
    if (it != caps.Papers.end()) {
        w = it->Width;
        h = it->Height;
        return true;
    }
    return FindPaperSize(code, w, h);
}

// The paper's size in mm as it lies: the user-defined one or that of the code, turned for
// landscape. A code nobody knows gets the default paper, as a driver falls back.
bool paperSize(const TPrinterCapabilities& caps, const TPrintFormat& f, double& w, double& h) {
    if (f.PaperSize == kCustomPaperSize && f.PaperWidth > 0 && f.PaperLength > 0) {
        w = f.PaperWidth / 10.0;
        h = f.PaperLength / 10.0;
    } else if (!findPaper(caps, f.PaperSize, w, h) && !findPaper(caps, caps.DefaultPaper, w, h)) {
        return false;
    }
    if (f.Orientation == poLandscape) std::swap(w, h);
    return true;
}

int dots(double mm, int dpi) {
    return static_cast<int>(std::lround(mm * dpi / 25.4));
}

TPdfPageLayout layoutOf(const TPrintMetrics& m) {
    const auto mm = [](int dots, int dpi) { return dots * 25.4 / dpi; };
    return {mm(m.PhysicalWidth, m.DpiX),
            mm(m.PhysicalHeight, m.DpiY),
            mm(m.OffsetX, m.DpiX),
            mm(m.OffsetY, m.DpiY),
            mm(m.PhysicalWidth - m.OffsetX - m.PrintableWidth, m.DpiX),
            mm(m.PhysicalHeight - m.OffsetY - m.PrintableHeight, m.DpiY)};
}
} // namespace

class TRecordedDevice : public TPrintDevice {
public:
    TRecordedDevice(TRecordingPrintBackend& backend, const TRecordedPrinterSetup& setup)
        : backend_(backend), setup_(setup) {}
    ~TRecordedDevice() override {
        if (canvas_) canvas_->SetPageTarget(nullptr);
    }

    const std::string& Name() const override { return setup_.Name; }
    const TPrinterCapabilities& Capabilities() override { return setup_.Capabilities; }

    TPrintMetrics Measure(const TPrintFormat& format) override {
        TPrintMetrics m;
        double w = 0, h = 0;
        if (!paperSize(setup_.Capabilities, format, w, h)) return m;
        m.DpiX = setup_.DpiX;
        m.DpiY = setup_.DpiY;
        m.PhysicalWidth = dots(w, m.DpiX);
        m.PhysicalHeight = dots(h, m.DpiY);
        m.OffsetX = dots(setup_.Margin, m.DpiX);
        m.OffsetY = dots(setup_.Margin, m.DpiY);
        m.PrintableWidth = m.PhysicalWidth - 2 * m.OffsetX;
        m.PrintableHeight = m.PhysicalHeight - 2 * m.OffsetY;
        return m;
    }

    void SetFormat(const TPrintFormat& format) override {
        format_ = format;
        backend_.formats_.push_back(format);
        log("SetFormat " + setup_.Name + " " + describe(format));
    }

    void BeginDoc(const TPrintDocInfo& info, const TPrintFormat& format,
                  TPrintPageCanvas& canvas) override {
        if (doc_ >= 0) throw EPrinter("a document is already open on " + setup_.Name);
        canvas_ = &canvas;
        format_ = format;
        TRecordedDocument d;
        d.Printer = setup_.Name;
        d.Info = info;
        const std::string& target = info.FileName.empty() ? backend_.outputFile_ : info.FileName;
        if (backend_.writeFiles_ && !target.empty()) {
            file_ = std::make_unique<TSafeFileWriter>(target);
            pdf_ = std::make_unique<TPdfDocument>(*file_, info.Title, setup_.DpiY);
        }
        backend_.documents_.push_back(std::move(d));
        doc_ = static_cast<int>(backend_.documents_.size()) - 1;
        log("BeginDoc " + setup_.Name + " " + info.Title +
            (info.FileName.empty() ? "" : " file=" + info.FileName));
    }

    void BeginPage() override {
        if (doc_ < 0) throw EPrinter("no document is open on " + setup_.Name);
        if (page_) EndPage();
        pageFormat_ = format_;
        metrics_ = Measure(format_);
        page_ = std::make_unique<TRecordingCanvas>(metrics_.PhysicalWidth, metrics_.PhysicalHeight,
                                                   setup_.DpiX, setup_.DpiY);
        canvas_->SetPageTarget(page_.get());
        log("BeginPage");
    }

    void EndPage() override {
        if (!page_) return;
        canvas_->SetPageTarget(nullptr);
        TRecording recording = page_->TakeRecording();
        page_.reset();
        if (pdf_) {
            // Replayed at the page's own size: the recording is in device dots already.
            recording.Play(pdf_->BeginPage(layoutOf(metrics_)));
            pdf_->EndPage();
        }
        backend_.documents_[doc_].Pages.push_back({pageFormat_, metrics_, std::move(recording)});
        log("EndPage");
    }

    void EndDoc() override {
        if (doc_ < 0) return;
        EndPage();
        if (pdf_) {
            try {
                if (pdf_->PageCount() > 0) {
                    pdf_->Finish();
                    file_->Commit();
                }
            } catch (...) {
                dropFile();
                finish("EndDoc failed");
                throw;
            }
        }
        dropFile();
        backend_.documents_[doc_].Ended = true;
        finish("EndDoc");
    }

    void Abort() override {
        if (doc_ < 0) return;
        if (page_) canvas_->SetPageTarget(nullptr);
        page_.reset();
        dropFile();
        backend_.documents_[doc_].Aborted = true;
        finish("Abort");
    }

    void BeginRawDoc(const std::string& title) override {
        if (doc_ >= 0) throw EPrinter("a document is already open on " + setup_.Name);
        TRecordedDocument d;
        d.Printer = setup_.Name;
        d.Info.Title = title;
        d.Raw = true;
        backend_.documents_.push_back(std::move(d));
        doc_ = static_cast<int>(backend_.documents_.size()) - 1;
        log("BeginRawDoc " + setup_.Name + " " + title);
    }

    void WriteRawData(std::span<const std::uint8_t> data) override {
        if (doc_ < 0 || !backend_.documents_[doc_].Raw)
            throw EPrinter("no raw document is open on " + setup_.Name);
        backend_.documents_[doc_].RawData.append(data.begin(), data.end());
        log("WriteRawData " + std::to_string(data.size()));
    }

    void EndRawDoc() override {
        if (doc_ < 0) return;
        backend_.documents_[doc_].Ended = true;
        finish("EndRawDoc");
    }

private:
    void log(std::string line) { backend_.log_.push_back(std::move(line)); }
    // Without a Commit the target stays as it was.
    void dropFile() {
        pdf_.reset();
        file_.reset();
    }
    void finish(const char* what) {
        doc_ = -1;
        if (canvas_) canvas_->SetPageTarget(nullptr);
        canvas_ = nullptr;
        log(what);
    }

    TRecordingPrintBackend& backend_;
    const TRecordedPrinterSetup& setup_;
    TPrintFormat format_;
    TPrintFormat pageFormat_;
    TPrintMetrics metrics_;
    TPrintPageCanvas* canvas_ = nullptr;
    std::unique_ptr<TRecordingCanvas> page_;
    std::unique_ptr<TSafeFileWriter> file_;
    std::unique_ptr<TPdfDocument> pdf_;
    int doc_ = -1;
};

TRecordingPrintBackend::TRecordingPrintBackend() = default;
TRecordingPrintBackend::~TRecordingPrintBackend() = default;

TRecordedPrinterSetup& TRecordingPrintBackend::AddPrinter(const std::string& name) {
    TRecordedPrinterSetup setup;
    setup.Name = name;
    setup.Capabilities = StandardRecordedCapabilities();
    return AddPrinter(std::move(setup));
}

TRecordedPrinterSetup& TRecordingPrintBackend::AddPrinter(TRecordedPrinterSetup setup) {
    printers_.push_back(std::make_unique<TRecordedPrinterSetup>(std::move(setup)));
    return *printers_.back();
}

std::vector<TPrinterEntry> TRecordingPrintBackend::Printers() {
    std::vector<TPrinterEntry> result;
    for (const auto& p : printers_)
        result.push_back({p->Name, p->Port});
    return result;
}

std::string TRecordingPrintBackend::DefaultPrinterName() {
    if (!default_.empty()) return default_;
    return printers_.empty() ? std::string() : printers_.front()->Name;
}

std::unique_ptr<TPrintDevice> TRecordingPrintBackend::Open(const std::string& name) {
    for (const auto& p : printers_)
        if (p->Name == name) return std::make_unique<TRecordedDevice>(*this, *p);
    return nullptr;
}

std::vector<const TRecordedPage*> TRecordingPrintBackend::AllPages() const {
    std::vector<const TRecordedPage*> pages;
    for (const TRecordedDocument& d : documents_)
        for (const TRecordedPage& p : d.Pages)
            pages.push_back(&p);
    return pages;
}

void TRecordingPrintBackend::Clear() {
    log_.clear();
    formats_.clear();
    documents_.clear();
}
