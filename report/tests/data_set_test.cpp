// Data sets: the counting cursor, user data sets, field aliases, naming and the global list.

#include "report/data_set.h"

#include <gtest/gtest.h>

#include "report/resources.h"
#include "report/tests/tree_doubles.h"

namespace {

TEST(DataSet, CountedRangeStopsAtTheLastRecord) {
    TpgwDataSet ds(nullptr);
    ds.SetRangeEnd(reCount);
    ds.SetRangeEndCount(3);
    int nextEvents = 0;
    ds.OnNext = [&](TObject*) { ++nextEvents; };
    std::vector<int> recNos;
    std::vector<bool> eofs;
    ds.First();
    recNos.push_back(ds.RecNo());
    eofs.push_back(ds.Eof());
    for (int i = 0; i < 3; ++i) {
        ds.Next();
        recNos.push_back(ds.RecNo());
        eofs.push_back(ds.Eof());
    }
    EXPECT_EQ(recNos, (std::vector<int>{0, 1, 2, 2}));
    EXPECT_EQ(eofs, (std::vector<bool>{false, false, false, true}));
    EXPECT_EQ(nextEvents, 2);
    EXPECT_EQ(ds.RecordCount(), 3);
    ds.SetRangeBegin(rbCurrent);
    EXPECT_EQ(ds.RecordCount(), 0);

    ds.OnCheckEOF = [](TObject*, bool& eof) { eof = !eof; };
    ds.First();
    EXPECT_TRUE(ds.Eof());
}

TEST(DataSet, UserDataSetTakesValuesFromItsCallbacks) {
    TpgwUserDataSet ds(nullptr);
    ds.Fields()->SetText("a\r\nb");
    EXPECT_EQ(ds.FieldsCount(), 2);
    EXPECT_TRUE(ds.HasField("B"));
    EXPECT_TRUE(ds.GetValue("a").IsNull());

    ds.OnNewGetValue = [](TObject*, const std::string& name, Variant& v) {
        v = Variant(name + "!");
    };
    EXPECT_EQ(ds.GetValue("a").AsString(), "a!");
    EXPECT_EQ(ds.GetDisplayText("b"), u"b!");

    ds.OnGetValue = [](const std::string&, Variant& v) { v = Variant(1); };
    ds.OnNewGetValue = [](TObject*, const std::string&, Variant& v) {
        v = v.IsNull() ? Variant("fresh") : v + Variant(1);
    };
    EXPECT_EQ(ds.GetValue("x").AsInteger(), 2);
    EXPECT_EQ(ds.GetDisplayText("x"), u"fresh");
}

TEST(DataSet, AliasesMapBothWays) {
    TpgwCustomDBDataSet ds(nullptr);
    ds.FieldAliases()->SetText("PAT_NAME=Patient\r\nexam_no=Exam");
    EXPECT_EQ(ds.FieldNameToAlias("pat_name"), "Patient");
    EXPECT_EQ(ds.AliasToFieldName("exam"), "exam_no");
    EXPECT_EQ(ds.FieldNameToAlias("other"), "other");
    EXPECT_EQ(ds.AliasToFieldName("Nobody"), "Nobody");
}

TEST(DataSet, NameBecomesUserNameOnlyWhileThatIsEmpty) {
    TpgwUserDataSet ds(nullptr);
    ds.SetName("Customers");
    EXPECT_EQ(ds.UserName(), "Customers");
    ds.SetName("Renamed");
    EXPECT_EQ(ds.UserName(), "Customers");
    try {
        ds.SetUserName("  ");
        ADD_FAILURE() << "blank user name accepted";
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), GetResources().GetText("prInvProp"));
    }
    EXPECT_EQ(ds.UserName(), "Customers");
}

TEST(DataSet, GlobalLookupPrefersTheReportsOwnAndSeesFormDataSets) {
    RegisterTreeDoubles();
    TTestReport first(nullptr), second(nullptr);
    auto* own1 = new TpgwUserDataSet(&first);
    own1->SetUserName("Customers");
    auto* own2 = new TpgwUserDataSet(&second);
    own2->SetUserName("Customers");
    TComponent form(nullptr);
    auto* onForm = new TpgwUserDataSet(&form);
    onForm->SetUserName("Exams");
    onForm->SetEnabled(true);

    EXPECT_EQ(FindGlobalDataSet(nullptr, "customers", &second), own2);
    EXPECT_EQ(FindGlobalDataSet(nullptr, "customers", &first), own1);
    EXPECT_EQ(FindGlobalDataSet(nullptr, "Exams", &first), onForm);
    EXPECT_EQ(FindGlobalDataSet(own1, "Exams", nullptr), own1);
    EXPECT_EQ(FindGlobalDataSet(own1, "", &first), nullptr);
    EXPECT_EQ(FindGlobalDataSet(own1, "Nobody", &first), own1);

    // Through a report object, with and without the global list.
    auto* memo = new TTestMemo(&first);
    EXPECT_EQ(memo->DataSetByName("Customers"), own1);
    first.useGlobal_ = false;
    first.local_ = own2;
    EXPECT_EQ(memo->DataSetByName("Local"), own2);
    EXPECT_EQ(memo->DataSetByName("Customers"), nullptr);

    TStringList list;
    onForm->SetEnabled(false);
    FillGlobalDataSetList(list);
    EXPECT_EQ(list.IndexOf("Exams"), -1);
    EXPECT_GE(list.IndexOf("Customers"), 0);

    const int before = GlobalDataSetCount();
    delete onForm;
    EXPECT_EQ(GlobalDataSetCount(), before - 1);
}

} // namespace
