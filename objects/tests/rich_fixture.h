#pragma once
// The rich-text tests' report: the objects and export modules started, pages and bands made in
// code, and RTF loaded into a view as its stored content would be.

#include <string>

#include "engine/tests/engine_fixture.h"
#include "export/export_module.h"
#include "objects/objects_module.h"
#include "objects/rich_edit.h"
#include "objects/rich_view.h"
#include "platform/core/stream.h"
#include "report/band.h"
#include "report/page.h"

class RichFixture : public EngineFixture {
protected:
    void SetUp() override {
        EngineFixture::SetUp();
        RegisterObjectsModule();
        RegisterExportModule();
        StartModules();
    }
    TpgwReportPage* NewPage(const std::string& name) {
        auto* page = new TpgwReportPage(report.get());
        page->SetParent(report.get());
        page->SetName(name);
        return page;
    }
    TpgwMasterData* NewBand(TpgwReportPage* page, const std::string& name) {
        auto* band = new TpgwMasterData(page);
        band->SetParent(page);
        band->SetName(name);
        return band;
    }
    static void LoadRtf(TpgwRichView* view, const std::string& rtf) {
        TMemoryStream stream;
        stream.Write(rtf.data(), static_cast<std::int64_t>(rtf.size()));
        stream.SetPosition(0);
        view->RichEdit().Lines().LoadFromStream(stream);
    }
};
