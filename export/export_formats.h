#pragma once
// The export formats by short name ("csv", "txt"), for programs that export without the
// preview's menu (pgwprep). Each filter module enters its own format.

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class TpgwCustomExportFilter;

// Makes a filter outside the export-filter registry.
using TpgwExportFilterMaker = std::function<std::unique_ptr<TpgwCustomExportFilter>()>;

// A name entered before is replaced; names compare without regard to letter case.
void RegisterExportFormat(std::string_view name, TpgwExportFilterMaker make);
// None for a name no module entered.
std::unique_ptr<TpgwCustomExportFilter> MakeExportFilter(std::string_view name);
// Every entered name, sorted.
std::vector<std::string> ExportFormatNames();
