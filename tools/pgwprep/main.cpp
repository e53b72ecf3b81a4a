// pgwprep: prepares a report template over data sets of the data layer, saves the prepared
// report and exports it. kUsage has the arguments. Exit codes: 0 done, 1 the report failed (its
// errors on stderr, one a line, and no output file written), 2 bad arguments.

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "data/db_dataset.h"
#include "engine/engine_module.h"
#include "export/export_formats.h"
#include "export/export_module.h"
#include "objects/objects_module.h"
#include "platform/core/properties.h"
#include "platform/core/string_list.h"
#include "platform/core/text.h"
#include "platform/data/ado.h"
#include "platform/ui/application.h"
#include "report/abstract_bases.h"
#include "report/module_startup.h"
#include "report/options.h"
#include "report/report.h"
#include "report/variables.h"

namespace {

const char* const kUsage =
    "usage: pgwprep TEMPLATE.pg3 [--data ALIAS CONNECTION SQL]... [--var NAME=VALUE]...\n"
    "               [--out REPORT.pp3] [--export FORMAT FILE [--set NAME=VALUE]...]...\n"
    "               [--pages RANGE]\n"
    "\n"
    "Prepares the template, saves the prepared report and exports it; prints \"N pages\".\n"
    "\n"
    "  --data ALIAS CONNECTION SQL\n"
    "      Runs SQL over the connection string (e.g. \"Provider=SQLite;Data Source=/x.db\")\n"
    "      and offers the rows as the data set ALIAS, which the template finds by that name.\n"
    "  --var NAME=VALUE\n"
    "      Sets the report variable NAME after loading. VALUE is an expression, as report\n"
    "      variables hold them: a number as it is (--var Rows=1000), a string in single\n"
    "      quotes (--var \"Title='Sales 2024'\").\n"
    "  --out REPORT.pp3\n"
    "      The prepared report, written only when the preparation succeeds.\n"
    "  --export FORMAT FILE\n"
    "      Exports the prepared report to FILE through the filter of FORMAT (bmp, csv,\n"
    "      gif, html, jpeg, ods, odt, pdf, prn, rtf, tiff, txt, xls, xml), without dialogs.\n"
    "      At least one of --out and --export is needed.\n"
    "  --set NAME=VALUE\n"
    "      Sets the published property NAME of the filter of the --export before it\n"
    "      (--set Separator=, or --set PageBreaks=False).\n"
    "  --pages RANGE\n"
    "      The pages every export writes, as \"1,3,5-12\"; all pages without it.\n"
    "\n"
    "Exit status: 0 done, 1 the report failed (its errors on stderr), 2 bad arguments.\n";

struct DataArg {
    std::string Alias, Connection, Sql;
};

struct ExportArg {
    std::string Format, File;
    std::vector<std::pair<std::string, std::string>> Sets;
};

struct Arguments {
    bool Help = false;
    std::string Template, Out, Pages;
    std::vector<DataArg> Data;
    std::vector<std::pair<std::string, std::string>> Vars;
    std::vector<ExportArg> Exports;
};

// NAME=VALUE with a name that is not blank; false otherwise.
bool SplitAssignment(const std::string& text, std::pair<std::string, std::string>& result) {
    const std::size_t eq = text.find('=');
    if (eq == std::string::npos || Trim(text.substr(0, eq)).empty()) return false;
    result = {Trim(text.substr(0, eq)), text.substr(eq + 1)};
    return true;
}

// Empty text when the arguments are good, else what is wrong with them.
std::string Parse(int argc, char** argv, Arguments& args) {
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto values = [&](int n) { return i + n < argc; };
        if (a == "--help" || a == "-h") {
            args.Help = true;
            return {};
        }
        if (a == "--data") {
            if (!values(3)) return "--data needs ALIAS CONNECTION SQL";
            DataArg d{argv[i + 1], argv[i + 2], argv[i + 3]};
            i += 3;
            if (Trim(d.Alias).empty()) return "--data needs an alias";
            for (const DataArg& other : args.Data)
                if (SameText(other.Alias, d.Alias)) return "data set " + d.Alias + " given twice";
            args.Data.push_back(std::move(d));
        } else if (a == "--var") {
            if (!values(1)) return "--var needs NAME=VALUE";
            const std::string v = argv[++i];
            std::pair<std::string, std::string> var;
            if (!SplitAssignment(v, var)) return "--var needs NAME=VALUE, not " + v;
            args.Vars.push_back(std::move(var));
        } else if (a == "--export") {
            if (!values(2)) return "--export needs FORMAT FILE";
            args.Exports.push_back({argv[i + 1], argv[i + 2], {}});
            i += 2;
        } else if (a == "--set") {
            if (!values(1)) return "--set needs NAME=VALUE";
            if (args.Exports.empty()) return "--set belongs after an --export";
            const std::string v = argv[++i];
            std::pair<std::string, std::string> set;
            if (!SplitAssignment(v, set)) return "--set needs NAME=VALUE, not " + v;
            args.Exports.back().Sets.push_back(std::move(set));
        } else if (a == "--pages") {
            if (!values(1)) return "--pages needs a page range";
            args.Pages = argv[++i];
        } else if (a == "--out") {
            if (!values(1)) return "--out needs a file name";
            args.Out = argv[++i];
        } else if (a.size() > 1 && a[0] == '-') {
            return "unknown option " + a;
        } else if (args.Template.empty()) {
            args.Template = a;
        } else {
            return "more than one template: " + args.Template + ", " + a;
        }
    }
    if (args.Template.empty()) return "no template";
    if (args.Out.empty() && args.Exports.empty()) return "no --out or --export";
    return {};
}

