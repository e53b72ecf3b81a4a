#include "platform/graphics/printer_canvas.h"

#include <QPainter>
#include <QPrinter>

#include "platform/core/exception.h"
#include "platform/graphics/gui_application.h"
#include "platform/graphics/painter_canvas_p.h"

struct TPrinterCanvas::Job {
    QPrinter* printer = nullptr;
    QPainter painter;
    int width = 0;
    int height = 0;
};

namespace {
int resolutionOf(QPrinter* printer)
{
    EnsureGuiApplication();
    return printer ? printer->resolution() : 96;
}
}  // namespace

TPrinterCanvas::TPrinterCanvas(int dpiX, int dpiY) : TPainterCanvas(dpiX, dpiY), j_(std::make_unique<Job>()) {}

TPrinterCanvas::TPrinterCanvas(QPrinter* printer)
    : TPainterCanvas(resolutionOf(printer), resolutionOf(printer)), j_(std::make_unique<Job>())
{
    BeginDoc(printer);
}

void TPrinterCanvas::BeginDoc(QPrinter* printer)
{
    if (!printer) throw EInvalidArgument("no printer given");
    EndDoc();
    EnsureGuiApplication();
    SetPixelsPerInch(printer->resolution(), printer->resolution());
    j_->printer = printer;
    if (!j_->painter.begin(printer)) throw EInvalidOperation("the print job could not be started");
    const QRect page = printer->pageLayout().paintRectPixels(printer->resolution());
    j_->width = page.width();
    j_->height = page.height();
    BindPainter(&j_->painter, j_->width, j_->height);
}

bool TPrinterCanvas::Printing() const { return j_->painter.isActive(); }

TPrinterCanvas::~TPrinterCanvas()
{
    if (j_->painter.isActive()) j_->painter.end();
}

void TPrinterCanvas::NewPage()
{
    if (!j_->painter.isActive()) return;
    j_->printer->newPage();
    BindPainter(&j_->painter, j_->width, j_->height);
}

void TPrinterCanvas::EndDoc()
{
    BindPainter(nullptr, 0, 0);
    if (j_->painter.isActive()) j_->painter.end();
}

int TPrinterCanvas::PageWidth() const { return j_->width; }
int TPrinterCanvas::PageHeight() const { return j_->height; }
