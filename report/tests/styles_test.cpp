// Styles, style sets and style sheets.

#include "report/styles.h"

#include <gtest/gtest.h>

#include "platform/core/stream.h"
#include "platform/core/string_list.h"
#include "report/report.h"
#include "report/tests/rc_doubles.h"

namespace {

class Styles : public ::testing::Test {
protected:
    void SetUp() override { RegisterReportDoubles(); }
};

TEST_F(Styles, NewItemTakesTheFirstFreeNumber) {
    TpgwStyles styles;
    styles.Add()->SetName("Style1");
    styles.Add()->SetName("style3");
    TpgwStyleItem* item = styles.Add();
    item->MakeUniqueName();
    EXPECT_EQ(item->Name(), "Style2");
    TpgwStyleItem* next = styles.Add();
    next->MakeUniqueName();
    EXPECT_EQ(next->Name(), "Style4");
}

TEST_F(Styles, DuplicateNameIsRefusedAndTheOldNameStays) {
    TpgwStyles styles;
    styles.Add()->SetName("Title");
    TpgwStyleItem* other = styles.Add();
    other->SetName("Body");
    EXPECT_THROW(
        {
            try {
                other->SetName("TITLE");
            } catch (const Exception& e) {
                EXPECT_STREQ(e.what(), "Duplicate name");
                throw;
            }
        },
        Exception);
    EXPECT_EQ(other->Name(), "Body");
    EXPECT_EQ(styles.Find("body"), other);
    EXPECT_EQ(styles.Find("none"), nullptr);
}

TEST_F(Styles, ApplyRefreshesMemosAndDropsUnknownStyles) {
    TpgwReport report(nullptr);
    auto* page = new TpgwReportPage(&report);
    auto* kept = new TRcMemo(page);
    auto* lost = new TRcMemo(page);
    TpgwStyles set;
    TpgwStyleItem* title = set.Add();
    title->SetName("Title");
    title->SetColor(0x0000FF);
    report.Styles()->Add()->SetName("Old");
    kept->SetStyle("Old");
    lost->SetStyle("Old");
    // The memo's own style name travels; only the report's set decides what it means.
    kept->SetStyle("Title");
    report.SetStyles(&set);
    EXPECT_EQ(kept->Style(), "Title");
    EXPECT_EQ(kept->Color(), 0x0000FF);
    EXPECT_EQ(lost->Style(), "");
    report.SetStyles(nullptr);
    EXPECT_EQ(report.Styles()->Count(), 0);
}

TEST_F(Styles, SetSurvivesItsXmlForm) {
    TpgwStyles set;
    set.SetName("Clinic");
    TpgwStyleItem* item = set.Add();
    item->SetName("Header");
    item->SetColor(0x123456);
    item->Font()->SetName("Courier New");
    static_cast<TpgwFrame*>(item->Frame())->SetTyp(5);
    TStringStream out;
    set.SaveToStream(out);
    EXPECT_EQ(out.DataString().find("<style Name=\"Clinic\">"), 40u) << out.DataString();

    TpgwStyles back;
    TStringStream in(out.DataString());
    back.LoadFromStream(in);
    ASSERT_EQ(back.Count(), 1);
    EXPECT_EQ(back.Name(), "Clinic");
    EXPECT_EQ(back.Items(0)->Name(), "Header");
    EXPECT_EQ(back.Items(0)->Color(), 0x123456);
    EXPECT_EQ(back.Items(0)->Font()->Name(), "Courier New");
    EXPECT_EQ(static_cast<TpgwFrame*>(back.Items(0)->Frame())->Typ(), 5);
}

TEST_F(Styles, SheetReadsItsRootWhateverTheLetterCase) {
    const std::string xml =
        "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n"
        "<StyleSheet>\r\n"
        "  <Style Name=\"A\">\r\n    <Item Name=\"One\"/>\r\n    <note/>\r\n  </Style>\r\n"
        "  <other/>\r\n"
        "  <style Name=\"B\"/>\r\n"
        "</StyleSheet>";
    TpgwStyleSheet sheet;
    TStringStream in(xml);
    sheet.LoadFromStream(in);
    TStringList names;
    sheet.GetList(names);
    ASSERT_EQ(names.Count(), 2);
    EXPECT_EQ(names.Strings(0), "A");
    EXPECT_EQ(sheet.Find("b"), sheet.Items(1));
    EXPECT_EQ(sheet.Items(0)->Count(), 1);

    TStringStream out;
    sheet.SaveToStream(out);
    TpgwStyleSheet again;
    TStringStream in2(out.DataString());
    again.LoadFromStream(in2);
    EXPECT_EQ(again.Count(), 2);
    EXPECT_EQ(again.Items(0)->Items(0)->Name(), "One");
    again.Delete(0);
    EXPECT_EQ(again.Items(0)->Name(), "B");
}

TEST_F(Styles, UnexpectedRootLeavesThemEmpty) {
    TpgwStyles set;
    set.Add()->SetName("X");
    TStringStream in("<?xml version=\"1.0\"?>\r\n<stylesheet/>");
    set.LoadFromStream(in);
    EXPECT_EQ(set.Count(), 0);
    TpgwStyleSheet sheet;
    sheet.Add();
    TStringStream in2("<?xml version=\"1.0\"?>\r\n<style Name=\"A\"/>");
    sheet.LoadFromStream(in2);
    EXPECT_EQ(sheet.Count(), 0);
}

TEST_F(Styles, BrokenFileLeavesSetAndSheetAsTheyWere) {
    const std::string broken = "<?xml version=\"1.0\"?>\r\n<style Name=\"A\"><item Name=\"";
    TpgwStyles set;
    set.Add()->SetName("Kept");
    TStringStream in(broken);
    EXPECT_THROW(set.LoadFromStream(in), Exception);
    ASSERT_EQ(set.Count(), 1);
    EXPECT_EQ(set.Items(0)->Name(), "Kept");
    TpgwStyleSheet sheet;
    sheet.Add()->SetName("Kept");
    TStringStream in2(broken);
    EXPECT_THROW(sheet.LoadFromStream(in2), Exception);
    ASSERT_EQ(sheet.Count(), 1);
    EXPECT_EQ(sheet.Items(0)->Name(), "Kept");
}

} // namespace
