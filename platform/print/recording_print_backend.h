#pragma once
// A print backend for tests: printers that exist only in memory and record every document,
// format call and page (each page as a recording of what was drawn on it). Nothing reaches a
// spooler. A document with a file name is recorded like any other and, when the backend writes
// files, also written there as PDF, as the system's printers write it.

#include <memory>
#include <string>
#include <vector>

#include "platform/graphics/metafile.h"
#include "platform/print/print_backend.h"

struct TRecordedPage {
    TPrintFormat Format;   // in force when the page began
    TPrintMetrics Metrics; // the page's size in dots at the device's resolution
    TRecording Recording;
};

struct TRecordedDocument {
    std::string Printer;
    TPrintDocInfo Info;
    std::vector<TRecordedPage> Pages;
    bool Raw = false;
    std::string RawData; // the bytes of a raw document
    bool Ended = false;  // EndDoc / EndRawDoc ran
    bool Aborted = false;
};

// What a recorded printer offers.
struct TRecordedPrinterSetup {
    std::string Name;
    std::string Port;
    TPrinterCapabilities Capabilities; // defaults: A4, A5, A3, Letter; two trays; 600 dpi
    int DpiX = 600, DpiY = 600;
    double Margin = 5; // unprintable margin on every side, mm
};

class TRecordingPrintBackend : public TPrintBackend {
public:
    TRecordingPrintBackend();
    ~TRecordingPrintBackend() override;

    // Printers are listed in the order added; the first added is the default unless
    // SetDefaultPrinter names another. A name alone gets the standard set-up.
    TRecordedPrinterSetup& AddPrinter(const std::string& name);
    TRecordedPrinterSetup& AddPrinter(TRecordedPrinterSetup setup);
    void SetDefaultPrinter(const std::string& name) { default_ = name; }
    void SetWriteFiles(bool value) { writeFiles_ = value; }
    // With files written: where a document without a file name of its own goes.
    void SetOutputFile(const std::string& path) { outputFile_ = path; }

    std::vector<TPrinterEntry> Printers() override;
    std::string DefaultPrinterName() override;
    std::unique_ptr<TPrintDevice> Open(const std::string& name) override;

    // Everything the devices were asked, in order, one line per call: "SetFormat Office
    // paper=9 ...", "BeginDoc Office title", "BeginPage", "EndPage", "EndDoc", "Abort", "Raw...".
    const std::vector<std::string>& Log() const { return log_; }
    // Every SetFormat call, in order, over all printers.
    const std::vector<TPrintFormat>& FormatCalls() const { return formats_; }
    const std::vector<TRecordedDocument>& Documents() const { return documents_; }
    // The pages of all documents, in print order.
    std::vector<const TRecordedPage*> AllPages() const;
    void Clear();

private:
    friend class TRecordedDevice;
    std::vector<std::unique_ptr<TRecordedPrinterSetup>> printers_;
    std::string default_;
    bool writeFiles_ = false;
    std::string outputFile_;
    std::vector<std::string> log_;
    std::vector<TPrintFormat> formats_;
    std::vector<TRecordedDocument> documents_;
};

// The standard set-up of a recorded printer.
TPrinterCapabilities StandardRecordedCapabilities();
