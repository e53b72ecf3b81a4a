// The system's printers: the spooler's queues, their media, sources, resolutions and sides;
// drawn pages become PDF documents (the toolkit's PDF engine) submitted as jobs, raw data goes
// through unchanged.

#include <cups/cups.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/core/safe_file.h"
#include "platform/core/stream.h"
#include "platform/print/pdf_document_p.h"
#include "platform/print/print_backend.h"
#include "platform/print/print_page_canvas.h"
#include "platform/print/recording_print_backend.h"
#include "platform/print/spooler_codes_p.h"

namespace {

constexpr int kDefaultDpi = 600;

// A paper the queue offers, portrait, in mm.
struct Media {
    int Code = 0;
    std::string Keyword; // the spooler's media name; empty when it has none
    std::string Name;
    double Width = 0, Height = 0;
    double Left = 0, Top = 0, Right = 0, Bottom = 0;
};

Media mediaOf(const cups_size_t& size) {
    Media m;
    m.Keyword = size.media;
    m.Width = size.width / 100.0;
    m.Height = size.length / 100.0;
    m.Left = size.left / 100.0;
    m.Top = size.top / 100.0;
    m.Right = size.right / 100.0;
    m.Bottom = size.bottom / 100.0;
    return m;
}

// "tray-1" as "Tray 1", for sources the queue has no translation for.
std::string readable(const char* keyword) {
    std::string text = keyword;
    for (char& c : text)
        if (c == '-') c = ' ';
    if (!text.empty() && text[0] >= 'a' && text[0] <= 'z')
        text[0] = static_cast<char>(text[0] - 'a' + 'A');
    return text;
}

std::string spoolerError(const std::string& printer, const char* what) {
    return "The printer \"" + printer + "\" " + what + ": " + cupsLastErrorString();
}

class CupsDevice : public TPrintDevice {
public:
    CupsDevice(cups_dest_t* dest, cups_dinfo_t* info)
        : dest_(dest), info_(info), name_(dest->name) {
        readMedia();
        readSources();
        readResolution();
        readSides();
        const char* orientation =
            cupsGetOption("orientation-requested", dest_->num_options, dest_->options);
        if (orientation && std::atoi(orientation) == 4) caps_.DefaultOrientation = poLandscape;
        format_.PaperSize = caps_.DefaultPaper;
        format_.Orientation = caps_.DefaultOrientation;
    }

    ~CupsDevice() override {
        try {
            Abort();
        } catch (const std::exception&) {
            // Nothing was handed to the spooler; only temporary files go.
        }
        if (rawJob_) cupsCancelJob2(CUPS_HTTP_DEFAULT, name_.c_str(), rawJob_, 0);
        cupsFreeDestInfo(info_);
        cupsFreeDests(1, dest_);
    }

    const std::string& Name() const override { return name_; }
    const TPrinterCapabilities& Capabilities() override { return caps_; }

    TPrintMetrics Measure(const TPrintFormat& format) override {
        const TPdfPageLayout l = layoutOf(format);
        TPrintMetrics m;
        m.DpiX = m.DpiY = dpi_;
        const auto dots = [this](double mm) { return static_cast<int>(mm * dpi_ / 25.4 + 0.5); };
        m.PhysicalWidth = dots(l.Width);
        m.PhysicalHeight = dots(l.Height);
        m.OffsetX = dots(l.Left);
        m.OffsetY = dots(l.Top);
        m.PrintableWidth = m.PhysicalWidth - m.OffsetX - dots(l.Right);
        m.PrintableHeight = m.PhysicalHeight - m.OffsetY - dots(l.Bottom);
        return m;
    }

    void SetFormat(const TPrintFormat& format) override { format_ = format; }

    void BeginDoc(const TPrintDocInfo& info, const TPrintFormat& format,
                  TPrintPageCanvas& canvas) override {
        if (docOpen_ || rawJob_) throw EPrinter("A document is already open on \"" + name_ + "\".");
        docInfo_ = info;
        format_ = format;
        canvas_ = &canvas;
        if (!info.FileName.empty()) {
            // Written beside the target and renamed over it only when complete.
            fileOut_ = std::make_unique<TSafeFileWriter>(info.FileName);
            pdf_ = std::make_unique<TPdfDocument>(*fileOut_, info.Title, dpi_);
        }
        docOpen_ = true;
    }

