#include "script/xml_document.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/core/exception.h"
#include "platform/core/stream.h"

namespace {

const std::string kDecl = "<?xml version=\"1.0\"?>";

std::unique_ptr<TksXMLDocument> Load(const std::string& body) {
    auto doc = std::make_unique<TksXMLDocument>();
    doc->LoadFromText(kDecl + body);
    return doc;
}

std::string Saved(const std::string& body) {
    return Load(body)->SaveToText();
}

void ExpectInvalid(TksXMLDocument& doc, const std::string& text) {
    try {
        doc.LoadFromText(text);
        ADD_FAILURE() << "no error for " << text;
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), "Invalid file format") << text;
    }
}

} // namespace

TEST(TksXMLDocument, ReadsElementsAttributesAndEndMarks) {
    auto doc = Load("<a x=\"1\" y=\"2\">text<b/><c z=\"3\"/><d w=\"4\" /></a>");
    TksXMLItem* a = doc->Root();
    EXPECT_EQ(a->Name(), "a");
    EXPECT_EQ(a->Text(), "x=\"1\" y=\"2\"");
    ASSERT_EQ(a->Count(), 3);
    EXPECT_EQ(a->Items(0)->Name(), "b");
    EXPECT_EQ(a->Items(1)->Text(), "z=\"3\"");  // "/" directly after the value is dropped
    EXPECT_EQ(a->Items(2)->Text(), "w=\"4\" "); // a blank before "/" stays
    EXPECT_EQ(a->Items(2)->Parent(), a);
    EXPECT_EQ(a->Items(2)->Root(), a);
    // Character data is lost; empty items are written self-closed.
    EXPECT_EQ(doc->SaveToText(), kDecl + "<a x=\"1\" y=\"2\"><b/><c z=\"3\"/><d w=\"4\" /></a>");
    EXPECT_EQ(Saved("<a>text<b/></a>"), kDecl + "<a><b/></a>");
}

TEST(TksXMLDocument, ClosingTagsAndComments) {
    EXPECT_EQ(Saved("<a><b><c/>"), kDecl + "<a><b><c/></b></a>"); // missing closers accepted
    EXPECT_EQ(Saved("<a><b></B></A>"), kDecl + "<a><b/></a>");    // case-insensitive
    EXPECT_EQ(Saved("<!-- x --><a><!-- <y> --><b/></a>"), kDecl + "<a><b/></a>");
    // "--->" does not end a comment: the element inside it is skipped with it.
    EXPECT_EQ(Saved("<a><!-- x ---><c/> --><b/></a>"), kDecl + "<a><b/></a>");
    TksXMLDocument doc;
    ExpectInvalid(doc, kDecl + "<a></b>");
    ExpectInvalid(doc, "<a/>");            // no declaration
    ExpectInvalid(doc, kDecl + "<a <b/>"); // "<" inside a tag
}

TEST(TksXMLDocument, TruncatedDocumentKeepsWhatWasRead) {
    TksXMLDocument doc;
    ExpectInvalid(doc, kDecl + "<a><b x=\"1\"/><c><d/><e y=\"2");
    TksXMLItem* a = doc.Root();
    EXPECT_EQ(a->Name(), "a");
    ASSERT_GE(a->Count(), 2);
    EXPECT_EQ(a->Items(0)->Text(), "x=\"1\"");
    EXPECT_EQ(a->Items(1)->Name(), "c");
    ASSERT_GE(a->Items(1)->Count(), 1);
    EXPECT_EQ(a->Items(1)->Items(0)->Name(), "d");
}

