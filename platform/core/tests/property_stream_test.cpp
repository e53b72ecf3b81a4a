#include "platform/core/property_stream.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <set>
#include <string>
#include <vector>

#include "platform/core/stream.h"
#include "platform/core/tests/property_fixtures.h"

namespace {

std::string Bytes(TMemoryStream& s) {
    return std::string(reinterpret_cast<const char*>(s.Memory()),
                       static_cast<std::size_t>(s.Size()));
}

// A stream holding the bytes of hex text, positioned at 0.
void FromHex(std::string_view hex, TMemoryStream& stream) {
    stream.Clear();
    HexToStream(hex, stream);
    stream.SetPosition(0);
}

std::string WithoutBlanks(std::string_view text) {
    std::string out;
    for (char c : text)
        if (c != ' ' && c != '\n') out += c;
    return out;
}

TStreamValue Val(TValueType type) {
    TStreamValue v;
    v.Type = type;
    return v;
}
TStreamValue Int(TValueType type, std::int64_t i) {
    TStreamValue v = Val(type);
    v.Integer = i;
    return v;
}
TStreamValue Flt(TValueType type, double d) {
    TStreamValue v = Val(type);
    v.Float = d;
    return v;
}
TStreamValue Txt(TValueType type, std::string text) {
    TStreamValue v = Val(type);
    v.Text = std::move(text);
    return v;
}

// One property of every tag, 0 to 20, with lists and a collection nested.
std::vector<TStreamProperty> EveryTag() {
    using enum TValueType;
    TStreamValue list = Val(vaList);
    list.List = {Int(vaInt8, 1), Txt(vaString, "x"), Val(vaList)};
    TStreamValue binary = Val(vaBinary);
    binary.Bytes = {0, 1, 255};
    TStreamValue set = Val(vaSet);
    set.SetElements = {"fsBold", "fsItalic"};
    TStreamValue collection = Val(vaCollection);
    collection.Items = {{{"Caption", Txt(vaString, "a")}}, {}};
    collection.ItemIndices = {-1, 4};
    TStreamValue wide = Val(vaWString);
    wide.Wide = u"宽\U0001F600";
    return {
        {"Null", Val(vaNull)},
        {"List", list},
        {"I8", Int(vaInt8, -5)},
        {"I16", Int(vaInt16, -300)},
        {"I32", Int(vaInt32, 70000)},
        {"Ext", Flt(vaExtended, 3.141592653589793)},
        {"Str", Txt(vaString, "中文 abc")},
        {"Ident", Txt(vaIdent, "haCenter")},
        {"F", Val(vaFalse)},
        {"T", Val(vaTrue)},
        {"Bin", binary},
        {"Set", set},
        {"LStr", Txt(vaLString, "long")},
        {"Nil", Val(vaNil)},
        {"Coll", collection},
        {"Sgl", Flt(vaSingle, 1.5)},
        {"Cur", Int(vaCurrency, 12345678)},
        {"Date", Flt(vaDate, 45000.5)},
        {"WStr", wide},
        {"I64", Int(vaInt64, std::int64_t{1} << 40)},
        {"U8", Txt(vaUTF8String, "ünï")},
    };
}

TEST(PropertyStream, EveryTagRoundTrips) {
    const std::vector<TStreamProperty> props = EveryTag();
    TMemoryStream first;
    ValuesToObjectBinary(props, first);
    first.SetPosition(0);
    const std::vector<TStreamProperty> decoded = ObjectBinaryToValues(first);
    ASSERT_EQ(decoded.size(), props.size());
    std::set<int> tags;
    for (std::size_t i = 0; i < props.size(); ++i) {
        SCOPED_TRACE(props[i].Name);
        EXPECT_EQ(decoded[i].Name, props[i].Name);
        EXPECT_EQ(decoded[i].Value.Type, props[i].Value.Type);
        EXPECT_EQ(decoded[i].Value.Integer, props[i].Value.Integer);
        EXPECT_EQ(decoded[i].Value.Float, props[i].Value.Float);
        EXPECT_EQ(decoded[i].Value.Text, props[i].Value.Text);
        EXPECT_EQ(decoded[i].Value.Wide, props[i].Value.Wide);
        EXPECT_EQ(decoded[i].Value.Bytes, props[i].Value.Bytes);
        EXPECT_EQ(decoded[i].Value.SetElements, props[i].Value.SetElements);
        EXPECT_EQ(decoded[i].Value.List.size(), props[i].Value.List.size());
        EXPECT_EQ(decoded[i].Value.Items.size(), props[i].Value.Items.size());
        tags.insert(static_cast<int>(decoded[i].Value.Type));
    }
    EXPECT_EQ(tags.size(), 21u);
    EXPECT_EQ(decoded[1].Value.List[1].Text, "x");
    EXPECT_EQ(decoded[14].Value.Items[0][0].Value.Text, "a");
    EXPECT_EQ(decoded[14].Value.ItemIndices, (std::vector<std::int64_t>{-1, 4}));

    TMemoryStream second;
    ValuesToObjectBinary(decoded, second);
    EXPECT_EQ(Bytes(second), Bytes(first));
}

// Items := a collection of three items, written by hand:
//   Caption "Liver", Count 3, Points (1, 1000)
//   [index 1] Caption "中文" in the legacy code page, Count 100000
//   Caption "Kid" as a long string, Count -1, Points ()
constexpr std::string_view kCollectionHex = R"(
05 4974656D73
0E
  01
    07 43617074696F6E 06 05 4C69766572
    05 436F756E74 02 03
    06 506F696E7473 01 02 01 03 E803 00
  00
  02 01
  01
    07 43617074696F6E 06 04 D6D0CEC4
    05 436F756E74 04 A0860100
  00
  01
    07 43617074696F6E 0C 03000000 4B6964
    05 436F756E74 02 FF
    06 506F696E7473 01 00
  00
00
)";

