#include "platform/core/properties.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/core/object_handle.h"
#include "platform/core/tests/property_fixtures.h"

namespace {

struct PropRow {
    const char* name;
    TTypeKind kind;
    const char* typeName;
    const char* declaringClass;
    bool hasDefault;
    std::int64_t defaultValue;
    bool storedWhenFresh;
};

// The table of TTestMemo: ancestors first, each class in declaration order; Tag and Visible
// are re-declared further down and take those classes' places.
const PropRow kMemoTable[] = {
    {"Name", TTypeKind::tkLString, "TComponentName", "TComponent", false, 0, false},
    {"Left", TTypeKind::tkFloat, "Extended", "TTestBase", false, 0, true},
    {"Font", TTypeKind::tkClass, "TTestFont", "TTestBase", false, 0, false},
    {"ParentFont", TTypeKind::tkEnumeration, "Boolean", "TTestBase", true, 1, true},
    {"HAlign", TTypeKind::tkEnumeration, "THAlign", "TTestView", true, 0, true},
    {"Restrictions", TTypeKind::tkSet, "TRestrictions", "TTestView", true, 0, true},
    {"Color", TTypeKind::tkInteger, "TColor", "TTestView", true, 0xFFFFFF, true},
    {"Created", TTypeKind::tkFloat, "TDateTime", "TTestView", false, 0, true},
    {"Letter", TTypeKind::tkChar, "Char", "TTestView", false, 0, true},
    {"WLetter", TTypeKind::tkWChar, "WideChar", "TTestView", false, 0, true},
    {"Caption", TTypeKind::tkWString, "WideString", "TTestView", false, 0, true},
    {"Value", TTypeKind::tkVariant, "Variant", "TTestView", false, 0, true},
    {"Big", TTypeKind::tkInt64, "Int64", "TTestView", true, 0, true},
    {"Link", TTypeKind::tkClass, "TComponent", "TTestView", false, 0, true},
    {"OnBeforePrint", TTypeKind::tkLString, "TTestNotifyEvent", "TTestView", false, 0, true},
    {"OnChange", TTypeKind::tkMethod, "TNotifyEvent", "TTestView", false, 0, false},
    {"OnClick", TTypeKind::tkMethod, "TNotifyEvent", "TTestView", false, 0, false},
    {"ObjectCount", TTypeKind::tkInteger, "Integer", "TTestView", false, 0, true},
    {"Tag", TTypeKind::tkInteger, "Integer", "TTestView", true, 7, true},
    {"Items", TTypeKind::tkClass, "TCollection", "TTestMemo", false, 0, true},
    {"Description", TTypeKind::tkLString, "string", "TTestMemo", false, 0, true},
    {"Visible", TTypeKind::tkEnumeration, "Boolean", "TTestMemo", true, 0, true},
};

TEST(PropertyTable, ListsEveryKindAncestorFirstWithTypesDefaultsAndStored) {
    TTestMemo memo(nullptr);
    const TPropTable& table = TTestMemo::StaticClass().Properties();
    ASSERT_EQ(table.Count(), static_cast<int>(std::size(kMemoTable)));
    for (int i = 0; i < table.Count(); ++i) {
        const PropRow& row = kMemoTable[i];
        const TPropInfo& info = table.Items(i);
        SCOPED_TRACE(row.name);
        EXPECT_EQ(info.Name(), row.name);
        EXPECT_EQ(info.Kind(), row.kind);
        EXPECT_EQ(info.PropType().Name(), row.typeName);
        EXPECT_EQ(info.DeclaringClass().ClassName(), row.declaringClass);
        EXPECT_EQ(info.HasDefault(), row.hasDefault);
        if (row.hasDefault) {
            EXPECT_EQ(info.DefaultValue(), row.defaultValue);
        }
        EXPECT_EQ(info.IsStored(memo), row.storedWhenFresh);
    }
    // Stored predicates follow the instance (ParentFont is stored while Visible).
    memo.SetVisible(false);
    EXPECT_FALSE(IsStoredProp(memo, *GetPropInfo(memo, "ParentFont")));
    // The ancestors keep their own tables: TTestBase still has Visible with default True,
    // in its place, and TComponent's Tag keeps default 0.
    const TPropTable& base = TTestBase::StaticClass().Properties();
    ASSERT_EQ(base.Count(), 6);
    EXPECT_EQ(base.Items(3).Name(), "Visible");
    EXPECT_EQ(base.Items(3).DefaultValue(), 1);
    EXPECT_EQ(GetPropInfo(TComponent::StaticClass(), "Tag")->DefaultValue(), 0);
}

TEST(PropertyTable, TypeIdentityTellsNamedTypesApart) {
    const TPropTable& table = TTestMemo::StaticClass().Properties();
    EXPECT_EQ(&table.Find("Created")->PropType(), &TypeInfoDateTime());
    EXPECT_NE(&TypeInfoDateTime(), &TypeInfoDouble());
    EXPECT_EQ(&table.Find("Color")->PropType(), &TypeInfoColor());
    EXPECT_NE(&TypeInfoColor(), &TypeInfoInteger());
    EXPECT_TRUE(table.Find("Visible")->PropType().IsBoolean());
    EXPECT_EQ(table.Find("Link")->PropType().ClassType(), &TComponent::StaticClass());
    EXPECT_EQ(ClassPropRole(*table.Find("Link")), TClassPropRole::Reference);
    EXPECT_EQ(ClassPropRole(*table.Find("Font")), TClassPropRole::NestedObject);
    EXPECT_EQ(ClassPropRole(*table.Find("Items")), TClassPropRole::Collection);
}

TEST(PropertyTable, LookupIgnoresCaseAndRejectsUnknownNames) {
    TTestMemo memo(nullptr);
    for (const char* name : {"restrictions", "RESTRICTIONS", "Restrictions", "rEsTrIcTiOnS"})
        EXPECT_EQ(GetPropInfo(memo, name),
                  TTestMemo::StaticClass().Properties().Find("Restrictions"))
            << name;
    EXPECT_EQ(GetPropInfo(memo, "Restriction"), nullptr);
    EXPECT_EQ(GetPropInfo(memo, ""), nullptr);
    EXPECT_FALSE(FindPropPath(memo, "Font.Nope"));
    EXPECT_FALSE(FindPropPath(memo, "Nope.Style"));
    EXPECT_FALSE(FindPropPath(memo, "Left.Style")); // not a class property
    try {
        GetPropValue(memo, "Nope");
        FAIL() << "no exception";
    } catch (const EPropertyError& e) {
        EXPECT_STREQ(e.what(), "Property Nope does not exist");
    }
}

struct TextRow {
    const char* path;
    const char* text;     // set with SetPropText
    const char* readBack; // GetPropText afterwards
};

TEST(PropertyAccess, TextRoundTripsForEveryKind) {
    const TextRow rows[] = {
        {"HAlign", "hacenter", "haCenter"},
        {"Restrictions", "[rfDontMove, rfDontSize]", "[rfDontSize,rfDontMove]"},
        {"Restrictions", "", "[]"},
        {"Font.Style", "fsBold,fsStrikeOut", "[fsBold,fsStrikeOut]"},
        {"font.name", "宋体", "宋体"},
        {"Font.Charset", "134", "134"},
        {"Visible", "False", "False"},
        {"Left", "12.5", "12.5"},
        {"Left", "0.1", "0.1"},
        {"Color", "-16777201", "-16777201"},
        {"Letter", "Z", "Z"},
        {"WLetter", "中", "中"},
        {"Caption", "腹部超声 report", "腹部超声 report"},
        {"Value", "abc", "abc"},
        {"Big", "9000000000", "9000000000"},
        {"OnBeforePrint", "Memo1OnBeforePrint", "Memo1OnBeforePrint"},
        {"Description", "", ""},
    };
    TTestMemo memo(nullptr);
    for (const TextRow& row : rows) {
        SCOPED_TRACE(row.path);
        SetPropText(memo, row.path, row.text);
        EXPECT_EQ(GetPropText(memo, row.path), row.readBack);
    }
    EXPECT_EQ(memo.Font()->Style(), 0b1001u);
    EXPECT_EQ(memo.HAlign(), fixtures::THAlign::haCenter);
    EXPECT_EQ(memo.Caption(), u"腹部超声 report");
}

TEST(PropertyAccess, VariantValuesFollowTheKind) {
    TTestMemo memo(nullptr);
    TTestMemo target(nullptr);
    SetPropValue(memo, "HAlign", Variant(2));
    EXPECT_EQ(GetPropValue(memo, "HAlign").Kind(), VariantKind::Int32);
    EXPECT_EQ(GetPropValue(memo, "HAlign").AsInteger(), 2);
    SetPropValue(memo, "HAlign", Variant("haRight")); // names are accepted too
    EXPECT_EQ(memo.HAlign(), fixtures::THAlign::haRight);
    SetPropValue(memo, "Visible", Variant(-1));
    EXPECT_EQ(GetPropValue(memo, "Visible").Kind(), VariantKind::Bool);
    EXPECT_TRUE(GetPropValue(memo, "Visible").AsBool());
    SetPropValue(memo, "Created", Variant(45000.25));
    EXPECT_EQ(GetPropValue(memo, "Created").Kind(), VariantKind::Date);
    EXPECT_EQ(GetPropValue(memo, "Left").Kind(), VariantKind::Double);
    SetPropValue(memo, "Big", Variant(static_cast<long long>(1) << 40));
    EXPECT_EQ(GetPropValue(memo, "Big").Kind(), VariantKind::Int64);
    EXPECT_EQ(memo.Big(), std::int64_t{1} << 40);
    SetPropValue(memo, "Letter", Variant("q"));
    EXPECT_EQ(memo.Letter(), 'q');
    EXPECT_EQ(GetPropValue(memo, "Letter").AsString(), "q");
    SetOrdProp(memo, *GetPropInfo(memo, "Letter"), 0xD6); // a legacy lead byte in a char
    EXPECT_EQ(GetOrdProp(memo, *GetPropInfo(memo, "Letter")), 0xD6);
    SetPropValue(memo, "Value", Variant::Null());
    EXPECT_TRUE(GetPropValue(memo, "Value").IsNull());
    EXPECT_EQ(GetPropText(memo, "Value"), "");
    EXPECT_TRUE(GetPropValue(memo, "Caption").IsWideString());
    SetPropValue(memo, "Font.Size", Variant("14"));
    EXPECT_EQ(memo.Font()->Size(), 14);

    // Objects travel as checked handles.
    SetPropValue(memo, "Link", ObjectToVariant<TObject>(&target));
    EXPECT_EQ(memo.Link(), &target);
    EXPECT_EQ(VariantToObject<TObject>(GetPropValue(memo, "Link")), &target);
    SetPropValue(memo, "Link", Variant(0));
    EXPECT_EQ(memo.Link(), nullptr);
}

TEST(PropertyAccess, SettersKeepTheirSideEffects) {
    TTestMemo memo(nullptr);
    SetPropValue(memo, "Left", Variant(3.0));
    SetPropText(memo, "Left", "4");
    EXPECT_EQ(memo.LeftSets(), 2);
    const int before = memo.Font()->Changes();
    SetPropText(memo, "Font.Color", "255");
    EXPECT_EQ(memo.Font()->Changes(), before + 1);

    // Setting the Font object goes through SetFont: the font is copied and ParentFont
    // drops, which makes the font stored.
    TTestFont other;
    other.SetName("Tahoma");
    EXPECT_FALSE(IsStoredProp(memo, *GetPropInfo(memo, "Font")));
    SetObjectProp(memo, *GetPropInfo(memo, "Font"), &other);
    EXPECT_EQ(memo.Font()->Name(), "Tahoma");
    EXPECT_NE(memo.Font(), &other);
    EXPECT_FALSE(memo.ParentFont());
    EXPECT_TRUE(IsStoredProp(memo, *GetPropInfo(memo, "Font")));
}

TEST(PropertyAccess, EventHandlersAreSetByName) {
    TTestMemo memo(nullptr);
    const TPropInfo& onClick = *GetPropInfo(memo, "onclick");
    EXPECT_EQ(&onClick.PropType(), &GetPropInfo(memo, "OnChange")->PropType()); // one TNotifyEvent
    TObject* sender = nullptr;
    SetMethodProp(memo, onClick, TNotifyEvent([&](TObject* s) { sender = s; }));
    ASSERT_TRUE(memo.OnClick);
    memo.OnClick(&memo);
    EXPECT_EQ(sender, &memo);
    EXPECT_TRUE(std::any_cast<TNotifyEvent>(GetMethodProp(memo, onClick)));
    EXPECT_THROW(SetMethodProp(memo, onClick, std::function<void()>([] {})), EPropertyError);
    SetMethodProp(memo, onClick, std::any());
    EXPECT_FALSE(memo.OnClick);
    EXPECT_THROW(SetMethodProp(memo, *GetPropInfo(memo, "OnChange"), std::any()), EPropertyError);
}

TEST(PropertyAccess, BadValuesRaiseClearErrors) {
    TTestMemo memo(nullptr);
    TTestFont font;
    struct Bad {
        const char* path;
        const char* text;
        const char* message;
    };
    const Bad cases[] = {
        {"HAlign", "haNowhere", "Invalid property element: haNowhere"},
        {"Restrictions", "[rfDontSize,rfFly]", "Invalid property element: rfFly"},
        {"Font.Charset", "300", "Invalid property value for Charset"},
        {"Left", "twelve", "'twelve' is not a valid value for Left"},
    };
    for (const Bad& c : cases) {
        SCOPED_TRACE(c.path);
        try {
            SetPropText(memo, c.path, c.text);
            ADD_FAILURE() << "no exception";
        } catch (const Exception& e) {
            EXPECT_EQ(e.Message(), c.message);
        }
    }
    EXPECT_EQ(memo.HAlign(), fixtures::THAlign::haLeft);
    EXPECT_THROW(SetPropValue(memo, "HAlign", Variant(3)), EPropertyConvertError);
    EXPECT_THROW(SetPropValue(memo, "ObjectCount", Variant(4)), EPropertyError);
    EXPECT_THROW(GetPropValue(memo, "OnChange"), EPropertyError);
    // A reference property takes components only.
    EXPECT_THROW(SetObjectProp(memo, *GetPropInfo(memo, "Link"), &font), EPropertyError);
    EXPECT_EQ(memo.Link(), nullptr);
}

TEST(PropertyAccess, EnumAndSetTextHelpers) {
    const TTypeInfo& styles = fixtures::FontStylesType();
    EXPECT_EQ(SetToString(styles, 0b0110, true), "[fsItalic,fsUnderline]");
    EXPECT_EQ(SetToString(styles, 0), "");
    EXPECT_EQ(StringToSet(styles, " [ fsItalic , fsBold ] "), 0b0011u);
    EXPECT_EQ(StringToSet(styles, "[]"), 0u);
    EXPECT_EQ(GetEnumName(TypeInfoBoolean(), 1), "True");
    EXPECT_EQ(GetEnumName(fixtures::HAlignType(), 9), "9");
    EXPECT_EQ(GetEnumValue(fixtures::HAlignType(), "HARIGHT"), 1);
    EXPECT_EQ(GetEnumValue(fixtures::HAlignType(), "haUp"), -1);
    EXPECT_THROW(DefineSetType("TTooBig", DefineIntegerType("TBig", 0, 40)), EPropertyError);
}

// Declares no properties of its own: it shows its parent's table.
class TPlainMemo : public TTestMemo {
    LUMETRA_CLASS(TPlainMemo, TTestMemo)
public:
    using TTestMemo::TTestMemo;
};

TEST(ClassInfo, NamesParentsAndInheritance) {
    EXPECT_EQ(TPlainMemo::StaticClass().Properties().Count(),
              TTestMemo::StaticClass().Properties().Count());
    EXPECT_EQ(TTestItem::StaticClass().Properties().Count(), 3); // declared privately
    TTestMemo memo(nullptr);
    EXPECT_EQ(memo.ClassName(), "TTestMemo");
    EXPECT_EQ(memo.ClassType().ClassParent(), &TTestView::StaticClass());
    EXPECT_EQ(TTestMemo::StaticClass().Depth(), 5);
    EXPECT_TRUE(memo.InheritsFrom(TComponent::StaticClass()));
    EXPECT_TRUE(memo.Is<TTestBase>());
    EXPECT_FALSE(memo.Is<TCollection>());
    EXPECT_TRUE(TTestMemo::StaticClass().InheritsFrom("tobject"));
    EXPECT_FALSE(TTestBase::StaticClass().InheritsFrom(TTestMemo::StaticClass()));
}

TEST(ClassRegistry, CreatesByNameWithOwnerAndUnregisters) {
    RegisterClasses<TTestMemo, TTestFont>();
    RegisterClass(TTestMemo::StaticClass()); // again: no effect
    TComponent owner(nullptr);
    TPersistent* created = FindClass("ttestmemo").Create(&owner);
    ASSERT_EQ(created->ClassName(), "TTestMemo");
    EXPECT_EQ(owner.ComponentCount(), 1);
    EXPECT_EQ(owner.Components(0), created); // the owner frees it
    std::unique_ptr<TPersistent> font(GetClass("TTestFont")->Create());
    EXPECT_TRUE(font->Is<TTestFont>());

    EXPECT_FALSE(TCollection::StaticClass().CanCreate());
    EXPECT_THROW(TCollection::StaticClass().Create(), EFilerError);

    UnRegisterClass(TTestMemo::StaticClass());
    UnRegisterClass(TTestFont::StaticClass());
    EXPECT_EQ(GetClass("TTestMemo"), nullptr);
    try {
        FindClass("TTestMemo");
        FAIL() << "no exception";
    } catch (const EClassNotFound& e) {
        EXPECT_STREQ(e.what(), "Class TTestMemo not found");
    }
}

TEST(ClassRegistry, RefusesASecondClassUnderATakenName) {
    static const TClassInfo impostor("TTestView", &TComponent::StaticClass(), nullptr, nullptr,
                                     nullptr);
    RegisterClass(TTestView::StaticClass());
    EXPECT_THROW(RegisterClass(impostor), EFilerError);
    EXPECT_EQ(GetClass("TTestView"), &TTestView::StaticClass());
    UnRegisterClass(impostor); // not the registered one: no effect
    EXPECT_EQ(GetClass("TTestView"), &TTestView::StaticClass());
    UnRegisterClass(TTestView::StaticClass());
}

} // namespace
