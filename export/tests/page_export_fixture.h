#pragma once
// Pages built in the test, with memos at given places (report units), handed to a filter as the
// export driver hands them over.

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "engine/tests/engine_fixture.h"
#include "export/export_module.h"
#include "platform/core/stream.h"
#include "report/memo_view.h"
#include "report/page.h"
#include "report/view.h"

class PageExportFixture : public EngineFixture {
protected:
    void SetUp() override {
        EngineFixture::SetUp();
        RegisterExportModule();
        StartModules();
    }
    TpgwReportPage* NewPage() {
        auto* page = new TpgwReportPage(report.get());
        page->SetParent(report.get());
        page->SetLeft(0);
        page->SetTop(0);
        page->SetWidth(794);
        page->SetHeight(1123);
        pages.push_back(page);
        return page;
    }
    TpgwMemoView* Memo(TpgwReportPage* page, double left, double top, double width, double height,
                       const std::string& text, TpgwHAlign align = haLeft) {
        auto* memo = new TpgwMemoView(page);
        memo->SetParent(page);
        memo->SetBounds(left, top, width, height);
        memo->SetText(text);
        memo->SetHAlign(align);
        memo->Font()->SetName("Arial");
        memo->Font()->SetSize(10);
        return memo;
    }
    std::string Run(TpgwCustomExportFilter& filter) {
        TMemoryStream out;
        filter.SetTargetStream(&out);
        filter.SetShowDialog(false);
        EXPECT_TRUE(filter.OpenOutput());
        for (std::size_t i = 0; i < pages.size(); ++i) {
            filter.EnterPage(pages[i], static_cast<int>(i));
            for (TpgwComponent* object : pages[i]->AllObjects())
                filter.WriteItem(object);
            filter.LeavePage(pages[i], static_cast<int>(i));
        }
        filter.CloseOutput();
        filter.SetTargetStream(nullptr);
        return std::string(reinterpret_cast<const char*>(out.Memory()),
                           static_cast<std::size_t>(out.Size()));
    }
    std::vector<TpgwReportPage*> pages;
};
