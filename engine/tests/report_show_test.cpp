// The report's own printer, chosen by name through the printer layer the engine module installs.

#include <gtest/gtest.h>

#include "engine/engine_module.h"
#include "engine/printers.h"
#include "report/module_startup.h"
#include "report/options.h"
#include "report/report.h"
#include "report/resources.h"

namespace {

TEST(ReportPrinter, PrintOptionsPrinterBecomesCurrentOnlyWhenListed) {
    RegisterEngineModule();
    StartModules();
    TpgwScopedPrinters printers{{"Office Laser", "Label Printer"}};
    TpgwReport report(nullptr);
    ASSERT_EQ(GetPrinters()->PrinterIndex(), 0);

    struct Case {
        std::string Printer;
        int Current;
    };
    for (const Case& c :
         {Case{"label printer", 1}, Case{"Nowhere", 1},
          Case{GetResources().GetText("prDefault"), 1}, Case{"", 1}, Case{"OFFICE LASER", 0}}) {
        SCOPED_TRACE(c.Printer);
        report.PrintOptions()->SetPrinter(c.Printer);
        report.UsePrintOptionsPrinter();
        EXPECT_EQ(GetPrinters()->PrinterIndex(), c.Current);
    }
}

} // namespace
