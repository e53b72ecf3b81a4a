// Report variables: categories, lookups, the associative array and the variables file.

#include "report/variables.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>

#include "platform/core/stream.h"
#include "platform/core/string_list.h"
#include "report/xml_document.h"

namespace {

std::vector<std::string> Lines(const TStrings& list) {
    std::vector<std::string> v;
    for (int i = 0; i < list.Count(); ++i)
        v.push_back(list.Strings(i));
    return v;
}

std::vector<std::string> Names(const TpgwVariables& vars) {
    std::vector<std::string> v;
    for (int i = 0; i < vars.Count(); ++i)
        v.push_back(vars.Items(i)->Name());
    return v;
}

// a, " Cat1" (b, c), " Cat2" (d)
void Fill(TpgwVariables& vars) {
    for (const char* name : {"a", " Cat1", "b", "c", " Cat2", "d"}) {
        TpgwVariable* v = vars.Add();
        v->SetName(name);
        v->SetValue(Variant(std::string("'") + name + "'"));
    }
}

TEST(Variables, LookupAndAppend) {
    TpgwVariables vars;
    EXPECT_TRUE(vars.Variables("x").IsNull());
    vars.SetVariables("x", Variant(5));
    EXPECT_EQ(vars.Variables("X").AsInteger(), 5);
    EXPECT_EQ(vars.IndexOf("X"), 0);
    vars.DeleteVariable("x");
    EXPECT_EQ(vars.Count(), 0);
}

TEST(Variables, Categories) {
    TpgwVariables vars;
    Fill(vars);
    TStringList list;
    vars.GetCategoriesList(list);
    EXPECT_EQ(Lines(list), (std::vector<std::string>{"Cat1", "Cat2"}));
    vars.GetVariablesList("", list);
    EXPECT_EQ(Lines(list), std::vector<std::string>{"a"});
    vars.GetVariablesList("cat1", list);
    EXPECT_EQ(Lines(list), (std::vector<std::string>{"b", "c"}));
    vars.GetVariablesList("Missing", list);
    EXPECT_EQ(list.Count(), 0);

    vars.AddVariable("Missing", "z", Variant(1));
    EXPECT_EQ(vars.Count(), 6);
    vars.AddVariable("Cat2", "b", Variant(9));
    EXPECT_EQ(vars.Variables("b").AsInteger(), 9);
    EXPECT_EQ(vars.Count(), 6);
    vars.AddVariable("Cat1", "e", Variant(2));
    EXPECT_EQ(Names(vars), (std::vector<std::string>{"a", " Cat1", "b", "c", "e", " Cat2", "d"}));

    vars.DeleteCategory("Cat2");
    EXPECT_EQ(Names(vars), (std::vector<std::string>{"a", " Cat1", "b", "c", "e"}));
    vars.DeleteCategory("Cat1");
    EXPECT_EQ(Names(vars), std::vector<std::string>{"a"});
}

TEST(Variables, ArrayKeysByTextForm) {
    TpgwArray array;
    array.SetVariables(Variant(1), Variant("one"));
    EXPECT_EQ(array.Variables(Variant("1")).AsString(), "one");
    array.SetVariables(Variant("1"), Variant("uno"));
    EXPECT_EQ(array.Count(), 1);
    EXPECT_EQ(array.Variables(Variant(1)).AsString(), "uno");
    EXPECT_TRUE(array.Variables(Variant(2)).IsNull());
}

TEST(Variables, FileRoundTripKeepsOrderHeadersAndValues) {
    TpgwVariables vars;
    Fill(vars);
    vars.Items(2)->SetValue(Variant::Null());
    vars.Items(3)->SetValue(Variant("<\"医院\" & 'x'>\r\nline"));
    const std::string file = ::testing::TempDir() + "variables_test.xml";
    vars.SaveToFile(file);

    TpgwVariables loaded;
    loaded.LoadFromFile(file);
    EXPECT_EQ(Names(loaded), Names(vars));
    EXPECT_EQ(loaded.Items(2)->Value().AsString(), "");
    EXPECT_EQ(loaded.Items(3)->Value().AsString(), "<\"医院\" & 'x'>\r\nline");
    EXPECT_EQ(loaded.Items(0)->Value().AsString(), "'a'");

    std::ifstream in(file, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    EXPECT_NE(text.str().find("\r\n  <item Name=\" Cat1\" Value=\"' Cat1'\"/>\r\n"),
              std::string::npos)
        << "header items keep their leading blank: " << text.str();
    std::remove(file.c_str());
}

TEST(Variables, ForeignRootLoadsNothingAndBrokenFilesKeepTheCollection) {
    TpgwVariables vars;
    Fill(vars);
    TStringStream other(
        "<?xml version=\"1.0\" encoding=\"utf-8\"?><styles><item Name=\"x\"/></styles>");
    vars.LoadFromStream(other);
    EXPECT_EQ(vars.Count(), 0);

    Fill(vars);
    TStringStream broken("<?xml version=\"1.0\" encoding=\"utf-8\"?><variables><item Name=\"x\"");
    EXPECT_THROW(vars.LoadFromStream(broken), TpgwInvalidXMLException);
    EXPECT_EQ(vars.Count(), 6);
}

} // namespace