TEST(TksXMLDocument, StreamsFilesAndIndentedOutput) {
    std::string big;
    for (int i = 0; i < 2000; ++i)
        big += "<i n=\"" + std::to_string(i) + "\"/>";
    TStringStream in("junk" + kDecl + "<a>" + big + "</a>tail");
    in.Seek(4, TSeekOrigin::soBeginning);
    TksXMLDocument doc;
    doc.LoadFromStream(in);
    EXPECT_EQ(doc.Root()->Count(), 2000);
    EXPECT_EQ(doc.Root()->Items(1999)->Prop("n"), "1999");
    // The stream is left just after the last character read, though the buffer read further.
    EXPECT_EQ(in.ReadString(4), "tail");

    TStringStream out;
    doc.SaveToStream(out);
    EXPECT_EQ(out.DataString(), kDecl + "<a>" + big + "</a>");

    auto small = Load("<a><b c=\"1\"/></a>");
    small->SetIndentOutput(true);
    EXPECT_EQ(small->SaveToText(), kDecl + "\r\n<a>\r\n  <b c=\"1\"/>\r\n</a>\r\n");

    auto path =
        std::filesystem::temp_directory_path() /
        ("ks_xml_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + ".xml");
    small->SaveToFile(path.string());
    TksXMLDocument back;
    back.LoadFromFile(path.string());
    EXPECT_EQ(back.Root()->Items(0)->Prop("c"), "1");
    std::filesystem::remove(path);
    EXPECT_THROW(back.LoadFromFile(path.string()), EFOpenError);
}

TEST(TksXMLItem, PropReadsAndWrites) {
    TksXMLItem item;
    item.SetText("myname=\"1\" name=\"2\"");
    EXPECT_EQ(item.Prop("name"), "2");
    EXPECT_EQ(item.Prop("NAME"), "2");
    item.SetText("name = \"2\"");
    EXPECT_EQ(item.Prop("name"), "");
    item.SetText("a=\"x&#60;y&quot;\"");
    EXPECT_EQ(item.Prop("a"), "x<y\"");

    item.SetText("");
    item.SetProp("a", "1");
    item.SetProp("b", "<\"");
    EXPECT_EQ(item.Text(), "a=\"1\" b=\"&#60;&#34;\"");
    item.SetProp("A", "22"); // replaced in place, spelled as written now
    EXPECT_EQ(item.Text(), "A=\"22\" b=\"&#60;&#34;\"");
    EXPECT_EQ(item.Prop("b"), "<\"");
}

TEST(TksXMLItem, TreeOperations) {
    TksXMLItem root;
    TksXMLItem* a = root.Add();
    a->SetName("a");
    EXPECT_EQ(root.Find("A"), 0);
    EXPECT_EQ(root.Find("b"), -1);
    TksXMLItem* b = root.FindItem("b"); // grows the tree
    EXPECT_EQ(root.Count(), 2);
    EXPECT_EQ(b->Name(), "b");
    EXPECT_EQ(root.FindItem("B"), b);

    TksXMLItem other;
    other.AddItem(a); // moved, not copied
    EXPECT_EQ(root.Count(), 1);
    EXPECT_EQ(a->Parent(), &other);
    root.InsertItem(0, a);
    EXPECT_EQ(root.Items(0), a);
    EXPECT_EQ(other.Count(), 0);
    EXPECT_THROW(root.Items(2), EListError);
    EXPECT_THROW(root.InsertItem(5, other.Add()), EListError);

    a->Add()->SetName("x");
    a->SetData(7);
    TksXMLItem copy;
    copy.Assign(a);
    EXPECT_EQ(copy.Name(), "a");
    EXPECT_EQ(copy.Data(), 7);
    ASSERT_EQ(copy.Count(), 1);
    EXPECT_EQ(copy.Items(0)->Name(), "x");
    EXPECT_NE(copy.Items(0), a->Items(0));

    delete b; // leaves its parent's list
    EXPECT_EQ(root.Count(), 1);
    root.Clear();
    EXPECT_EQ(root.Count(), 0);
}

TEST(TksXMLText, EscapeAndUnescape) {
    struct Case {
        const char* value;
        const char* escaped;
    };
    // Every ampersand is escaped, so a value that looks like a reference comes back unchanged.
    for (Case c : {Case{"a&b", "a&#38;b"},
                   {"\"", "&#34;"},
                   {"a<b", "a&#60;b"},
                   {"x>", "x&#62;"},
                   {"\r\n", "&#13;&#10;"},
                   {"&quot;", "&#38;quot;"},
                   {"&#65;&#x41;&#1114112;", "&#38;#65;&#38;#x41;&#38;#1114112;"}}) {
        EXPECT_EQ(EscapeXMLText(c.value), c.escaped) << c.value;
        EXPECT_EQ(UnescapeXMLText(c.escaped), c.value);
    }
    EXPECT_EQ(UnescapeXMLText("x&quot;y"), "x\"y");
    EXPECT_EQ(UnescapeXMLText("&#60;&#62;"), "<>");
    EXPECT_EQ(UnescapeXMLText("&#$41;"), "A");
    EXPECT_EQ(UnescapeXMLText("a&#60"), "a&#60"); // no ";": left as it is
    EXPECT_EQ(UnescapeXMLText("&#"), "&#");
    EXPECT_THROW(UnescapeXMLText("&#6x;"), EConvertError);
    // References above the basic plane are one character; those that name none are errors, not
    // bytes that are no UTF-8.
    EXPECT_EQ(UnescapeXMLText("&#233;&#128512;"), "\xC3\xA9\xF0\x9F\x98\x80");
    EXPECT_THROW(UnescapeXMLText("&#55296;"), EEncodingError);
    EXPECT_THROW(UnescapeXMLText("&#1114112;"), EEncodingError);
    EXPECT_THROW(UnescapeXMLText("&#-1;"), EEncodingError);
}

TEST(TksXMLDocument, DeepNestingNeedsNoDeepStack) {
    std::string text = kDecl;
    for (int i = 0; i < 50000; ++i)
        text += "<a>";
    TksXMLDocument doc;
    doc.LoadFromText(text);
    std::string saved = doc.SaveToText();
    EXPECT_EQ(saved.size(), kDecl.size() + 49999 * 7 + 4);
    TksXMLItem copy;
    copy.Assign(doc.Root());
}
