#pragma once
// Printed pages as PDF: the toolkit's PDF engine draws each page, and the document goes to a
// stream as it grows. Used for print-to-file and for the documents handed to the spooler.

#include <memory>
#include <string>

class TCanvas;
class TStream;

// A page as the paper lies (turned already for landscape), in millimetres.
struct TPdfPageLayout {
    double Width = 210, Height = 297;
    double Left = 0, Top = 0, Right = 0, Bottom = 0; // unprintable margins
};

class TPdfDocument {
public:
    // Writes to out, which must outlive the document. dpi is the unit drawing calls use.
    TPdfDocument(TStream& out, const std::string& title, int dpi);
    ~TPdfDocument();
    TPdfDocument(const TPdfDocument&) = delete;
    TPdfDocument& operator=(const TPdfDocument&) = delete;

    // The canvas of the new page, valid until EndPage; its origin is the printable area's corner.
    TCanvas& BeginPage(const TPdfPageLayout& layout);
    void EndPage();
    // Completes the file. Raises EPrinter when the engine failed or the stream refused data.
    void Finish();
    int PageCount() const;

private:
    struct Impl;
    std::unique_ptr<Impl> d_;
};
