// The cross-tab's "Memos" property: the inner memos' formatting, the cell functions and the
// sort orders kept in a template, and what a damaged or partial document does.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/tests/engine_fixture.h"
#include "objects/cross_view.h"
#include "objects/objects_module.h"
#include "platform/core/property_stream.h"
#include "platform/core/stream.h"
#include "platform/core/string_list.h"
#include "report/band.h"
#include "report/data_set.h"
#include "report/dmp_class.h"
#include "report/memo_view.h"
#include "report/page.h"
#include "report/report.h"
#include "report/xml_document.h"
#include "report/xml_serializer.h"

namespace {

using MemoList = TpgwCustomCrossView::MemoList;

// The seven lists in a fixed order, for walking two objects side by side.
std::vector<const MemoList*> AllLists(const TpgwCustomCrossView& cross) {
    return {&cross.CellMemos(),        &cross.CellHeaderMemos(), &cross.ColumnMemos(),
            &cross.ColumnTotalMemos(), &cross.CornerMemos(),     &cross.RowMemos(),
            &cross.RowTotalMemos()};
}

// Every stored property of an object as the template writes it.
std::string Attributes(TpgwComponent* object) {
    TMemoryStream unused;
    TpgwXMLSerializer serializer(unused);
    return serializer.PropertiesToXML(object, "", nullptr);
}

std::string WriteMemos(TpgwCustomCrossView& cross) {
    TStringStream out;
    cross.WriteMemos(out);
    return out.DataString();
}

void ReadMemos(TpgwCustomCrossView& cross, const std::string& xml) {
    TStringStream in(xml);
    cross.ReadMemos(in);
}

// A document with the given list elements (name and inner XML).
std::string Document(std::initializer_list<std::pair<const char*, const char*>> lists) {
    std::string xml = "<?xml version=\"1.0\" encoding=\"utf-8\"?><cross>";
    for (const auto& [name, inner] : lists)
        xml += std::string("<") + name + ">" + inner + "</" + name + ">";
    return xml + "</cross>";
}

std::vector<TpgwCrossFunction> Functions(const TpgwCustomCrossView& cross, int count) {
    std::vector<TpgwCrossFunction> v;
    for (int i = 0; i < count; ++i)
        v.push_back(cross.CellFunctions(i));
    return v;
}

// The PropData attribute of the object named name in a saved template.
struct PropDataPlace {
    std::size_t begin = 0, end = 0; // of the hex digits
};
PropDataPlace FindPropData(const std::string& xml, const std::string& name) {
    const std::size_t object = xml.find("Name=\"" + name + "\"");
    EXPECT_NE(object, std::string::npos) << name;
    const std::size_t attr = xml.find("PropData=\"", object);
    EXPECT_NE(attr, std::string::npos);
    PropDataPlace p;
    p.begin = attr + 10;
    p.end = xml.find('"', p.begin);
    return p;
}

// The template with the first `from` inside the object's defined data replaced by `to` (of
// the same length, so the binary lengths stay right).
std::string EditPropData(std::string xml, const std::string& name, const std::string& from,
                         const std::string& to) {
    const PropDataPlace p = FindPropData(xml, name);
    TMemoryStream bytes;
    HexToStream(std::string_view(xml).substr(p.begin, p.end - p.begin), bytes);
    std::string data(reinterpret_cast<const char*>(bytes.Memory()),
                     static_cast<std::size_t>(bytes.Size()));
    const std::size_t at = data.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    if (at != std::string::npos) data.replace(at, from.size(), to);
    TStringStream edited(data);
    return xml.replace(p.begin, p.end - p.begin, StreamToHex(edited));
}

// Where two long texts part, with a little context, for a readable failure.
std::string Difference(const std::string& a, const std::string& b) {
    std::size_t i = 0;
    while (i < a.size() && i < b.size() && a[i] == b[i])
        ++i;
    const std::size_t from = i < 60 ? 0 : i - 60;
    return "at " + std::to_string(i) + ":\n  " + a.substr(from, 160) + "\n  " + b.substr(from, 160);
}

bool HasLine(const TStrings& list, const std::string& text) {
    for (int i = 0; i < list.Count(); ++i)
        if (list.Strings(i) == text) return true;
    return false;
}

class CrossMemos : public EngineFixture {
protected:
    void SetUp() override {
        EngineFixture::SetUp();
        RegisterObjectsModule();
        StartModules();
        // As a loaded report is: with its data page, errors listed, not shown.
        LoadReport(*report, SaveReport(*report));
        page = new TpgwReportPage(report.get());
        page->SetName("Page1");
        band = new TpgwMasterData(page);
        band->SetName("MasterData1");
        band->SetBounds(0, 20, 700, 300);
    }
    void TearDown() override {
        EngineFixture::TearDown();
        StopModules();
    }
    TpgwCrossView* NewCross(const std::string& name, int cells, int columns, int rows,
                            TpgwComponent* parent = nullptr) {
        auto* cross = new TpgwCrossView(parent ? parent : band);
        cross->SetName(name);
        cross->SetCellLevels(cells);
        cross->SetColumnLevels(columns);
        cross->SetRowLevels(rows);
        return cross;
    }
    std::string SaveReport(TpgwReport& r) {
        TStringStream out;
        r.SaveToStream(out);
        return out.DataString();
    }
    void LoadReport(TpgwReport& r, const std::string& xml) {
        r.EngineOptions()->SetNewSilentMode(simSilent);
        TStringStream in(xml);
        r.LoadFromStream(in);
    }

