#include "platform/ui/clipboard.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QImage>
#include <QMimeData>

#include <vector>

#include "platform/core/exception.h"
#include "platform/graphics/bitmap.h"
#include "platform/graphics/metafile.h"
#include "platform/ui/application.h"
#include "platform/ui/control_p.h"

namespace {

QClipboard* board() {
    Application();
    return QGuiApplication::clipboard();
}

QString mime(std::string_view type) {
    return QString::fromUtf8(type.data(), static_cast<qsizetype>(type.size()));
}

} // namespace

bool TClipboard::HasFormat(std::string_view mimeType) const {
    const QMimeData* data = board()->mimeData();
    return data && data->hasFormat(mime(mimeType));
}

std::string TClipboard::AsText() const {
    return board()->text().toStdString();
}

void TClipboard::SetAsText(std::string_view utf8) {
    board()->setText(QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size())));
}

std::string TClipboard::Data(std::string_view mimeType) const {
    const QMimeData* data = board()->mimeData();
    if (!data) return {};
    const QByteArray bytes = data->data(mime(mimeType));
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

void TClipboard::SetData(
    std::initializer_list<std::pair<std::string_view, std::string_view>> formats) {
    auto* data = new QMimeData;
    for (const auto& [type, bytes] : formats) {
        if (type == "text/plain")
            data->setText(QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size())));
        else
            data->setData(mime(type),
                          QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size())));
    }
    board()->setMimeData(data);
}

void TClipboard::Clear() {
    board()->clear();
}

void TClipboard::SetAsBitmap(const TBitmap& bitmap) {
    if (bitmap.Empty()) return Clear();
    board()->setImage(ToQImage(bitmap.ToImage()));
}

void TClipboard::SetAsMetafile(const TMetafile& metafile) {
    if (metafile.Empty()) return Clear();
    auto* data = new QMimeData;
    data->setImageData(ToQImage(metafile.ToImage()));
    const std::vector<std::uint8_t> records = metafile.SaveToBytes();
    data->setData(mime(kMetafileFormat), QByteArray(reinterpret_cast<const char*>(records.data()),
                                                    static_cast<qsizetype>(records.size())));
    board()->setMimeData(data);
}

bool TClipboard::HasPicture() const {
    const QMimeData* data = board()->mimeData();
    return data && data->hasImage();
}

TBitmap TClipboard::AsBitmap() const {
    TBitmap bitmap;
    const QImage image = board()->image();
    if (!image.isNull()) bitmap.AssignImage(ToRasterImage(image));
    return bitmap;
}

TMetafile TClipboard::AsMetafile() const {
    TMetafile metafile;
    const std::string bytes = Data(kMetafileFormat);
    if (bytes.empty()) return metafile;
    try {
        metafile.LoadFromBytes(
            std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()));
    } catch (const Exception&) {
        // Another program's data under our name: no metafile.
        return TMetafile();
    }
    return metafile;
}

TClipboard& Clipboard() {
    static TClipboard clipboard;
    return clipboard;
}