    void BeginPage() override {
        if (!docOpen_) throw EPrinter("No document is open on \"" + name_ + "\".");
        EndPage();
        // A job has one set of options: another paper, source, sides or copy count starts the
        // next one (the file keeps everything in one document).
        if (fileOut_ == nullptr && (!pdf_ || !(segmentFormat_ == format_))) startSegment();
        TCanvas& page = pdf_->BeginPage(layoutOf(format_));
        canvas_->SetPageTarget(&page);
        inPage_ = true;
    }

    void EndPage() override {
        if (!inPage_) return;
        canvas_->SetPageTarget(nullptr);
        pdf_->EndPage();
        inPage_ = false;
    }

    void EndDoc() override {
        if (!docOpen_) return;
        EndPage();
        try {
            if (fileOut_) {
                if (pdf_->PageCount() > 0) {
                    pdf_->Finish();
                    fileOut_->Commit();
                }
            } else {
                finishSegment();
                for (const Segment& s : segments_)
                    submit(s);
            }
        } catch (...) {
            clear();
            throw;
        }
        clear();
    }

    void Abort() override {
        if (inPage_) canvas_->SetPageTarget(nullptr);
        inPage_ = false;
        clear();
    }

    void BeginRawDoc(const std::string& title) override {
        if (docOpen_ || rawJob_) throw EPrinter("A document is already open on \"" + name_ + "\".");
        const int job = cupsCreateJob(CUPS_HTTP_DEFAULT, name_.c_str(), title.c_str(), 0, nullptr);
        if (job == 0) throw EPrinter(spoolerError(name_, "refused the job"));
        if (cupsStartDocument(CUPS_HTTP_DEFAULT, name_.c_str(), job, title.c_str(), CUPS_FORMAT_RAW,
                              1) != HTTP_STATUS_CONTINUE) {
            const std::string message = spoolerError(name_, "refused the document");
            cupsCancelJob2(CUPS_HTTP_DEFAULT, name_.c_str(), job, 0);
            throw EPrinter(message);
        }
        rawJob_ = job;
    }

    void WriteRawData(std::span<const std::uint8_t> data) override {
        if (!rawJob_) throw EPrinter("No raw document is open on \"" + name_ + "\".");
        if (data.empty()) return;
        if (cupsWriteRequestData(CUPS_HTTP_DEFAULT, reinterpret_cast<const char*>(data.data()),
                                 data.size()) != HTTP_STATUS_CONTINUE)
            failRaw("did not take the data");
    }

    void EndRawDoc() override {
        if (!rawJob_) return;
        if (cupsFinishDocument(CUPS_HTTP_DEFAULT, name_.c_str()) > IPP_STATUS_OK_EVENTS_COMPLETE)
            failRaw("did not complete the job");
        rawJob_ = 0;
    }

private:
    struct Segment {
        std::string File;
        TPrintFormat Format;
    };

    void failRaw(const char* what) {
        const std::string message = spoolerError(name_, what);
        cupsCancelJob2(CUPS_HTTP_DEFAULT, name_.c_str(), rawJob_, 0);
        rawJob_ = 0;
        throw EPrinter(message);
    }

