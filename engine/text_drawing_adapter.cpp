#include "engine/text_drawing_adapter.h"

TpgwDrawTextAdapter::TpgwDrawTextAdapter(TpgwDrawText* drawText)
    : own_(drawText ? nullptr : std::make_unique<TpgwDrawText>()),
      drawText_(drawText ? drawText : own_.get()) {}

TpgwDrawTextAdapter::~TpgwDrawTextAdapter() = default;

void InstallEngineTextDrawing() {
    // Lives as long as the process: memos may draw while other statics are torn down.
    static auto* shared = new TpgwDrawTextAdapter(&SharedDrawText());
    InstallTextDrawing(shared, [] { return std::make_unique<TpgwDrawTextAdapter>(); });
}