TEST(PropertyStream, HandMadeCollectionDecodesToTheExpectedValues) {
    TMemoryStream stream;
    FromHex(WithoutBlanks(kCollectionHex), stream);

    const std::vector<TStreamProperty> values = ObjectBinaryToValues(stream);
    ASSERT_EQ(values.size(), 1u);
    const TStreamValue& items = values[0].Value;
    EXPECT_EQ(values[0].Name, "Items");
    ASSERT_EQ(items.Type, TValueType::vaCollection);
    ASSERT_EQ(items.Items.size(), 3u);
    EXPECT_EQ(items.ItemIndices, (std::vector<std::int64_t>{-1, 1, -1}));
    EXPECT_EQ(items.Items[0][2].Value.List[1].Integer, 1000);
    EXPECT_EQ(items.Items[1][0].Value.Text, "中文");
    EXPECT_EQ(items.Items[2][0].Value.Type, TValueType::vaLString);

    // The same bytes read into an object: items are created and filled, defined properties
    // (Points) included.
    TTestMemo memo(nullptr);
    static_cast<TTestItem*>(memo.Items()->Add())->SetCaption("replaced");
    stream.SetPosition(0);
    TReader reader(stream);
    reader.ReadPropertiesToEnd(memo);
    ASSERT_EQ(memo.Items()->Count(), 3);
    struct Expected {
        const char* caption;
        int count;
        std::vector<int> points;
    };
    const Expected expected[] = {{"Liver", 3, {1, 1000}}, {"中文", 100000, {}}, {"Kid", -1, {}}};
    for (int i = 0; i < 3; ++i) {
        const auto* item = static_cast<const TTestItem*>(memo.Items()->Items(i));
        EXPECT_EQ(item->Caption(), expected[i].caption);
        EXPECT_EQ(item->Count(), expected[i].count);
        EXPECT_EQ(item->Points, expected[i].points);
    }
}

TEST(PropertyStream, PublishedPropertiesRoundTripThroughWriterAndReader) {
    TComponent root(nullptr);
    TTestMemo source(&root);
    SetPropText(source, "HAlign", "haRight");
    SetPropText(source, "Restrictions", "rfDontMove,rfDontDelete");
    SetPropText(source, "Font.Style", "fsItalic");
    SetPropText(source, "Font.Name", "宋体");
    source.SetParentFont(false);
    source.SetLeft(0.1);
    source.SetCreated(45123.75);
    source.SetCaption(u"中文😀");
    source.SetValue(Variant(static_cast<long long>(-5000000000)));
    source.SetBig(-2);
    source.SetColor(0x123456);
    source.SetOnBeforePrint("Memo1OnBeforePrint");
    auto* item = static_cast<TTestItem*>(source.Items()->Add());
    item->SetCaption("one");
    item->Points = {7, -70000};
    item->Blob = {0, 0xFF, 0x10};

    TMemoryStream stream;
    TWriter writer(stream);
    writer.SetRoot(&root);
    writer.WriteProperties(source);

    TTestMemo copy(nullptr);
    stream.SetPosition(0);
    TReader reader(stream);
    reader.ReadPropertiesToEnd(copy);
    for (const TPropInfo* info : TTestMemo::StaticClass().Properties()) {
        if (info->Kind() == TTypeKind::tkMethod || info->Kind() == TTypeKind::tkClass) continue;
        if (!info->IsStored(source)) continue;
        SCOPED_TRACE(info->Name());
        EXPECT_EQ(GetPropText(copy, info->Name()), GetPropText(source, info->Name()));
    }
    EXPECT_EQ(copy.Font()->Name(), "宋体");
    EXPECT_EQ(copy.Font()->Style(), 2u);
    EXPECT_EQ(GetPropValue(copy, "Value").Kind(), VariantKind::Int64);
    ASSERT_EQ(copy.Items()->Count(), 1);
    EXPECT_EQ(static_cast<TTestItem*>(copy.Items()->Items(0))->Points, item->Points);
    EXPECT_EQ(static_cast<TTestItem*>(copy.Items()->Items(0))->Blob, item->Blob);
}

