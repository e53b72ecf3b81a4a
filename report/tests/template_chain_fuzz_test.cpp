// Template chains named by ParentReport: random depths, cycles of random length, missing parents,
// names spelled as Windows templates spell them, loading through OnLoadTemplate, and damaged
// template bytes anywhere in the chain. A well-formed chain must load exactly what a simple model
// of the chain predicts, and save and load back unchanged; a damaged one must load without a
// crash or more than one error box, and save and load back unchanged too.

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/core/stream.h"
#include "platform/core/tests/mutator.h"
#include "platform/core/tests/temp_dir.h"
#include "platform/core/text.h"
#include "platform/ui/message_reporter.h"
#include "report/options.h"
#include "report/report.h"
#include "report/tests/rc_doubles.h"

namespace {

// Counts every read of a view, in any report: the work of a load must grow with the chain's
// length, not with 2 to its power.
class TFuzzChainView : public TpgwView {
    LUMETRA_CLASS(TFuzzChainView, TpgwView)
public:
    explicit TFuzzChainView(TComponent* owner) : TpgwView(owner) {}
    void Loaded() override {
        TpgwView::Loaded();
        ++reads;
    }
    static inline long reads = 0;
};

struct Element {
    bool inherited; // names an ancestor's view instead of declaring one
    std::string name;
    std::optional<int> left;
};

struct Page {
    std::string name;
    std::vector<Element> views;
};

struct Template {
    // Index of the parent template, -1 for none, -2 for a name no file has.
    int parent = -1;
    std::string parentValue;
    std::vector<Page> pages;
};

struct Expected {
    std::vector<int> chain; // templates loaded, the outermost first
    std::string error;
    std::map<std::string, int> left;
    std::set<std::string> inherited;
    long maxReads = 0;
};

std::string Spell(fuzz::Random& random, const std::string& file, bool throughHandler) {
    switch (random.Below(throughHandler ? 3 : 4)) {
    case 0:
        return ".\\" + file;
    case 1:
        return "sub\\..\\" + file;
    case 2:
        return file;
    default:
        return UpperCase(file); // found whatever its case on disk
    }
}

std::string FileOf(int index) {
    return "t" + std::to_string(index) + ".pg3";
}

std::vector<Template> MakeChain(fuzz::Random& random, bool throughHandler) {
    // Mostly short chains; now and then one around the depth limit.
    const int count = random.OneIn(25)
                          ? kMaxParentReportDepth - 2 + static_cast<int>(random.Below(6))
                          : 1 + static_cast<int>(random.Below(7));
    std::vector<Template> chain(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        Template& t = chain[static_cast<std::size_t>(i)];
        if (i + 1 < count) {
            t.parent = i + 1;
        } else {
            switch (random.Below(4)) {
            case 0:
                t.parent = -1;
                break;
            case 1:
                t.parent = -2;
                break;
            default: // a cycle of random length back into the chain
                t.parent = static_cast<int>(random.Below(static_cast<std::size_t>(count)));
            }
        }
        if (t.parent >= 0) t.parentValue = Spell(random, FileOf(t.parent), throughHandler);
        if (t.parent == -2) t.parentValue = "gone" + std::to_string(random.Below(100)) + ".pg3";
        const std::size_t pages = random.Below(3) + (i == count - 1 ? 1 : 0);
        for (std::size_t p = 0; p < pages; ++p) {
            Page page{"Page" + std::to_string(random.Below(4)), {}};
            for (std::size_t v = random.Below(5); v > 0; --v) {
                Element e{random.OneIn(3), "View" + std::to_string(random.Below(12)), {}};
                if (!random.OneIn(3)) e.left = static_cast<int>(random.Below(1000));
                page.views.push_back(e);
            }
            t.pages.push_back(std::move(page));
        }
    }
    return chain;
}

std::string Text(const Template& t) {
    std::string xml = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<TpgwReport";
    if (!t.parentValue.empty()) xml += " ParentReport=\"" + t.parentValue + "\"";
    xml += ">";
    for (const Page& page : t.pages) {
        xml += "<TpgwReportPage Name=\"" + page.name + "\">";
        for (const Element& e : page.views) {
            xml += e.inherited ? "<inherited" : "<TFuzzChainView";
            xml += " Name=\"" + e.name + "\"";
            if (e.left) xml += " Left=\"" + std::to_string(*e.left) + "\"";
            xml += "/>";
        }
        xml += "</TpgwReportPage>";
    }
    return xml + "</TpgwReport>";
}

// What loading t0 gives: ancestors are loaded one inside the other until a template without a
// parent, a missing one, one already being loaded, or one beyond the depth limit; the deepest is
// read first and each template below is read over it.
Expected Model(const std::vector<Template>& chain, bool throughHandler) {
    Expected out;
    out.chain.push_back(0);
    std::set<int> loading;
    for (int current = 0;;) {
        const Template& t = chain[static_cast<std::size_t>(current)];
        if (t.parent == -1) break;
        // A handler sees no file names: only the depth limit ends a cycle through it.
        if (!throughHandler && t.parent >= 0 && loading.count(t.parent)) {
            out.error = "Circular parent report reference: " + t.parentValue;
            break;
        }
        if (static_cast<int>(out.chain.size()) - 1 >= kMaxParentReportDepth) {
            out.error = "Parent report chain deeper than " + std::to_string(kMaxParentReportDepth) +
                        " templates: " + t.parentValue;
            break;
        }
        if (t.parent == -2) {
            if (!throughHandler) out.error = "Parent report not found: " + t.parentValue;
            break;
        }
        loading.insert(t.parent);
        out.chain.push_back(t.parent);
        current = t.parent;
    }
    std::set<std::string> present;
    for (std::size_t level = out.chain.size(); level-- > 0;) {
        long own = 0;
        for (const Page& page : chain[static_cast<std::size_t>(out.chain[level])].pages)
            for (const Element& e : page.views) {
                ++own;
                if (e.inherited && !present.count(e.name)) continue;
                present.insert(e.name);
                if (level > 0) out.inherited.insert(e.name);
                if (e.left) {
                    out.left[e.name] = *e.left;
                } else if (!out.left.count(e.name)) {
                    out.left[e.name] = 0;
                }
            }
        // Read from its file once, and once into the ancestor copy of each level below it.
        out.maxReads += static_cast<long>(level + 1) * own;
    }
    return out;
}

std::vector<std::string> Lines(const TStrings& list) {
    std::vector<std::string> v;
    for (int i = 0; i < list.Count(); ++i)
        v.push_back(list.Strings(i));
    return v;
}

std::string SaveText(TpgwReport& r) {
    TStringStream out;
    r.SaveToStream(out);
    return out.DataString();
}

bool HasUnnamedInherited(const TpgwReport& r) {
    for (TpgwComponent* c : r.AllObjects())
        if (c->Inherited() && c->Name().empty()) return true;
    return false;
}

class TemplateChainFuzz : public ::testing::Test {
protected:
    void SetUp() override {
        RegisterReportDoubles();
        static const bool registered = [] {
            RegisterClass(TFuzzChainView::StaticClass());
            return true;
        }();
        (void)registered;
    }
    TScopedReporter scope{std::make_unique<TRecordingReporter>()};
    TRecordingReporter& boxes() { return static_cast<TRecordingReporter&>(MessageReporter()); }

