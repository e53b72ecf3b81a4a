#include "export/export_formats.h"

#include <algorithm>
#include <map>

#include "platform/core/text.h"
#include "report/abstract_bases.h"

namespace {

std::map<std::string, TpgwExportFilterMaker>& Formats() {
    static std::map<std::string, TpgwExportFilterMaker> formats;
    return formats;
}

} // namespace

void RegisterExportFormat(std::string_view name, TpgwExportFilterMaker make) {
    Formats()[LowerCase(name)] = std::move(make);
}

std::unique_ptr<TpgwCustomExportFilter> MakeExportFilter(std::string_view name) {
    const auto it = Formats().find(LowerCase(name));
    return it == Formats().end() ? nullptr : it->second();
}

std::vector<std::string> ExportFormatNames() {
    std::vector<std::string> names;
    for (const auto& [name, make] : Formats())
        names.push_back(name);
    return names;
}