TEST(PropertyStream, WritesOnlyWhatDiffersFromTheDefaults) {
    TTestMemo fresh(nullptr);
    TMemoryStream stream;
    TWriter(stream).WriteProperties(fresh);
    stream.SetPosition(0);
    std::vector<std::string> names;
    for (const TStreamProperty& p : ObjectBinaryToValues(stream))
        names.push_back(p.Name);
    // Floats and properties without a default always; Tag (0, default 7) and Visible (True,
    // default False) differ; Font is not stored while ParentFont is set; Name never.
    EXPECT_EQ(names, (std::vector<std::string>{"Left", "Created", "Letter", "WLetter", "Tag",
                                               "Items", "Visible"}));
}

TEST(PropertyStream, ComponentReferenceIsResolvedAfterItsTargetIsRead) {
    TComponent root(nullptr);
    root.SetName("Report1");
    auto* memo = new TTestMemo(&root);
    memo->SetName("Memo1");
    TComponent elsewhere(nullptr);
    elsewhere.SetName("Form2");
    auto* remote = new TComponent(&elsewhere);
    remote->SetName("Edit1");
    SetFindGlobalComponent([&](std::string_view name) -> TComponent* {
        return name == "Form2" ? &elsewhere : nullptr;
    });

    TMemoryStream stream;
    {
        TWriter w(stream);
        w.WriteStr("Link");
        w.WriteIdent("Target");
        w.WriteStr("Items");
        w.WriteValue(TValueType::vaCollection);
        for (const char* link : {"Owner", "Form2.Edit1", "Missing"}) {
            w.WriteListBegin();
            w.WriteStr("Link");
            w.WriteIdent(link);
            w.WriteListEnd();
        }
        w.WriteListEnd();
    }
    stream.SetPosition(0);
    TReader reader(stream);
    reader.SetRoot(&root);
    reader.BeginReferences();
    reader.ReadPropertiesToEnd(*memo);
    EXPECT_EQ(memo->Link(), nullptr); // Target does not exist yet
    EXPECT_EQ(reader.PendingFixups(), 4);

    auto* target = new TComponent(&root);
    target->SetName("Target");
    reader.FixupReferences();
    reader.EndReferences();
    SetFindGlobalComponent(nullptr);

    EXPECT_EQ(memo->Link(), target);
    EXPECT_EQ(static_cast<TTestItem*>(memo->Items()->Items(0))->Link(), &root);
    EXPECT_EQ(static_cast<TTestItem*>(memo->Items()->Items(1))->Link(), remote);
    EXPECT_EQ(static_cast<TTestItem*>(memo->Items()->Items(2))->Link(), nullptr);

    // Written back, references are named against the root.
    TMemoryStream out;
    TWriter writer(out);
    writer.SetRoot(&root);
    writer.WriteProperties(*memo);
    out.SetPosition(0);
    const auto values = ObjectBinaryToValues(out);
    std::vector<std::string> links;
    for (const auto& p : values)
        if (p.Name == "Link")
            links.push_back(p.Value.Text);
        else if (p.Name == "Items")
            for (const auto& it : p.Value.Items)
                for (const auto& q : it)
                    if (q.Name == "Link") links.push_back(q.Value.Text);
    EXPECT_EQ(links, (std::vector<std::string>{"Target", "Owner", "Form2.Edit1"}));
}