    // Loads t0 from the folder, directly or through a handler that reads the named file.
    void Load(TpgwReport& r, const TempDir& dir, bool throughHandler,
              const std::string& file = FileOf(0)) {
        if (throughHandler)
            r.OnLoadTemplate = [&dir](TpgwReport* report, const std::string& name) {
                report->LoadFromFile(dir / ReplaceChar(name, '\\', '/'));
            };
        boxes().Boxes.clear();
        bool found = false;
        EXPECT_NO_THROW(found = r.LoadFromFile(dir / file));
        EXPECT_TRUE(found);
        EXPECT_LE(boxes().Boxes.size(), 1u) << "one load, one error box at most";
    }
};

TEST_F(TemplateChainFuzz, WellFormedChainsLoadAsModelledAndSaveBack) {
    fuzz::Random random;
    const long iterations = fuzz::Iterations(40);
    for (long n = 0; n < iterations; ++n) {
        const bool throughHandler = random.OneIn(5);
        const std::vector<Template> chain = MakeChain(random, throughHandler);
        TempDir dir;
        std::filesystem::create_directory(dir / "sub");
        std::string listing;
        for (std::size_t i = 0; i < chain.size(); ++i) {
            TempDir::WriteAll(dir / FileOf(static_cast<int>(i)), Text(chain[i]));
            listing += FileOf(static_cast<int>(i)) + ": " + Text(chain[i]) + "\n";
        }
        SCOPED_TRACE("iteration " + std::to_string(n) + (throughHandler ? " (handler)\n" : "\n") +
                     listing);
        const Expected expected = Model(chain, throughHandler);

        TFuzzChainView::reads = 0;
        TpgwReport r(nullptr);
        Load(r, dir, throughHandler);
        EXPECT_LE(TFuzzChainView::reads, expected.maxReads);
        EXPECT_EQ(Lines(r.Errors()), expected.error.empty() ? std::vector<std::string>{}
                                                            : std::vector{expected.error});
        EXPECT_EQ(boxes().Boxes.size(), expected.error.empty() ? 0u : 1u);
        EXPECT_EQ(r.ParentReport(), chain[0].parentValue);
        std::map<std::string, int> left;
        std::set<std::string> inherited;
        for (TpgwComponent* c : r.AllObjects()) {
            if (!dynamic_cast<TFuzzChainView*>(c)) continue;
            left[c->Name()] = static_cast<int>(c->Left());
            if (c->Inherited()) inherited.insert(c->Name());
        }
        EXPECT_EQ(left, expected.left);
        EXPECT_EQ(inherited, expected.inherited);

        // Saved beside its chain against the ancestors it has, it reads back the same.
        if (throughHandler) continue;
        const std::string saved = SaveText(r);
        TempDir::WriteAll(dir / "saved.pg3", saved);
        TpgwReport again(nullptr);
        Load(again, dir, false, "saved.pg3");
        EXPECT_EQ(Lines(again.Errors()), Lines(r.Errors()));
        EXPECT_EQ(SaveText(again), saved);
    }
}

TEST_F(TemplateChainFuzz, DamagedChainsLoadAndSaveBack) {
    fuzz::Random random(fuzz::StartValue() ^ 0x5bd1e995u);
    const long iterations = fuzz::Iterations(80);
    for (long n = 0; n < iterations; ++n) {
        const bool throughHandler = random.OneIn(5);
        const std::vector<Template> chain = MakeChain(random, throughHandler);
        TempDir dir;
        std::filesystem::create_directory(dir / "sub");
        std::string listing;
        for (std::size_t i = 0; i < chain.size(); ++i) {
            std::string text = Text(chain[i]);
            if (random.OneIn(2)) text = fuzz::Mutate(text, random, 6);
            TempDir::WriteAll(dir / FileOf(static_cast<int>(i)), text);
            listing += FileOf(static_cast<int>(i)) + ": " + text + "\n";
        }
        SCOPED_TRACE("iteration " + std::to_string(n) + (throughHandler ? " (handler)\n" : "\n") +
                     listing);

        TpgwReport r(nullptr);
        Load(r, dir, throughHandler);
        // Whatever was read is saved and read back unchanged.
        r.OnLoadTemplate = nullptr;
        const std::string saved = SaveText(r);
        TempDir::WriteAll(dir / "saved.pg3", saved);
        TpgwReport again(nullptr);
        Load(again, dir, false, "saved.pg3");
        // A handler may find other ancestors than the files do; and an unnamed inherited
        // element stands for no object when read, so changes inside one are not kept.
        if (!throughHandler && !HasUnnamedInherited(r)) {
            EXPECT_EQ(SaveText(again), saved);
        }
    }
}

} // namespace