    void readMedia() {
        const unsigned flags = CUPS_MEDIA_FLAGS_DEFAULT;
        const int count = cupsGetDestMediaCount(CUPS_HTTP_DEFAULT, dest_, info_, flags);
        int nextUserCode = kCustomPaperSize + 1;
        for (int i = 0; i < count; ++i) {
            cups_size_t size;
            if (!cupsGetDestMediaByIndex(CUPS_HTTP_DEFAULT, dest_, info_, i, flags, &size))
                continue;
            Media m = mediaOf(size);
            if (m.Width <= 0 || m.Height <= 0) continue;
            m.Code = PaperCodeForSize(m.Width, m.Height);
            // Borderless and other variants of a size already listed add nothing here.
            if (m.Code && findMedia(m.Code)) continue;
            if (const TPaperSizeInfo* row = FindPaperSizeInfo(m.Code)) {
                // Drivers describe sizes in whole points; the standard paper's is exact.
                m.Width = row->Width / 10.0;
                m.Height = row->Height / 10.0;
            }
            if (!m.Code) m.Code = nextUserCode++;
            // Queues without translations give the keyword back: the table's name reads better.
            const char* name = cupsLocalizeDestMedia(CUPS_HTTP_DEFAULT, dest_, info_, flags, &size);
            m.Name = name && *name ? name : m.Keyword;
            if (const TPaperSizeInfo* row = FindPaperSizeInfo(m.Code); row && m.Name == m.Keyword)
                m.Name = row->Name;
            media_.push_back(m);
        }
        if (media_.empty()) {
            // A queue that names no media (a raw queue) takes any standard paper, edge to edge.
            for (const TPaperSizeInfo& row : PaperSizes()) {
                Media m;
                m.Code = row.Code;
                m.Name = row.Name;
                m.Width = row.Width / 10.0;
                m.Height = row.Height / 10.0;
                media_.push_back(m);
            }
        }
        for (const Media& m : media_)
            caps_.Papers.push_back({m.Code, m.Name, m.Width, m.Height});
        // The queue's own default (the library's would be Letter whenever the queue has no
        // "media" option), else A4, else the first paper.
        caps_.DefaultPaper = findMedia(9) ? 9 : media_.front().Code;
        const char* media = cupsGetOption(CUPS_MEDIA, dest_->num_options, dest_->options);
        if (!media) {
            ipp_attribute_t* def = cupsFindDestDefault(CUPS_HTTP_DEFAULT, dest_, info_, CUPS_MEDIA);
            media = def ? ippGetString(def, 0, nullptr) : nullptr;
        }
        cups_size_t def;
        if (media && cupsGetDestMediaByName(CUPS_HTTP_DEFAULT, dest_, info_, media, flags, &def)) {
            const auto same = std::find_if(media_.begin(), media_.end(),
                                           [&](const Media& m) { return m.Keyword == def.media; });
            const int code = same != media_.end()
                                 ? same->Code
                                 : PaperCodeForSize(def.width / 100.0, def.length / 100.0);
            if (code && findMedia(code)) caps_.DefaultPaper = code;
        }
    }

    void readSources() {
        ipp_attribute_t* attr =
            cupsFindDestSupported(CUPS_HTTP_DEFAULT, dest_, info_, CUPS_MEDIA_SOURCE);
        int nextUserCode = DMBIN_USER;
        for (int i = 0; attr && i < ippGetCount(attr); ++i) {
            const char* keyword = ippGetString(attr, i, nullptr);
            if (!keyword) continue;
            int code = BinCodeForSource(keyword);
            // The automatic bin is every printer's first entry already.
            if (code == DMBIN_AUTO) continue;
            // Two keywords for one standard bin ("top" and "tray-1"): the second is a bin of
            // its own.
            if (!code || sources_.count(code)) code = nextUserCode++;
            const char* name =
                cupsLocalizeDestValue(CUPS_HTTP_DEFAULT, dest_, info_, CUPS_MEDIA_SOURCE, keyword);
            caps_.Bins.push_back({code, name && *name && std::strcmp(name, keyword) != 0
                                            ? name
                                            : readable(keyword)});
            sources_[code] = keyword;
        }
    }

    void readResolution() {
        ipp_attribute_t* attr =
            cupsFindDestSupported(CUPS_HTTP_DEFAULT, dest_, info_, "printer-resolution");
        ipp_attribute_t* def =
            cupsFindDestDefault(CUPS_HTTP_DEFAULT, dest_, info_, "printer-resolution");
        const auto dpiOf = [](ipp_attribute_t* a, int i) {
            int y = 0;
            ipp_res_t units = IPP_RES_PER_INCH;
            int x = ippGetResolution(a, i, &y, &units);
            if (units == IPP_RES_PER_CM) x = static_cast<int>(x * 2.54 + 0.5);
            return x;
        };
        if (def && ippGetCount(def) > 0 && dpiOf(def, 0) > 0) dpi_ = dpiOf(def, 0);
        caps_.Resolutions.push_back(dpi_);
        for (int i = 0; attr && i < ippGetCount(attr); ++i) {
            const int dpi = dpiOf(attr, i);
            if (dpi > 0 && std::find(caps_.Resolutions.begin(), caps_.Resolutions.end(), dpi) ==
                               caps_.Resolutions.end())
                caps_.Resolutions.push_back(dpi);
        }
    }

    void readSides() {
        caps_.DuplexModes.push_back(DMDUP_SIMPLEX);
        ipp_attribute_t* attr = cupsFindDestSupported(CUPS_HTTP_DEFAULT, dest_, info_, CUPS_SIDES);
        hasSides_ = attr != nullptr;
        for (int i = 0; attr && i < ippGetCount(attr); ++i) {
            const char* keyword = ippGetString(attr, i, nullptr);
            const int code = keyword ? DuplexForSides(keyword) : 0;
            if (code > DMDUP_SIMPLEX) caps_.DuplexModes.push_back(code);
        }
    }

