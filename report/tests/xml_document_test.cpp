#include "report/xml_document.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <random>

#include "platform/core/date_time.h"
#include "platform/core/format.h"
#include "platform/core/safe_file.h"
#include "platform/core/stream.h"
#include "platform/core/variant.h"

namespace {

std::string save(TpgwXMLDocument& doc) {
    TStringStream out;
    doc.SaveToStream(out);
    return out.DataString();
}

void load(TpgwXMLDocument& doc, std::string_view text) {
    TStringStream in{std::string(text)};
    doc.LoadFromStream(in);
}

struct TempFolder {
    std::filesystem::path path;
    TempFolder() {
        path =
            std::filesystem::temp_directory_path() / ("xmldoc_test_" + std::to_string(::getpid()) +
                                                      "_" + std::to_string(std::random_device{}()));
        std::filesystem::create_directories(path);
    }
    ~TempFolder() { std::filesystem::remove_all(path); }
    size_t fileCount() const {
        return static_cast<size_t>(std::distance(std::filesystem::directory_iterator(path), {}));
    }
};

TEST(XmlEscape, EncodeTable) {
    struct Case {
        std::string in, out;
    };
    const Case cases[] = {
        {"a<b", "a&#60;b"},
        {"&quot;", "&#34;"},
        {"R&D", "R&#38;D"},
        {"R&D and a much longer text beyond thirty-two characters",
         "R&#38;D and a much longer text beyond thirty-two characters"},
        {"line\r\nnext \"q\" >", "line&#13;&#10;next &#34;q&#34; &#62;"},
        {"tab\t'apos' \xE4\xB8\xAD", "tab\t'apos' \xE4\xB8\xAD"},
        {"x&quot;y&quo", "x&#34;y&#38;quo"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(EncodeXMLText(c.in), c.out) << c.in;
}

TEST(XmlEscape, DecodeTable) {
    struct Case {
        std::string in, out;
    };
    const Case cases[] = {
        {"&#65;&amp;&lt;&gt;", "A&<>"},
        {"&quot;", "\""},
        {"&#38;lt;", "&lt;"}, // a decoded "&" is not decoded again
        {"a&", "a&"},
        {"&#;x", "&#;x"},                                 // no digits: left alone below
        {"&#20013;&#25991;", "\xE4\xB8\xAD\xE6\x96\x87"}, // above 255: the character itself
        {"&#233;", "\xE9"}, // up to 255: that byte, as stored 8-bit files expect
        {"&#65", "&#65"},   // no terminator anywhere: kept as it stands
        {"&apos; &unknown;", "&apos; &unknown;"},
    };
    for (const auto& c : cases) {
        if (c.in == "&#;x") {
            EXPECT_THROW(DecodeXMLText(c.in), EConvertError);
            continue;
        }
        EXPECT_EQ(DecodeXMLText(c.in), c.out) << c.in;
    }
    EXPECT_THROW(DecodeXMLText("&#x41;"), EConvertError);
    EXPECT_THROW(DecodeXMLText("&#99999999999;"), EConvertError);
    EXPECT_THROW(DecodeXMLText("&#55296;"), EConvertError); // a lone surrogate
    for (std::string s : {"a<b>&\"\r\n", "&quot;x", "plain"})
        EXPECT_EQ(DecodeXMLText(EncodeXMLText(s)), s == "&quot;x" ? "\"x" : s);
}

TEST(XmlEscape, ValueToXMLText) {
    FormatSettings().DecimalSeparator = ',';
    EXPECT_EQ(ValueToXMLText(Variant(2.5)), "2,5");
    FormatSettings().DecimalSeparator = '.';
    EXPECT_EQ(ValueToXMLText(Variant(-7)), "-7");
    EXPECT_EQ(ValueToXMLText(Variant(5000000000LL)), "5000000000");
    EXPECT_EQ(ValueToXMLText(Variant(true)), "1");
    EXPECT_EQ(ValueToXMLText(Variant(false)), "0");
    EXPECT_EQ(ValueToXMLText(Variant("a<\"b\"")), "a&#60;&#34;b&#34;");
    EXPECT_EQ(ValueToXMLText(Variant()), "");
    EXPECT_EQ(ValueToXMLText(Variant::Null()), "");
    EXPECT_EQ(ValueToXMLText(Variant::FromDate(EncodeDate(2026, 12, 10))),
              DateToStr(EncodeDate(2026, 12, 10)));
}

TEST(XmlItem, PropertiesKeepOrderAndIgnoreCase) {
    TpgwXMLItem item;
    item.SetText("a=\"1\" Name=\"x&#38;y\" b=\"2\"");
    EXPECT_EQ(item.Prop("NAME"), "x&y");
    EXPECT_EQ(item.Prop("missing"), "");
    EXPECT_EQ(item.Prop("ame"), ""); // only whole names match
    item.SetProp("A", "<v>");
    EXPECT_EQ(item.Text(), "A=\"&#60;v&#62;\" Name=\"x&#38;y\" b=\"2\"");
    item.SetProp("c", "3");
    EXPECT_EQ(item.Text(), "A=\"&#60;v&#62;\" Name=\"x&#38;y\" b=\"2\" c=\"3\"");
    TpgwXMLItem empty;
    empty.SetProp("k", "v");
    EXPECT_EQ(empty.Text(), "k=\"v\"");
    TpgwXMLItem open;
    open.SetText("k=\"unterminated");
    EXPECT_EQ(open.Prop("k"), "");
}

TEST(XmlItem, TreeOperations) {
    TpgwXMLItem root;
    TpgwXMLItem* a = root.Add();
    a->SetName("a");
    TpgwXMLItem* b = root.FindItem("B");
    EXPECT_EQ(root.Count(), 2);
    EXPECT_EQ(root.FindItem("A"), a);
    EXPECT_EQ(root.Find("b"), 1);
    root.AddItem(a); // re-adding moves it to the end
    EXPECT_EQ(root.IndexOf(a), 1);
    TpgwXMLItem other;
    other.AddItem(b);
    EXPECT_EQ(root.Count(), 1);
    EXPECT_EQ(b->Parent(), &other);
    auto* c = new TpgwXMLItem;
    root.InsertItem(0, c);
    EXPECT_EQ(root.IndexOf(c), 0);
    delete c; // leaves its parent's list
    EXPECT_EQ(root.Count(), 1);
    EXPECT_THROW(root.Items(5), EListError);
    a->SetOffset(0x12'3456'789AULL);
    EXPECT_EQ(a->Offset(), 0x12'3456'789AULL);
}

TEST(XmlWriter, OneLineAndIndentedForms) {
    TpgwXMLDocument doc;
    TpgwXMLItem* root = doc.Root();
    root->SetName("report");
    root->SetText("v=\"1\"");
    root->SetValue("ignored because of children");
    root->Add()->SetName("empty");
    TpgwXMLItem* valued = root->Add();
    valued->SetName("val");
    valued->SetValue("text");
    TpgwXMLItem* page = root->Add();
    page->SetName("page");
    page->SetText(" a=\"2\"");
    page->SetUnloadable(true);
    page->Add()->SetName("obj");
    EXPECT_EQ(save(doc),
              "<?xml version=\"1.0\" encoding=\"utf-8\"?><report v=\"1\"><empty/><val>text</val>"
              "<page a=\"2\" ld=\"0\"><obj/></page></report>");
    doc.SetIndentOutput(true);
    EXPECT_EQ(save(doc),
              "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<report v=\"1\">\r\n  <empty/>\r\n"
              "  <val>text</val>\r\n  <page a=\"2\" ld=\"0\">\r\n    <obj/>\r\n  "
              "</page>\r\n</report>\r\n");
}

TEST(XmlReader, ReadsTagsCommentsAndSelfClosingForms) {
    TpgwXMLDocument doc;
    load(doc, "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<!-- a <comment> -->"
              "<root x=\"1\">text is dropped<a/><b k=\"v\" /><!----><c>inner<d/></C "
              "><e\tf=\"g\"/></root>trailing");
    const TpgwXMLItem* root = doc.Root();
    EXPECT_TRUE(doc.LegacyText());
    EXPECT_EQ(root->Name(), "root");
    EXPECT_EQ(root->Prop("x"), "1");
    ASSERT_EQ(root->Count(), 4);
    EXPECT_EQ(root->Items(0)->Name(), "a");
    EXPECT_EQ(root->Items(1)->Text(), "k=\"v\" "); // the blank before the slash stays
    EXPECT_EQ(root->Items(1)->Count(), 0);
    EXPECT_EQ(root->Items(2)->Count(), 1);
    EXPECT_EQ(root->Items(3)->Name(), "e\tf=\"g\""); // only blanks separate

    for (const char* header :
         {"<?xml version=\"1.0\" standalone=\"yes\"?>", "<?xml version=\"1.1\"?>"}) {
        load(doc, std::string(header) + "<r/>");
        EXPECT_FALSE(doc.LegacyText()) << header;
    }
}

TEST(XmlReader, MalformedInputRaisesWithPosition) {
    struct Case {
        const char* name;
        std::string xml;
        std::int64_t position;
    };
    const std::string h = "<?xml version=\"1.0\"?>"; // 21 bytes
    const Case cases[] = {
        {"no declaration", "<root/>", 7},
        {"empty input", "", 0},
        {"lt inside tag", h + "<root <a/>", 27},
        {"ends inside tag", h + "<root><a x=\"1", 34},
        {"ends inside comment", h + "<root><!-- never closed", 44},
        {"mismatched end tag", h + "<root><a></b></root>", 34},
        {"truncated element", h + "<root><a><b/>", 34},
        {"no root element", h + "   ", 24},
        {"empty tag", h + "<root><></root>", 29},
    };
    for (const auto& c : cases) {
        TpgwXMLDocument doc;
        try {
            load(doc, c.xml);
            ADD_FAILURE() << c.name << ": no exception";
        } catch (const TpgwInvalidXMLException& e) {
            EXPECT_STREQ(e.what(), "Invalid file format") << c.name;
            EXPECT_EQ(e.Position(), c.position) << c.name;
        }
    }
}

TEST(XmlReader, NestingBeyondTheLimitIsMalformed) {
    std::string xml = "<?xml version=\"1.0\"?>";
    for (int i = 0; i < TpgwXMLReader::kMaxDepth + 5; ++i)
        xml += "<a>";
    TpgwXMLDocument doc;
    EXPECT_THROW(load(doc, xml), TpgwInvalidXMLException);
}

TEST(XmlReader, ReaderLeavesStreamAfterConsumedBytes) {
    TStringStream in{"<a><b/></a><next/>"};
    {
        TpgwXMLReader reader(in);
        TpgwXMLItem item;
        ASSERT_TRUE(reader.ReadRootItem(item, true));
        EXPECT_EQ(item.Count(), 1);
    }
    EXPECT_EQ(in.Position(), 11);
}

// A document with unloadable pages, written with ld="0" markers.
std::string pagedDocument(int pages, int objects) {
    TpgwXMLDocument doc;
    doc.Root()->SetName("preparedreport");
    for (int p = 0; p < pages; ++p) {
        TpgwXMLItem* page = doc.Root()->Add();
        page->SetName("page");
        page->SetProp("n", std::to_string(p));
        page->SetUnloadable(true);
        for (int o = 0; o < objects; ++o) {
            TpgwXMLItem* obj = page->Add();
            obj->SetName("m");
            obj->SetProp("t", "page " + std::to_string(p) + " \"obj\" " + std::to_string(o));
        }
    }
    return save(doc);
}

TEST(XmlSwap, PartialLoadLeavesMarkedChildrenOnTheStream) {
    const std::string text = pagedDocument(3, 4);
    TpgwXMLDocument doc;
    doc.LoadFromStream(std::make_unique<TStringStream>(text), true);
    TpgwXMLItem* page = doc.Root()->Items(1);
    EXPECT_TRUE(page->Unloadable());
    EXPECT_FALSE(page->Loaded());
    EXPECT_EQ(page->Count(), 0);
    EXPECT_EQ(page->Text(), "n=\"1\"");
    doc.LoadItem(page);
    EXPECT_TRUE(page->Loaded());
    ASSERT_EQ(page->Count(), 4);
    EXPECT_EQ(page->Items(3)->Prop("t"), "page 1 \"obj\" 3");
    // Saving writes every page in full, and those still unloaded stay unloaded.
    EXPECT_EQ(save(doc), text);
    EXPECT_FALSE(doc.Root()->Items(0)->Loaded());
}

TEST(XmlSwap, UnloadAndLoadRoundTripThroughTheSwapFile) {
    TempFolder tmp;
    TpgwXMLDocument doc;
    doc.SetTempDir(tmp.path.string());
    TStringStream in{pagedDocument(4, 3)};
    doc.LoadFromStream(in); // full load: pages in memory, still marked unloadable
    const std::string before = save(doc);
    TpgwXMLItem* page = doc.Root()->Items(2);
    page->SetProp("n", "changed after load");
    doc.UnloadItem(page);
    EXPECT_EQ(tmp.fileCount(), 1u);
    EXPECT_FALSE(page->Loaded());
    EXPECT_EQ(page->Count(), 0);
    doc.UnloadItem(doc.Root()->Items(0));
    doc.UnloadItem(page); // already unloaded: nothing happens
    const std::string withUnloaded = save(doc);
    EXPECT_EQ(withUnloaded.find("changed after load") != std::string::npos, true);
    EXPECT_FALSE(page->Loaded());
    doc.LoadItem(page);
    ASSERT_EQ(page->Count(), 3);
    EXPECT_EQ(page->Prop("n"), "changed after load");
    EXPECT_EQ(page->Items(1)->Prop("t"), "page 2 \"obj\" 1");
    // Unloading again appends; the document still reads back the same.
    doc.UnloadItem(page);
    doc.LoadItem(page);
    page->SetProp("n", "2");
    EXPECT_EQ(save(doc), before);
    doc.Clear();
    EXPECT_EQ(tmp.fileCount(), 0u);
}

TEST(XmlSwap, LargeDocumentSwappedOutPageByPage) {
    TempFolder tmp;
    const std::string text = pagedDocument(300, 40); // about 1.5 MB: offsets cross many buffers
    TpgwXMLDocument doc;
    doc.SetTempDir(tmp.path.string());
    TStringStream in{text};
    doc.LoadFromStream(in);
    for (int i = 0; i < doc.Root()->Count(); ++i)
        doc.UnloadItem(doc.Root()->Items(i));
    EXPECT_EQ(doc.Root()->Items(299)->Count(), 0);
    EXPECT_GT(std::filesystem::file_size(
                  tmp.path / std::filesystem::directory_iterator(tmp.path)->path().filename()),
              text.size() / 2);
    EXPECT_EQ(save(doc), text);
    for (int i : {299, 0, 150}) {
        TpgwXMLItem* page = doc.Root()->Items(i);
        doc.LoadItem(page);
        ASSERT_EQ(page->Count(), 40);
        EXPECT_EQ(page->Items(39)->Prop("t"), "page " + std::to_string(i) + " \"obj\" 39");
    }
    EXPECT_EQ(save(doc), text);
}

TEST(XmlSwap, NestedUnloadedItemsSurviveUnloadingTheirParent) {
    TempFolder tmp;
    TpgwXMLDocument doc;
    doc.SetTempDir(tmp.path.string());
    TpgwXMLItem* outer = doc.Root()->Add();
    outer->SetName("outer");
    outer->SetUnloadable(true);
    TpgwXMLItem* inner = outer->Add();
    inner->SetName("inner");
    inner->SetUnloadable(true);
    inner->Add()->SetName("leaf");
    doc.Root()->SetName("r");
    const std::string before = save(doc);
    doc.UnloadItem(inner);
    doc.UnloadItem(outer);
    doc.LoadItem(outer);
    inner = outer->Items(0);
    doc.LoadItem(inner);
    EXPECT_EQ(inner->Count(), 1);
    EXPECT_EQ(save(doc), before);
}

TEST(XmlSwap, SaveToFileWithUnloadedItemsAfterPartialLoad) {
    TempFolder tmp;
    const std::string file = (tmp.path / "report.pp3").string();
    {
        TpgwXMLDocument doc;
        TStringStream in{pagedDocument(5, 2)};
        doc.LoadFromStream(in);
        doc.SaveToFile(file);
    }
    TpgwXMLDocument doc;
    doc.SetTempDir(tmp.path.string());
    doc.LoadFromFile(file);
    EXPECT_FALSE(doc.Root()->Items(4)->Loaded());
    // Swapping out after a partial load must keep the other pages readable.
    TpgwXMLItem* page = doc.Root()->Items(1);
    doc.LoadItem(page);
    page->Items(0)->SetProp("t", "edited");
    doc.UnloadItem(page);
    doc.SaveToFile(file);
    EXPECT_FALSE(std::filesystem::exists(file + ".tmp"));
    EXPECT_EQ(tmp.fileCount(), 1u); // only the saved file: swap file gone
    TpgwXMLDocument check;
    TFileStream f(file, fmOpenRead);
    check.LoadFromStream(f);
    ASSERT_EQ(check.Root()->Count(), 5);
    EXPECT_EQ(check.Root()->Items(1)->Items(0)->Prop("t"), "edited");
    EXPECT_EQ(check.Root()->Items(4)->Items(1)->Prop("t"), "page 4 \"obj\" 1");
}

// A full disk while saving must neither touch the file nor drop the swap stream that the
// unloaded pages still live in; a file that merely shares the temporary-looking name is not ours.
TEST(XmlSwap, FailedSaveKeepsFileAndUnloadedPages) {
    TempFolder tmp;
    const std::string file = (tmp.path / "report.pp3").string();
    {
        std::ofstream(file + ".tmp") << "user data";
        TpgwXMLDocument doc;
        TStringStream in{pagedDocument(3, 2)};
        doc.LoadFromStream(in);
        doc.SaveToFile(file);
    }
    std::string kept;
    std::getline(std::ifstream(file + ".tmp"), kept);
    EXPECT_EQ(kept, "user data");
    TpgwXMLDocument doc;
    doc.LoadFromFile(file);
    ASSERT_FALSE(doc.Root()->Items(2)->Loaded());
    const std::string before = save(doc);
    SetSafeFileFailureForTesting(ENOSPC);
    EXPECT_THROW(doc.SaveToFile(file), Exception);
    SetSafeFileFailureForTesting(0);
    EXPECT_EQ(save(doc), before);
    doc.SaveToFile(file);
    EXPECT_EQ(save(doc), before);
}

TEST(XmlSwap, FailedSaveLeavesTheFileAlone) {
    TempFolder tmp;
    const std::string file = (tmp.path / "t.pg3").string();
    TpgwXMLDocument doc;
    TStringStream in{pagedDocument(1, 1)};
    doc.LoadFromStream(in);
    doc.SaveToFile(file);
    // A swap reference that cannot be read back makes the save fail midway.
    TpgwXMLItem* bogus = doc.Root()->Add();
    bogus->SetName("page");
    bogus->SetUnloadable(true);
    bogus->SetLoaded(false);
    const auto size = std::filesystem::file_size(file);
    bogus->SetOffset(size + 100);
    EXPECT_THROW(doc.SaveToFile(file), TpgwInvalidXMLException);
    EXPECT_EQ(std::filesystem::file_size(file), size);
    EXPECT_FALSE(std::filesystem::exists(file + ".tmp"));
}

// Random mutations of a valid document either load or raise our exceptions; nothing else.
TEST(XmlFuzz, MutatedDocumentsNeverCrash) {
    const std::string sample = "<?xml version=\"1.0\" encoding=\"utf-8\"?><r a=\"&#60;&amp;\"><!-- c "
                             "--><p ld=\"0\" n=\"1\">"
                             "<m t=\"x\"/><m t=\"&#20013;\">v</m></p><q/><s k=\"v\" /></r>";
    const char alphabet[] = "<>/!-=\"& ?xl#;0d\t\n";
    std::mt19937 rng(12345);
    for (int round = 0; round < 3000; ++round) {
        std::string s = sample;
        const int edits = 1 + int(rng() % 4);
        for (int e = 0; e < edits && !s.empty(); ++e) {
            size_t pos = rng() % s.size();
            switch (rng() % 4) {
            case 0:
                s[pos] = alphabet[rng() % (sizeof alphabet - 1)];
                break;
            case 1:
                s.erase(pos, 1 + rng() % 8);
                break;
            case 2:
                s.insert(pos, 1, alphabet[rng() % (sizeof alphabet - 1)]);
                break;
            default:
                s.resize(pos);
                break;
            }
        }
        for (bool partial : {false, true}) {
            TpgwXMLDocument doc;
            try {
                doc.LoadFromStream(std::make_unique<TStringStream>(s), partial);
                for (int i = 0; i < doc.Root()->Count(); ++i) {
                    doc.LoadItem(doc.Root()->Items(i));
                    (void)doc.Root()->Items(i)->Prop("t");
                }
                (void)save(doc);
            } catch (const TpgwInvalidXMLException&) {
            } catch (const EConvertError&) {
            }
        }
    }
}

} // namespace
