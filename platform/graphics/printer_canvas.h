#pragma once
// A canvas on the pages of a print job. The printer layer creates the toolkit printer and
// hands it over; the canvas paints on it from construction until EndDoc.

#include <memory>

#include "platform/graphics/painter_canvas.h"

class QPrinter;

class TPrinterCanvas : public TPainterCanvas {
public:
    // No job yet: measuring works at the given resolution, drawing is ignored.
    explicit TPrinterCanvas(int dpiX = 96, int dpiY = 96);
    // Starts the job on printer at once.
    explicit TPrinterCanvas(QPrinter* printer);
    ~TPrinterCanvas() override;

    // Starts a job on printer and takes its resolution (raises EInvalidOperation when the
    // job cannot be started); a running job is ended first.
    void BeginDoc(QPrinter* printer);
    bool Printing() const;
    // The resolution fonts and measuring follow while no job runs.
    void SetResolution(int dpiX, int dpiY) { SetPixelsPerInch(dpiX, dpiY); }
    void NewPage();
    // Finishes the job; drawing afterwards is ignored.
    void EndDoc();
    // The printable area in device pixels.
    int PageWidth() const;
    int PageHeight() const;

private:
    struct Job;
    std::unique_ptr<Job> j_;
};