    const Media* findMedia(int code) const {
        for (const Media& m : media_)
            if (m.Code == code) return &m;
        return nullptr;
    }

    // The page of a format as it lies: a listed paper, a standard one, or the user-defined
    // size; anything else is the default paper. Papers the queue does not list take the
    // margins it gives for their size, else those of the default paper.
    TPdfPageLayout layoutOf(const TPrintFormat& f) const {
        const Media* def = findMedia(caps_.DefaultPaper);
        Media page;
        if (const Media* m = findMedia(f.PaperSize); m && f.PaperSize != kCustomPaperSize) {
            page = *m;
        } else {
            double w = 0, h = 0;
            if (f.PaperSize == kCustomPaperSize && f.PaperWidth > 0 && f.PaperLength > 0) {
                w = f.PaperWidth / 10.0;
                h = f.PaperLength / 10.0;
            } else if (!FindPaperSize(f.PaperSize, w, h)) {
                w = def->Width;
                h = def->Height;
            }
            cups_size_t size;
            if (cupsGetDestMediaBySize(CUPS_HTTP_DEFAULT, dest_, info_, static_cast<int>(w * 100),
                                       static_cast<int>(h * 100), CUPS_MEDIA_FLAGS_DEFAULT,
                                       &size)) {
                page = mediaOf(size);
            } else {
                page = *def;
                page.Keyword.clear();
            }
            page.Width = w;
            page.Height = h;
        }
        TPdfPageLayout l{page.Width, page.Height, page.Left, page.Top, page.Right, page.Bottom};
        if (f.Orientation == poLandscape) {
            // Turned a quarter to the left: the top edge becomes the left one.
            l = {page.Height, page.Width, page.Top, page.Right, page.Bottom, page.Left};
        }
        // Margins that leave no printable area are not margins.
        if (l.Left + l.Right >= l.Width || l.Top + l.Bottom >= l.Height)
            l.Left = l.Top = l.Right = l.Bottom = 0;
        return l;
    }

    void startSegment() {
        finishSegment();
        Segment s;
        s.File = MakeTempFile("lumetra-print-");
        s.Format = format_;
        segments_.push_back(s);
        segmentOut_ = std::make_unique<TFileStream>(s.File, fmCreate);
        pdf_ = std::make_unique<TPdfDocument>(*segmentOut_, docInfo_.Title, dpi_);
        segmentFormat_ = format_;
    }

    void finishSegment() {
        if (!segmentOut_) return;
        pdf_->Finish();
        pdf_.reset();
        segmentOut_.reset();
    }

    void submit(const Segment& s) {
        cups_option_t* options = nullptr;
        int count = 0;
        const TPrintFormat& f = s.Format;
        std::string media;
        if (f.PaperSize == kCustomPaperSize && f.PaperWidth > 0 && f.PaperLength > 0) {
            char text[64];
            std::snprintf(text, sizeof text, "Custom.%gx%gmm", f.PaperWidth / 10.0,
                          f.PaperLength / 10.0);
            media = text;
        } else if (const Media* m = findMedia(f.PaperSize)) {
            media = m->Keyword;
        }
        if (!media.empty()) count = cupsAddOption("media", media.c_str(), count, &options);
        if (auto it = sources_.find(f.Bin); it != sources_.end())
            count = cupsAddOption(CUPS_MEDIA_SOURCE, it->second.c_str(), count, &options);
        if (hasSides_) count = cupsAddOption(CUPS_SIDES, SidesForDuplex(f.Duplex), count, &options);
        if (f.Copies > 1) {
            count = cupsAddIntegerOption(CUPS_COPIES, f.Copies, count, &options);
            count = cupsAddOption("multiple-document-handling",
                                  f.Collate ? "separate-documents-collated-copies"
                                            : "separate-documents-uncollated-copies",
                                  count, &options);
        }
        const char* title = docInfo_.Title.c_str();
        const int job = cupsCreateJob(CUPS_HTTP_DEFAULT, name_.c_str(), title, count, options);
        cupsFreeOptions(count, options);
        if (job == 0) throw EPrinter(spoolerError(name_, "refused the job"));
        std::string failure;
        if (cupsStartDocument(CUPS_HTTP_DEFAULT, name_.c_str(), job, title, CUPS_FORMAT_PDF, 1) !=
            HTTP_STATUS_CONTINUE) {
            failure = spoolerError(name_, "refused the document");
        } else {
            TFileStream in(s.File, fmOpenRead);
            std::vector<char> buffer(64 * 1024);
            for (;;) {
                const auto n = in.Read(buffer.data(), static_cast<std::int64_t>(buffer.size()));
                if (n <= 0) break;
                if (cupsWriteRequestData(CUPS_HTTP_DEFAULT, buffer.data(),
                                         static_cast<std::size_t>(n)) != HTTP_STATUS_CONTINUE) {
                    failure = spoolerError(name_, "did not take the data");
                    break;
                }
            }
            if (cupsFinishDocument(CUPS_HTTP_DEFAULT, name_.c_str()) >
                    IPP_STATUS_OK_EVENTS_COMPLETE &&
                failure.empty())
                failure = spoolerError(name_, "did not complete the job");
        }
        if (!failure.empty()) {
            cupsCancelJob2(CUPS_HTTP_DEFAULT, name_.c_str(), job, 0);
            throw EPrinter(failure);
        }
    }