TEST(PropertyStream, RereadCollectionDropsReferencesOfItsFreedItems) {
    TComponent root(nullptr);
    auto* memo = new TTestMemo(&root);
    auto* target = new TComponent(&root);
    target->SetName("Target");
    TMemoryStream stream;
    {
        TWriter w(stream);
        w.WriteStr("Items");
        w.WriteValue(TValueType::vaCollection);
        w.WriteListBegin();
        w.WriteStr("Link");
        w.WriteIdent("Target");
        w.WriteListEnd();
        w.WriteListEnd();
    }
    TReader reader(stream);
    reader.SetRoot(&root);
    reader.BeginReferences();
    for (int pass = 0; pass < 2; ++pass) {
        stream.SetPosition(0);
        reader.ReadProperty(*memo);
    }
    EXPECT_EQ(reader.PendingFixups(), 1);
    reader.FixupReferences(); // ASan: the first pass's item is gone
    EXPECT_EQ(static_cast<TTestItem*>(memo->Items()->Items(0))->Link(), target);
}

TEST(PropertyStream, StringsUseTheLegacyCodePageUnlessTheyCannot) {
    TMemoryStream stream;
    TWriter writer(stream);
    writer.WriteString("中文");
    writer.WriteString("😀");
    writer.WriteString(std::string(256, 'a'));
    EXPECT_EQ(StreamToHex(stream).substr(0, 24), "0604D6D0CEC412020000003D");
    stream.SetPosition(0);
    TReader reader(stream);
    EXPECT_EQ(reader.ReadString(), "中文");
    EXPECT_EQ(reader.ReadString(), "😀");
    EXPECT_EQ(reader.NextValue(), TValueType::vaLString);
    EXPECT_EQ(reader.ReadString(), std::string(256, 'a'));
    EXPECT_TRUE(reader.AtEnd());
}

// A value the format cannot hold raises before any of its bytes reach the stream.
TEST(PropertyStream, RefusedValuesLeaveTheStreamAsItWas) {
    TMemoryStream stream;
    TWriter writer(stream);
    EXPECT_THROW(writer.WriteIdent(std::string(256, 'a')), EWriteError);
    TStreamValue shortString;
    shortString.Type = TValueType::vaString;
    shortString.Text = std::string(300, 'b');
    EXPECT_THROW(WriteStreamValue(writer, shortString), EWriteError);
    EXPECT_EQ(stream.Size(), 0);
}

TEST(ExtendedFloat, DoublesConvertBothWaysWithoutLoss) {
    const double values[] = {0.0,
                             -0.0,
                             1.0,
                             -1.0,
                             0.1,
                             12.5,
                             3.141592653589793,
                             1e300,
                             -1e-300,
                             std::numeric_limits<double>::max(),
                             std::numeric_limits<double>::min(),
                             std::numeric_limits<double>::denorm_min(),
                             std::numeric_limits<double>::infinity(),
                             -std::numeric_limits<double>::infinity()};
    for (double v : values) {
        std::uint8_t x[10];
        DoubleToExtended(v, x);
        const double back = ExtendedToDouble(x);
        EXPECT_EQ(std::memcmp(&back, &v, sizeof v), 0) << v;
    }
    std::uint8_t nan[10];
    DoubleToExtended(std::numeric_limits<double>::quiet_NaN(), nan);
    EXPECT_TRUE(std::isnan(ExtendedToDouble(nan)));

    struct Known {
        double value;
        std::uint8_t bytes[10];
    };
    const Known known[] = {
        {1.0, {0, 0, 0, 0, 0, 0, 0, 0x80, 0xFF, 0x3F}},
        {-2.0, {0, 0, 0, 0, 0, 0, 0, 0x80, 0x00, 0xC0}},
        {0.1, {0x00, 0xD0, 0xCC, 0xCC, 0xCC, 0xCC, 0xCC, 0xCC, 0xFB, 0x3F}},
    };
    for (const Known& k : known) {
        std::uint8_t x[10];
        DoubleToExtended(k.value, x);
        EXPECT_EQ(std::memcmp(x, k.bytes, 10), 0) << k.value;
    }
    // 0.1 as the x87 unit holds it (64 significant bits) rounds to the nearest double.
    const std::uint8_t x87Tenth[10] = {0xCD, 0xCC, 0xCC, 0xCC, 0xCC, 0xCC, 0xCC, 0xCC, 0xFB, 0x3F};
    EXPECT_EQ(ExtendedToDouble(x87Tenth), 0.1);
    // Beyond the double range.
    const std::uint8_t huge[10] = {0, 0, 0, 0, 0, 0, 0, 0x80, 0xFE, 0x7F};
    EXPECT_TRUE(std::isinf(ExtendedToDouble(huge)));
}