    TpgwReportPage* page = nullptr;
    TpgwMasterData* band = nullptr;
};

// Gives every memo of every list its own text and formatting.
void FormatAll(TpgwCustomCrossView& cross) {
    int n = 0;
    for (const MemoList* list : AllLists(cross))
        for (const auto& memo : *list) {
            ++n;
            memo->SetText("m" + std::to_string(n) + "\r\n");
            memo->SetColor(static_cast<TColor>(0x010203 * n));
            memo->Frame()->SetTyp(static_cast<TpgwFrameTypes>(n % 16));
            memo->Frame()->SetWidth(1 + n % 3);
            memo->Frame()->SetColor(static_cast<TColor>(0x30 * n));
            memo->SetHAlign(static_cast<TpgwHAlign>(n % 4));
            memo->SetVAlign(static_cast<TpgwVAlign>(n % 3));
            memo->Font()->SetStyle(n % 2 ? TFontStyles{fsBold} : TFontStyles{fsItalic});
            memo->Font()->SetSize(8 + n % 5);
            memo->SetRotation(n % 2 ? 0 : 90);
        }
}

TEST_F(CrossMemos, ARoundTripIntoANewObjectKeepsFormattingFunctionsAndOrders) {
    TpgwCrossView* source = NewCross("Cross1", 2, 2, 3);
    FormatAll(*source);
    source->SetCellFunctions(0, cfAvg);
    source->SetCellFunctions(1, cfCount);
    source->SetColumnSort(0, csoDescending);
    source->SetColumnSort(1, csoGrouping);
    source->SetRowSort(2, csoNone);
    // An object dropped into a cell travels with its memo.
    auto* inner = new TpgwMemoView(source->CellMemos()[1].get());
    inner->SetName("Cross1Object1");
    inner->SetTag(1);
    inner->SetBounds(2, 3, 40, 10);
    inner->SetText("inner\r\n");
    // Texts are kept as UTF-8, other strings in the legacy code page: both come back.
    source->ColumnTotalMemos()[1]->SetText("小计 [Value]\r\n");
    source->ColumnTotalMemos()[1]->Font()->SetName("宋体");
    const std::string saved = WriteMemos(*source);

    TpgwCrossView* target = NewCross("Cross2", 2, 2, 3);
    ReadMemos(*target, saved);
    EXPECT_EQ(report->Errors().Count(), 0) << report->Errors().Text();

    const auto sourceLists = AllLists(*source);
    const auto targetLists = AllLists(*target);
    for (std::size_t l = 0; l < sourceLists.size(); ++l) {
        ASSERT_EQ(sourceLists[l]->size(), targetLists[l]->size());
        for (std::size_t i = 0; i < sourceLists[l]->size(); ++i)
            EXPECT_EQ(Attributes((*targetLists[l])[i].get()),
                      Attributes((*sourceLists[l])[i].get()))
                << "list " << l << " memo " << i;
    }
    TpgwCustomMemoView* cell3 = target->CellMemos()[3].get();
    EXPECT_EQ(cell3->Text(), source->CellMemos()[3]->Text());
    EXPECT_EQ(cell3->HAlign(), source->CellMemos()[3]->HAlign());
    EXPECT_EQ(cell3->Frame()->Typ(), source->CellMemos()[3]->Frame()->Typ());
    EXPECT_EQ(cell3->Font()->Style(), source->CellMemos()[3]->Font()->Style());
    EXPECT_EQ(cell3->Rotation(), source->CellMemos()[3]->Rotation());
    EXPECT_EQ(target->ColumnTotalMemos()[1]->Text(), "小计 [Value]\r\n");
    EXPECT_EQ(target->ColumnTotalMemos()[1]->Font()->Name(), "宋体");

    EXPECT_EQ(Functions(*target, 3), (std::vector<TpgwCrossFunction>{cfAvg, cfCount, cfSum}));
    EXPECT_EQ(target->ColumnSort(0), csoDescending);
    EXPECT_EQ(target->ColumnSort(1), csoGrouping);
    EXPECT_EQ(target->RowSort(1), csoAscending);
    EXPECT_EQ(target->RowSort(2), csoNone);

    ASSERT_EQ(target->CellMemos()[1]->Objects().size(), 1u);
    auto* copy = dynamic_cast<TpgwMemoView*>(target->CellMemos()[1]->Objects()[0]);
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(copy->Name(), "Cross1Object1");
    EXPECT_EQ(copy->Tag(), 1);
    EXPECT_EQ(copy->Text(), "inner\r\n");
    EXPECT_DOUBLE_EQ(copy->Top(), 3);
    EXPECT_EQ(copy->Parent(), target->CellMemos()[1].get());
    EXPECT_TRUE(WriteMemos(*target) == saved) << Difference(saved, WriteMemos(*target));

    // Read again, the entry's objects replace the memo's instead of doubling them.
    ReadMemos(*target, saved);
    EXPECT_EQ(target->CellMemos()[1]->Objects().size(), 1u);
    EXPECT_TRUE(WriteMemos(*target) == saved) << Difference(saved, WriteMemos(*target));
}

TEST_F(CrossMemos, TheDocumentHoldsEveryMemoOfTheListsAndOneItemPerLevel) {
    auto* dmpPage = new TpgwDMPPage(report.get());
    dmpPage->SetName("DMPPage1");
    auto* dmpBand = new TpgwMasterData(dmpPage);
    dmpBand->SetName("MasterData2");
    struct Case {
        TpgwComponent* parent;
        const char* memoClass;
    };
    for (const Case& c : {Case{band, "TpgwMemoView"}, Case{dmpBand, "TpgwDMPMemoView"}}) {
        SCOPED_TRACE(c.memoClass);
        TpgwCrossView* cross = NewCross(std::string("X") + c.memoClass, 2, 3, 1, c.parent);
        // Lists never shrink: three column memos stay after going back to one level.
        cross->SetColumnLevels(1);
        cross->SetCellFunctions(1, cfAvg);
        cross->SetColumnSort(2, csoGrouping);
        const std::string bytes = WriteMemos(*cross);
        EXPECT_NE(bytes.find("<item 4/>"), std::string::npos);

        TpgwXMLDocument doc;
        TStringStream in(bytes);
        doc.LoadFromStream(in);
        const TpgwXMLItem& root = *doc.Root();
        EXPECT_EQ(root.Name(), "cross");
        struct List {
            const char* name;
            std::size_t count;
        };
        const std::vector<List> lists = {
            {"cellmemos", cross->CellMemos().size()},
            {"cellheadermemos", cross->CellHeaderMemos().size()},
            {"columnmemos", 3},
            {"columntotalmemos", 3},
            {"cornermemos", cross->CornerMemos().size()},
            {"rowmemos", 1},
            {"rowtotalmemos", 1},
            {"cellfunctions", 2},
            {"columnsort", 3},
            {"rowsort", 1},
        };
        ASSERT_EQ(root.Count(), static_cast<int>(lists.size()));
        for (std::size_t i = 0; i < lists.size(); ++i) {
            const TpgwXMLItem& list = *root.Items(static_cast<int>(i));
            EXPECT_EQ(list.Name(), lists[i].name);
            EXPECT_EQ(list.Count(), static_cast<int>(lists[i].count)) << lists[i].name;
            const bool items = i >= 7;
            for (int e = 0; e < list.Count(); ++e) {
                EXPECT_EQ(list.Items(e)->Name(), items ? "item" : c.memoClass);
                if (!items) {
                    EXPECT_EQ(list.Items(e)->Prop("Name"), "");
                }
            }
        }
        auto text = [&root](int list, int entry) { return root.Items(list)->Items(entry)->Text(); };
        EXPECT_EQ(text(7, 0), "1");
        EXPECT_EQ(text(7, 1), "4");
        EXPECT_EQ(text(8, 2), "3");
        EXPECT_EQ(text(9, 0), "0");
    }
}

TEST_F(CrossMemos, MissingListsAndEntriesLeaveMemosAndResetTablesToTheirFirstValue) {
    TpgwCrossView* cross = NewCross("Cross1", 3, 1, 1);
    cross->SetColumnSort(0, csoDescending);
    cross->SetRowSort(0, csoNone);
    const std::string before = Attributes(cross->CellMemos()[0].get());
    for (const std::string& xml :
         {Document({}), Document({{"cellfunctions", ""}, {"columnsort", ""}, {"rowsort", ""}}),
          std::string("<?xml version=\"1.0\" encoding=\"utf-8\"?><cross/>")}) {
        SCOPED_TRACE(xml);
        cross->SetCellFunctions(0, cfSum);
        ReadMemos(*cross, xml);
        EXPECT_EQ(Functions(*cross, 4),
                  (std::vector<TpgwCrossFunction>{cfNone, cfNone, cfNone, cfSum}));
        EXPECT_EQ(cross->ColumnSort(0), csoAscending);
        EXPECT_EQ(cross->RowSort(0), csoAscending);
        EXPECT_EQ(Attributes(cross->CellMemos()[0].get()), before);
    }
}

TEST_F(CrossMemos, ATemplateWithoutTheMemosPropertyKeepsTheNewObjectsSum) {
    TpgwCrossView* cross = NewCross("Cross1", 2, 1, 1);
    cross->SetCellFunctions(0, cfMax);
    std::string xml = SaveReport(*report);
    const PropDataPlace p = FindPropData(xml, "Cross1");
    xml.erase(p.begin - 10, p.end + 1 - (p.begin - 10));
    ASSERT_EQ(xml.find("PropData"), std::string::npos);

    TpgwReport loaded(nullptr);
    LoadReport(loaded, xml);
    EXPECT_EQ(loaded.Errors().Count(), 0) << loaded.Errors().Text();
    auto* copy = dynamic_cast<TpgwCrossView*>(loaded.FindObject("Cross1"));
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(copy->CellLevels(), 2);
    EXPECT_EQ(Functions(*copy, 2), (std::vector<TpgwCrossFunction>{cfSum, cfSum}));
}

TEST_F(CrossMemos, AnEntryResetsTheListedFormattingFirstAndLoadsWhatItStates) {
    TpgwCrossView* cross = NewCross("Cross1", 1, 1, 1);
    for (const auto& memo : cross->CellMemos()) {
        memo->SetColor(clRed);
        memo->Frame()->SetColor(clBlue);
        memo->Frame()->SetWidth(3);
        memo->Font()->SetStyle(TFontStyles{fsBold});
        memo->Font()->SetSize(14);
        memo->SetText("kept\r\n");
        memo->SetGapX(7);
    }
    const TpgwFrameTypes allSides = cross->CellMemos()[1]->Frame()->Typ();
    ASSERT_NE(allSides, 0);
    // Entry 0 states two things; entries 1 to 3 are missing.
    ReadMemos(*cross, Document({{"cellmemos", "<TpgwMemoView HAlign=\"haCenter\" "
                                              "Frame.Color=\"255\"/>"}}));
    ASSERT_EQ(report->Errors().Count(), 0) << report->Errors().Text();

    struct Expected {
        TColor color, frameColor;
        double frameWidth;
        TpgwFrameTypes sides;
        TFontStyles style;
        TpgwHAlign hAlign;
        TpgwVAlign vAlign;
    };
    const Expected reset{clNone, 255, 1, 0, TFontStyles(), haCenter, vaTop};
    const Expected untouched{clRed, clBlue, 3, allSides, TFontStyles{fsBold}, haRight, vaCenter};
    for (std::size_t i = 0; i < 4; ++i) {
        SCOPED_TRACE(i);
        TpgwCustomMemoView& memo = *cross->CellMemos()[i];
        const Expected& e = i == 0 ? reset : untouched;
        EXPECT_EQ(memo.Color(), e.color);
        EXPECT_EQ(memo.Frame()->Color(), e.frameColor);
        EXPECT_DOUBLE_EQ(memo.Frame()->Width(), e.frameWidth);
        EXPECT_EQ(memo.Frame()->Typ(), e.sides);
        EXPECT_EQ(memo.Font()->Style(), e.style);
        EXPECT_EQ(memo.HAlign(), e.hAlign);
        EXPECT_EQ(memo.VAlign(), e.vAlign);
        // What the reset does not name keeps its value.
        EXPECT_EQ(memo.Text(), "kept\r\n");
        EXPECT_EQ(memo.Font()->Size(), 14);
        EXPECT_DOUBLE_EQ(memo.GapX(), 7);
        EXPECT_FALSE(memo.AllowExpressions());
    }
}

TEST_F(CrossMemos, AHandWrittenDocumentWithItemElementsLoads) {
    TpgwCrossView* cross = NewCross("Cross1", 2, 2, 1);
    // List names in any case; entries beyond the lists are ignored.
    ReadMemos(*cross, Document({{"CellFunctions", "<item 4/><item 5/><item 2/>"},
                                {"COLUMNSORT", "<item 1/><item 3/><item 1/>"},
                                {"rowsort", "<item 2/><item 1/>"},
                                {"cornermemos", "<TpgwMemoView Text=\"Title\"/>"}}));
    ASSERT_EQ(report->Errors().Count(), 0) << report->Errors().Text();
    EXPECT_EQ(Functions(*cross, 3), (std::vector<TpgwCrossFunction>{cfAvg, cfCount, cfSum}));
    EXPECT_EQ(cross->ColumnSort(0), csoDescending);
    EXPECT_EQ(cross->ColumnSort(1), csoGrouping);
    EXPECT_EQ(cross->ColumnSort(2), csoAscending);
    EXPECT_EQ(cross->RowSort(0), csoNone);
    EXPECT_EQ(cross->RowSort(1), csoAscending);
    EXPECT_EQ(cross->CornerMemos()[0]->Text(), "Title\r\n");
}

// A document with a bad entry in each list kind, next to good ones.
const std::string kBadDocument = Document({
    {"cellfunctions", "<item x/><item 9/><item 5/>"},
    {"cellmemos", "<TpgwNoSuchView HAlign=\"haCenter\"/><TpgwMemoView HAlign=\"haCenter\"/>"},
    {"cornermemos", "<TpgwMemoView Frame.Width=\"wide\" HAlign=\"haRight\"/>"},
    {"rowsort", "<item -1/>"},
    {"columnsort", "<item 1/>"},
});

TEST_F(CrossMemos, BadEntriesGoToTheReportsErrorsAndTheOthersLoad) {
    TpgwCrossView* cross = NewCross("Cross1", 3, 1, 1);
    cross->SetCellFunctions(1, cfMin);
    cross->SetRowSort(0, csoNone);
    ReadMemos(*cross, kBadDocument);

    const TStringList& errors = report->Errors();
    EXPECT_TRUE(HasLine(errors, "Cross1: 'x' is not a valid integer value")) << errors.Text();
    EXPECT_EQ(errors.Count(), 5) << errors.Text();
    for (int i = 0; i < errors.Count(); ++i)
        EXPECT_EQ(errors.Strings(i).rfind("Cross1: ", 0), 0u) << errors.Strings(i);
    // Bad entries leave their function, order or memo as it was.
    EXPECT_EQ(Functions(*cross, 3), (std::vector<TpgwCrossFunction>{cfSum, cfMin, cfCount}));
    EXPECT_EQ(cross->RowSort(0), csoNone);
    EXPECT_EQ(cross->ColumnSort(0), csoDescending);
    EXPECT_EQ(cross->CellMemos()[0]->HAlign(), haRight);
    EXPECT_EQ(cross->CellMemos()[0]->VAlign(), vaCenter);
    EXPECT_EQ(cross->CellMemos()[1]->HAlign(), haCenter);
    // A bad attribute spoils only itself.
    EXPECT_EQ(cross->CornerMemos()[0]->HAlign(), haRight);
}

TEST_F(CrossMemos, OutsideAReportTheReaderRaisesOnceEverythingReadableIsRead) {
    TpgwCrossView cross(nullptr);
    cross.SetName("Loose1");
    cross.SetCellLevels(3);
    try {
        ReadMemos(cross, kBadDocument);
        ADD_FAILURE() << "no error";
    } catch (const Exception& e) {
        EXPECT_NE(std::string(e.Message()).find("Loose1: 'x' is not a valid integer value"),
                  std::string::npos)
            << e.Message();
    }
    EXPECT_EQ(cross.CellFunctions(2), cfCount);
    EXPECT_EQ(cross.ColumnSort(0), csoDescending);
    EXPECT_EQ(cross.CellMemos()[1]->HAlign(), haCenter);

    // A document that is no document changes nothing.
    const std::string before = WriteMemos(cross);
    for (const char* broken :
         {"", "<?xml version=\"1.0\"?><cross><cellfunctions><item 2/>", "not xml at all"}) {
        SCOPED_TRACE(broken);
        EXPECT_THROW(ReadMemos(cross, broken), Exception);
        EXPECT_EQ(WriteMemos(cross), before);
    }
}

TEST_F(CrossMemos, ABadItemInATemplateIsListedAndTheTemplateLoadsOn) {
    TpgwCrossView* cross = NewCross("Cross1", 2, 1, 1);
    cross->SetCellFunctions(1, cfMax);
    cross->CornerMemos()[0]->SetText("corner\r\n");
    auto* after = new TpgwMemoView(band);
    after->SetName("Memo9");
    const std::string xml = EditPropData(SaveReport(*report), "Cross1", "<item 1/>", "<item x/>");

    TpgwReport loaded(nullptr);
    LoadReport(loaded, xml);
    EXPECT_TRUE(HasLine(loaded.Errors(), "Cross1: 'x' is not a valid integer value"))
        << loaded.Errors().Text();
    auto* copy = dynamic_cast<TpgwCrossView*>(loaded.FindObject("Cross1"));
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(copy->CellFunctions(0), cfSum);
    EXPECT_EQ(copy->CellFunctions(1), cfMax);
    EXPECT_EQ(copy->CornerMemos()[0]->Text(), "corner\r\n");
    EXPECT_NE(loaded.FindObject("Memo9"), nullptr);
}

TEST_F(CrossMemos, ATemplateWithBothClassesSavesLoadsAndSavesAgainIdentically) {
    // The report's data sets are the application's, not the template's.
    TTable* data = Table("Exams", {});
    report->DataSets()->Add(data);

    TpgwCrossView* cross = NewCross("Cross1", 2, 2, 2);
    FormatAll(*cross);
    cross->SetCellFunctions(1, cfAvg);
    cross->SetRowSort(1, csoGrouping);
    cross->SetBounds(10, 20, 300, 120);
    cross->SetShowTitle(false);
    auto* inner = new TpgwMemoView(cross->CornerMemos()[3].get());
    inner->SetName("Cross1Object1");
    inner->SetTag(1);
    inner->SetText("logo\r\n");

    auto* db = new TpgwDBCrossView(band);
    db->SetName("DBCross1");
    db->SetBounds(10, 160, 300, 120);
    db->SetDataSet(data);
    TStringList rows, columns, cells;
    rows.SetText("doctor\r\n");
    columns.SetText("month\r\n");
    cells.SetText("fee\r\n");
    db->SetRowFields(&rows);
    db->SetColumnFields(&columns);
    db->SetCellFields(&cells);
    db->SetCellFunctions(0, cfCount);
    db->SetColumnSort(0, csoDescending);
    db->CellMemos()[0]->DisplayFormat()->SetFormatStr("%2.2n");
    db->CellMemos()[0]->DisplayFormat()->SetKind(fkNumeric);

    const std::string first = SaveReport(*report);
    TpgwReport loaded(nullptr);
    loaded.DataSets()->Add(data);
    LoadReport(loaded, first);
    ASSERT_EQ(loaded.Errors().Count(), 0) << loaded.Errors().Text();
    const std::string second = SaveReport(loaded);
    EXPECT_TRUE(second == first) << Difference(first, second);

    auto* crossCopy = dynamic_cast<TpgwCrossView*>(loaded.FindObject("Cross1"));
    auto* dbCopy = dynamic_cast<TpgwDBCrossView*>(loaded.FindObject("DBCross1"));
    ASSERT_NE(crossCopy, nullptr);
    ASSERT_NE(dbCopy, nullptr);
    EXPECT_EQ(crossCopy->CellFunctions(1), cfAvg);
    EXPECT_EQ(crossCopy->RowSort(1), csoGrouping);
    EXPECT_EQ(Attributes(crossCopy->CellMemos()[5].get()), Attributes(cross->CellMemos()[5].get()));
    ASSERT_EQ(crossCopy->CornerMemos()[3]->Objects().size(), 1u);
    EXPECT_EQ(crossCopy->CornerMemos()[3]->Objects()[0]->Name(), "Cross1Object1");
    EXPECT_EQ(dbCopy->CellFunctions(0), cfCount);
    EXPECT_EQ(dbCopy->ColumnSort(0), csoDescending);
    EXPECT_EQ(dbCopy->CellMemos()[0]->DisplayFormat()->FormatStr(), "%2.2n");
    EXPECT_EQ(dbCopy->RowFields()->Text(), "doctor\r\n");
    EXPECT_EQ(dbCopy->DataSet(), data);
    EXPECT_TRUE(dbCopy->IsValid());
}

} // namespace