    void clear() {
        pdf_.reset();
        segmentOut_.reset();
        fileOut_.reset(); // without Commit: the target stays as it was
        for (const Segment& s : segments_)
            std::remove(s.File.c_str());
        segments_.clear();
        docOpen_ = false;
        canvas_ = nullptr;
    }

    cups_dest_t* dest_;
    cups_dinfo_t* info_;
    std::string name_;
    TPrinterCapabilities caps_;
    std::vector<Media> media_;
    std::map<int, std::string> sources_; // bin code -> media source keyword
    bool hasSides_ = false;
    int dpi_ = kDefaultDpi;
    TPrintFormat format_;

    bool docOpen_ = false;
    bool inPage_ = false;
    TPrintDocInfo docInfo_;
    TPrintPageCanvas* canvas_ = nullptr;
    std::unique_ptr<TSafeFileWriter> fileOut_;
    std::unique_ptr<TFileStream> segmentOut_;
    std::unique_ptr<TPdfDocument> pdf_;
    TPrintFormat segmentFormat_;
    std::vector<Segment> segments_;
    int rawJob_ = 0;
};

class CupsBackend : public TPrintBackend {
public:
    std::vector<TPrinterEntry> Printers() override {
        std::vector<TPrinterEntry> result;
        cups_dest_t* dests = nullptr;
        const int count = cupsGetDests2(CUPS_HTTP_DEFAULT, &dests);
        for (int i = 0; i < count; ++i) {
            if (dests[i].instance) continue; // instances share their queue's name
            const char* location =
                cupsGetOption("printer-location", dests[i].num_options, dests[i].options);
            result.push_back({dests[i].name, location ? location : ""});
        }
        cupsFreeDests(count, dests);
        return result;
    }

    std::string DefaultPrinterName() override {
        cups_dest_t* dests = nullptr;
        const int count = cupsGetDests2(CUPS_HTTP_DEFAULT, &dests);
        const cups_dest_t* def = cupsGetDest(nullptr, nullptr, count, dests);
        std::string name = def ? def->name : "";
        cupsFreeDests(count, dests);
        return name;
    }

    std::unique_ptr<TPrintDevice> Open(const std::string& name) override {
        cups_dest_t* dest = cupsGetNamedDest(CUPS_HTTP_DEFAULT, name.c_str(), nullptr);
        if (!dest) return nullptr;
        cups_dinfo_t* info = cupsCopyDestInfo(CUPS_HTTP_DEFAULT, dest);
        if (!info) {
            cupsFreeDests(1, dest);
            return nullptr;
        }
        return std::make_unique<CupsDevice>(dest, info);
    }
};

// A system without a spooler, or a test run that must not see the machine's printers.
class NoPrinters : public TPrintBackend {
public:
    std::vector<TPrinterEntry> Printers() override { return {}; }
    std::string DefaultPrinterName() override { return {}; }
    std::unique_ptr<TPrintDevice> Open(const std::string&) override { return nullptr; }
};

} // namespace

std::unique_ptr<TPrintBackend> CreateSpoolerPrintBackend() {
    return std::make_unique<CupsBackend>();
}

std::unique_ptr<TPrintBackend> CreateSystemPrintBackend() {
    const char* setting = std::getenv("LUMETRA_PRINTERS");
    if (setting && std::strcmp(setting, "none") == 0) return std::make_unique<NoPrinters>();
    if (setting && std::strncmp(setting, "file:", 5) == 0) {
        auto file = std::make_unique<TRecordingPrintBackend>();
        file->AddPrinter("PDF file");
        file->SetWriteFiles(true);
        file->SetOutputFile(setting + 5);
        return file;
    }
    return CreateSpoolerPrintBackend();
}