TEST(PropertyStream, TruncatedStreamsRaiseAndNeverReadPastTheEnd) {
    TMemoryStream full;
    ValuesToObjectBinary(EveryTag(), full);
    const std::string bytes = Bytes(full);
    for (std::size_t cut = 0; cut < bytes.size(); ++cut) {
        SCOPED_TRACE(cut);
        TMemoryStream part;
        part.WriteBuffer(bytes.data(), static_cast<std::int64_t>(cut));
        part.SetPosition(0);
        try {
            const auto values = ObjectBinaryToValues(part);
            // Only a cut between two properties reads cleanly.
            TMemoryStream again;
            ValuesToObjectBinary(values, again);
            EXPECT_EQ(Bytes(again), bytes.substr(0, cut));
        } catch (const EReadError&) {
        }
    }

    // The same for a reader filling an object.
    TTestMemo source(nullptr);
    static_cast<TTestItem*>(source.Items()->Add())->Points = {1, 2};
    TMemoryStream objectBytes;
    TWriter(objectBytes).WriteProperties(source);
    const std::string objectData = Bytes(objectBytes);
    int failures = 0;
    for (std::size_t cut = 1; cut < objectData.size(); ++cut) {
        TMemoryStream part;
        part.WriteBuffer(objectData.data(), static_cast<std::int64_t>(cut));
        part.SetPosition(0);
        TTestMemo target(nullptr);
        TReader reader(part);
        try {
            reader.ReadPropertiesToEnd(target);
        } catch (const EReadError&) {
            ++failures;
        }
    }
    EXPECT_GT(failures, 0);
}

TEST(PropertyStream, BadBytesRaiseClearErrors) {
    struct Case {
        const char* name;
        const char* hex;
        const char* message;
    };
    const Case cases[] = {
        {"unknown tag", "044C65667415", "Unknown value type 21 at offset 5 of the property stream"},
        {"huge long string", "0444657363 0CFFFFFF7F41",
         "Truncated value: 2147483647 bytes needed, 1 left at offset 10 of the property stream"},
        {"negative length", "0444657363 0A00000080",
         "Negative length -2147483648 at offset 10 of the property stream"},
        {"name cut short", "0A4C65",
         "Truncated value: 10 bytes needed, 2 left at offset 1 of the property stream"},
        {"unended list", "044C656674 01 0201",
         "Truncated value: 1 bytes needed, 0 left at offset 8 of the property stream"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TMemoryStream stream;
        FromHex(WithoutBlanks(c.hex), stream);
        try {
            ObjectBinaryToValues(stream);
            ADD_FAILURE() << "no exception";
        } catch (const EReadError& e) {
            EXPECT_STREQ(e.what(), c.message);
        }
    }

    // Lists nested without end are refused before the stack runs out.
    TMemoryStream deep;
    std::string nested = "044C656674";
    for (int i = 0; i < 5000; ++i)
        nested += "01";
    FromHex(nested, deep);
    EXPECT_THROW(ObjectBinaryToValues(deep), EReadError);

    // An unknown property is skipped, then reported.
    TMemoryStream unknown;
    FromHex("044E6F7065"
            "0203"
            "0443617074",
            unknown);
    TTestMemo memo(nullptr);
    TReader reader(unknown);
    try {
        reader.ReadProperty(memo);
        FAIL() << "no exception";
    } catch (const EReadError& e) {
        EXPECT_STREQ(e.what(), "Property Nope does not exist");
    }
    EXPECT_EQ(unknown.Position(), 7);
}

TEST(HexText, StreamToHexAndBack) {
    TMemoryStream stream;
    const std::uint8_t data[] = {10, 255};
    stream.WriteBuffer(data, 2);
    EXPECT_EQ(StreamToHex(stream), "0AFF");
    EXPECT_EQ(stream.Position(), 2);

    struct Case {
        const char* hex;
        const char* bytesHex;
    };
    const Case cases[] = {{"0aff", "0AFF"}, {"ABC", "AB"}, {"0AFx12", "0A"}, {"", ""}};
    for (const Case& c : cases) {
        TMemoryStream s;
        HexToStream(c.hex, s);
        EXPECT_EQ(StreamToHex(s), c.bytesHex) << c.hex;
    }
    // Written at position 0 without truncating what follows.
    TMemoryStream s;
    const std::uint8_t four[] = {1, 2, 3, 4};
    s.WriteBuffer(four, 4);
    HexToStream("FF", s);
    EXPECT_EQ(StreamToHex(s), "FF020304");
}

} // namespace
