#include "platform/ui/data_link.h"

#include <mutex>
#include <vector>

#include "platform/core/text.h"

TDataLinkClient::~TDataLinkClient() = default;
TDataSourceLink::~TDataSourceLink() = default;

int TDataSourceLink::DisplayWidth(int) const {
    return 10;
}
TAlignment TDataSourceLink::FieldAlignment(int) const {
    return taLeftJustify;
}

int TDataSourceLink::FieldIndex(std::string_view name) const {
    for (int i = 0; i < FieldCount(); ++i) {
        if (CompareText(FieldName(i), name) == 0) return i;
    }
    return -1;
}

void TDataSourceLink::NotifyDataSetChanged() {
    if (client_) client_->DataSetChanged();
}

void TDataSourceLink::NotifyCurrentRowChanged(int row) {
    if (client_) client_->CurrentRowChanged(row);
}

namespace {

std::mutex gFactoriesLock;
std::vector<TDataLinkFactory>& Factories() {
    static std::vector<TDataLinkFactory> factories;
    return factories;
}

} // namespace

void RegisterDataLinkFactory(TDataLinkFactory factory) {
    std::lock_guard lock(gFactoriesLock);
    Factories().push_back(std::move(factory));
}

std::unique_ptr<TDataSourceLink> CreateDataLink(TComponent* dataSource) {
    if (!dataSource) return nullptr;
    std::vector<TDataLinkFactory> factories;
    {
        std::lock_guard lock(gFactoriesLock);
        factories = Factories();
    }
    for (const auto& f : factories)
        if (auto link = f(dataSource)) return link;
    return nullptr;
}
