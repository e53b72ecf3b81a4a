#pragma once
// The cross-tab tests' report: the object modules started, a page with a band holding a
// cross-tab made in code, a small SQLite database read through the report's data layer, and
// the prepared pages written as lines to compare with goldens.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "data/db_dataset.h"
#include "engine/tests/engine_fixture.h"
#include "objects/cross_view.h"
#include "objects/objects_module.h"
#include "platform/core/tests/temp_dir.h"
#include "platform/data/ado.h"
#include "report/band.h"
#include "report/memo_view.h"
#include "report/page.h"
#include "report/report.h"

// Compares text with testdata/cross/<area>/<name>.txt; LUMETRA_UPDATE_GOLDEN writes it instead.
inline void ExpectCrossGolden(const std::string& area, const std::string& name,
                              const std::string& text) {
    const std::string path =
        std::string(LUMETRA_TESTDATA_DIR) + "/cross/" + area + "/" + name + ".txt";
    if (std::getenv("LUMETRA_UPDATE_GOLDEN")) {
        std::ofstream(path, std::ios::binary) << text;
        return;
    }
    std::ifstream in(path, std::ios::binary);
    ASSERT_TRUE(in) << "missing golden " << path;
    std::ostringstream golden;
    golden << in.rdbuf();
    EXPECT_EQ(golden.str(), text) << "golden " << path;
}

class CrossFixture : public EngineFixture {
protected:
    void SetUp() override {
        EngineFixture::SetUp();
        RegisterObjectsModule();
        RegisterDBDatasetClasses();
        StartModules();
        report->EngineOptions()->SetNewSilentMode(simSilent);
    }
    void TearDown() override {
        EngineFixture::TearDown();
        dataSet.reset();
        query.reset();
        connection.reset();
        StopModules();
    }

    // A page of paper width x height millimetres without margins.
    TpgwReportPage* NewPage(double width = 210, double height = 297,
                            const std::string& name = "Page1") {
        auto* page = new TpgwReportPage(report.get());
        page->SetName(name);
        page->SetPaperDimensions(256, width, height);
        page->SetLeftMargin(0);
        page->SetRightMargin(0);
        page->SetTopMargin(0);
        page->SetBottomMargin(0);
        return page;
    }
    // A band of one record, high enough for a cross-tab of height 20.
    template <class T = TpgwMasterData>
    T* NewBand(TpgwReportPage* page, const std::string& name, double top = 0, double height = 20) {
        auto* band = new T(page);
        band->SetName(name);
        band->SetBounds(0, top, 700, height);
        if constexpr (std::is_base_of_v<TpgwDataBand, T>) band->SetRowCount(1);
        return band;
    }
    template <class T = TpgwDBCrossView>
    T* NewCross(TpgwComponent* parent, const std::string& name, double left = 0) {
        auto* cross = new T(parent);
        cross->SetName(name);
        cross->SetBounds(left, 0, 200, 20);
        return cross;
    }

    // Fixed sizes for every inner memo, so that the layout does not depend on fonts: headers
    // and cells width x height, corner captions as wide as the row header levels.
    static void FixSizes(TpgwCustomCrossView* cross, double width = 50, double height = 20) {
        cross->SetAutoSize(false);
        for (const auto* list :
             {&cross->CellMemos(), &cross->CellHeaderMemos(), &cross->ColumnMemos(),
              &cross->ColumnTotalMemos(), &cross->CornerMemos(), &cross->RowMemos(),
              &cross->RowTotalMemos()})
            for (const auto& memo : *list)
                memo->SetBounds(0, 0, width, height);
    }

    // A SQLite database in a temporary folder holding the statements' tables, and a report
    // data set named "Data" over the query (joined to the report's data sets).
    TpgwDBDataset* SqliteData(const std::vector<std::string>& statements,
                              const std::string& select) {
        connection = std::make_unique<TADOConnection>(nullptr);
        connection->SetLoginPrompt(false);
        // A new file each time: a test may build several reports.
        connection->SetConnectionString("Provider=SQLite;Data Source=" +
                                        (dir / ("cross" + std::to_string(++databases) + ".db")));
        connection->Open();
        for (const std::string& sql : statements)
            connection->Execute(sql);
        query = std::make_unique<TADOQuery>(nullptr);
        query->SetConnection(connection.get());
        query->SQL().SetText(select);
        dataSet = std::make_unique<TpgwDBDataset>(nullptr);
        dataSet->SetName("Data");
        dataSet->SetUserName("Data");
        dataSet->SetDataSet(query.get());
        report->DataSets()->Add(dataSet.get());
        return dataSet.get();
    }

    // Every prepared page: "page N WxH", then one line per object in store order. A band of
    // the template reads "Name@top"; a memo reads "x,y wxh sides align text" in page
    // coordinates, its frame sides as LTRB with "-" for a missing one, its alignment as L, R, C
    // or B followed by "!" when its highlight is on, and its text's line breaks as "|".
    std::string Dump() {
        std::ostringstream out;
        for (int i = 0; i < PageCount(); ++i) {
            TpgwComponent* page = Store().GetPage(i);
            out << "page " << i + 1 << " " << Num(page->Width()) << "x" << Num(page->Height())
                << "\n";
            for (TpgwComponent* object : page->Objects())
                DumpObject(out, object, 0, 0);
        }
        return out.str();
    }
    static void DumpObject(std::ostringstream& out, TpgwComponent* object, double x, double y) {
        if (auto* band = dynamic_cast<TpgwBand*>(object)) {
            if (!dynamic_cast<TpgwNullBand*>(band) && !band->Name().empty())
                out << band->Name() << "@" << Num(band->Top()) << "\n";
            for (TpgwComponent* child : band->Objects())
                DumpObject(out, child, x + band->Left(), y + band->Top());
            return;
        }
        const double left = x + object->Left(), top = y + object->Top();
        out << "  " << Num(left) << "," << Num(top) << " " << Num(object->Width()) << "x"
            << Num(object->Height());
        if (auto* memo = dynamic_cast<TpgwCustomMemoView*>(object)) {
            const TpgwFrameTypes sides = memo->Frame()->Typ();
            std::string frame = "----";
            const TpgwFrameType order[] = {ftLeft, ftTop, ftRight, ftBottom};
            for (int s = 0; s < 4; ++s)
                if (sides & FrameSide(order[s])) frame[s] = "LTRB"[s];
            const char aligns[] = "LRCB";
            std::string text = memo->Text();
            if (text.ends_with("\r\n")) text.resize(text.size() - 2);
            for (std::size_t at; (at = text.find("\r\n")) != std::string::npos;)
                text.replace(at, 2, "|");
            out << " " << frame << " " << aligns[memo->HAlign()]
                << (memo->Highlight()->Active() ? "!" : "") << " " << text;
        } else {
            out << " " << object->ClassName();
        }
        out << "\n";
        for (TpgwComponent* child : object->Objects())
            DumpObject(out, child, left, top);
    }

    static void ExpectGolden(const std::string& name, const std::string& text) {
        ExpectCrossGolden("output", name, text);
    }

    TempDir dir;
    int databases = 0;
    std::unique_ptr<TADOConnection> connection;
    std::unique_ptr<TADOQuery> query;
    std::unique_ptr<TpgwDBDataset> dataSet;
};
