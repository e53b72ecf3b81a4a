#include "platform/ui/clipboard.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

#include "platform/ui/application.h"

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

TClipboard& Clipboard() {
    static TClipboard clipboard;
    return clipboard;
}
