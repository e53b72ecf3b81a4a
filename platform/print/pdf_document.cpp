#include "platform/print/pdf_document_p.h"

#include <QIODevice>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>

#include "platform/core/stream.h"
#include "platform/graphics/gui_application.h"
#include "platform/graphics/painter_canvas.h"
#include "platform/print/print_backend.h"

namespace {
// Hands the engine's bytes to our stream; the first refusal is kept for Finish, since the
// engine itself does not look at write results.
class StreamDevice : public QIODevice {
public:
    explicit StreamDevice(TStream& out) : out_(out) { open(QIODevice::WriteOnly); }
    const std::string& Failure() const { return failure_; }

protected:
    qint64 readData(char*, qint64) override { return -1; }
    qint64 writeData(const char* data, qint64 size) override {
        if (!failure_.empty()) return -1;
        try {
            out_.WriteBuffer(data, size);
            return size;
        } catch (const std::exception& e) {
            failure_ = e.what();
            return -1;
        }
    }

private:
    TStream& out_;
    std::string failure_;
};

class PageCanvas : public TPainterCanvas {
public:
    explicit PageCanvas(int dpi) : TPainterCanvas(dpi, dpi) {}
    void Bind(QPainter* painter, int width, int height) { BindPainter(painter, width, height); }
};

QPageLayout pageLayout(const TPdfPageLayout& l) {
    // Always described upright: the size as the paper lies, so no turning happens twice.
    const QPageSize size(QSizeF(l.Width, l.Height), QPageSize::Millimeter, QString(),
                         QPageSize::ExactMatch);
    // The painter's origin is the printable area's corner, as on a printer.
    return QPageLayout(size, QPageLayout::Portrait, QMarginsF(l.Left, l.Top, l.Right, l.Bottom),
                       QPageLayout::Millimeter);
}
} // namespace

struct TPdfDocument::Impl {
    explicit Impl(TStream& out, int dpi) : device(out), writer(&device), canvas(dpi), dpi(dpi) {}
    StreamDevice device;
    QPdfWriter writer;
    QPainter painter;
    PageCanvas canvas;
    int dpi;
    int pages = 0;
    bool inPage = false;
};

TPdfDocument::TPdfDocument(TStream& out, const std::string& title, int dpi) {
    EnsureGuiApplication();
    d_ = std::make_unique<Impl>(out, dpi > 0 ? dpi : 600);
    d_->writer.setResolution(d_->dpi);
    d_->writer.setTitle(QString::fromStdString(title));
    d_->writer.setCreator(QStringLiteral("Lumetra"));
}

TPdfDocument::~TPdfDocument() {
    if (d_ && d_->painter.isActive()) {
        d_->canvas.Bind(nullptr, 0, 0);
        d_->painter.end();
    }
}

TCanvas& TPdfDocument::BeginPage(const TPdfPageLayout& l) {
    if (d_->inPage) EndPage();
    const QPageLayout layout = pageLayout(l);
    d_->writer.setPageLayout(layout);
    if (d_->pages == 0) {
        if (!d_->painter.begin(&d_->writer))
            throw EPrinter("The printed document could not be started.");
    } else if (!d_->writer.newPage()) {
        throw EPrinter("The printed document could not take another page.");
    }
    ++d_->pages;
    d_->inPage = true;
    const QRect paint = layout.paintRectPixels(d_->dpi);
    d_->canvas.Bind(&d_->painter, paint.width(), paint.height());
    return d_->canvas;
}

void TPdfDocument::EndPage() {
    if (!d_->inPage) return;
    d_->canvas.Bind(nullptr, 0, 0);
    d_->inPage = false;
}

void TPdfDocument::Finish() {
    EndPage();
    if (d_->painter.isActive() && !d_->painter.end())
        throw EPrinter("The printed document could not be completed.");
    if (!d_->device.Failure().empty()) throw EPrinter(d_->device.Failure());
}

int TPdfDocument::PageCount() const {
    return d_->pages;
}