// A message may hold several lines (CR LF inside): each goes out as a line of its own.
void PrintLines(const std::string& text) {
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        const std::string line = TrimRight(std::string_view(text).substr(start, end - start));
        if (!line.empty()) std::fprintf(stderr, "%s\n", line.c_str());
        start = end + 1;
    }
}

void PrintErrors(TStrings& errors) {
    for (int i = 0; i < errors.Count(); ++i)
        PrintLines(errors.Strings(i));
}

// One --data: the connection, its query and the report's adapter over it.
struct DataSource {
    TADOConnection Connection{nullptr};
    TADOQuery Query{nullptr};
    TpgwDBDataset Adapter{nullptr};
};

// The filters of the --export arguments with their --set properties, or what is wrong with
// them (an unknown format or property, a value the property does not take).
std::string MakeFilters(const Arguments& args,
                        std::vector<std::unique_ptr<TpgwCustomExportFilter>>& filters) {
    for (const ExportArg& e : args.Exports) {
        std::unique_ptr<TpgwCustomExportFilter> filter = MakeExportFilter(e.Format);
        if (!filter) {
            std::string known;
            for (const std::string& name : ExportFormatNames())
                known += (known.empty() ? "" : ", ") + name;
            return "unknown export format " + e.Format + " (known: " + known + ")";
        }
        // No window of any kind: this program runs without a display.
        filter->SetShowDialog(false);
        filter->SetShowProgress(false);
        filter->SetFileName(e.File);
        filter->SetPageNumbers(args.Pages);
        for (const auto& [name, value] : e.Sets) {
            if (!IsPublishedProp(*filter, name))
                return "the " + e.Format + " export has no property " + name;
            try {
                SetPropText(*filter, name, value);
            } catch (const std::exception& ex) {
                return "--set " + name + "=" + value + ": " + ex.what();
            }
        }
        filters.push_back(std::move(filter));
    }
    return {};
}

int Run(const Arguments& args) {
    std::vector<std::unique_ptr<TpgwCustomExportFilter>> filters;
    if (const std::string problem = MakeFilters(args, filters); !problem.empty()) {
        std::fprintf(stderr, "pgwprep: %s\n%s", problem.c_str(), kUsage);
        return 2;
    }

    // Made before the template loads, so that its data-set list finds them by name.
    std::vector<std::unique_ptr<DataSource>> sources;
    for (const DataArg& d : args.Data) {
        auto s = std::make_unique<DataSource>();
        try {
            s->Connection.SetLoginPrompt(false);
            s->Connection.SetConnectionString(d.Connection);
            s->Connection.Open();
            s->Query.SetConnection(&s->Connection);
            s->Query.SetParamCheck(false);
            s->Query.SQL().SetText(d.Sql);
            s->Query.Open();
            s->Adapter.SetName(d.Alias);
            s->Adapter.SetUserName(d.Alias);
            s->Adapter.SetDataSet(&s->Query);
        } catch (const std::exception& e) {
            PrintLines("Data set " + d.Alias + ": " + e.what());
            return 1;
        }
        sources.push_back(std::move(s));
    }

    TpgwReport report(nullptr);
    // Errors are printed here, never shown in a window. The prepared pages swap to a temporary
    // file beyond MaxMemSize: a template may ask for that, but only the program decides it.
    report.EngineOptions()->SetNewSilentMode(simSilent);
    report.EngineOptions()->SetUseFileCache(true);
    try {
        report.LoadFromFile(args.Template, true);
    } catch (const std::exception& e) {
        PrintLines(e.what());
        return 1;
    }
    if (report.Errors().Count() > 0) {
        // The reader's messages do not say which file they are about.
        for (int i = 0; i < report.Errors().Count(); ++i)
            PrintLines(args.Template + ": " + report.Errors().Strings(i));
        return 1;
    }
    for (const auto& [name, value] : args.Vars)
        report.Variables()->SetVariables(name, Variant(value));

    const bool prepared = report.BuildPreparedPages();
    if (!prepared || report.Errors().Count() > 0) {
        if (report.Errors().Count() == 0) report.Errors().Add("The report was not prepared");
        PrintErrors(report.Errors());
        return 1;
    }
    TpgwCustomPreviewPages* pages = report.PreviewPages();
    if (!args.Out.empty()) {
        try {
            pages->SaveToFile(args.Out);
        } catch (const std::exception& e) {
            PrintLines(e.what());
            return 1;
        }
    }
    for (const auto& filter : filters) {
        if (!report.ExportTo(filter.get())) {
            if (report.Errors().Count() == 0) report.Errors().Add("The export did not run");
            PrintErrors(report.Errors());
            return 1;
        }
    }
    std::printf("%d pages\n", pages->GetCount());
    // Output that did not reach its file (a full disk, a closed pipe) must not pass for success.
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        std::fprintf(stderr, "Cannot write the output: %s\n", std::strerror(errno));
        return 1;
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    Arguments args;
    if (const std::string problem = Parse(argc, argv, args); !problem.empty()) {
        std::fprintf(stderr, "pgwprep: %s\n%s", problem.c_str(), kUsage);
        return 2;
    }
    if (args.Help) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    // Linking the engine's module in: its start-up installs the text layout, the store and
    // the engine that BuildPreparedPages runs.
    RegisterEngineModule();
    RegisterExportModule();
    RegisterObjectsModule();
    // The engine lets window messages through while it runs: the toolkit must start with widget
    // support before a template's pictures or fonts start it without.
    Application();
    StartModules();
    int status = 1;
    try {
        status = Run(args);
    } catch (const std::exception& e) {
        PrintLines(e.what());
        status = 1;
    }
    StopModules();
    return status;
}
