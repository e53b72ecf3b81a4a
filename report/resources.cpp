#include "report/resources.h"

#include <algorithm>
#include <memory>
#include <mutex>
#include <sys/stat.h>

#include "platform/core/exception.h"
#include "platform/core/files.h"
#include "platform/core/stream.h"
#include "platform/core/text.h"
#include "report/core_strings.h"
#include "report/utils.h"
#include "report/xml_document.h"

namespace {

std::string upperAscii(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        if (c >= 'a' && c <= 'z') c = char(c - 32);
    return out;
}

TpgwResources::ScriptMessagesHandler& scriptMessagesHandler() {
    static TpgwResources::ScriptMessagesHandler handler;
    return handler;
}

int parseCodePage(const std::string& text) {
    int value = 0;
    bool ok = !text.empty() && text.size() <= 9;
    for (char c : text) {
        if (c < '0' || c > '9') {
            ok = false;
            break;
        }
        value = value * 10 + (c - '0');
    }
    if (!ok)
        throw EConvertError("'" + text + "' is not a valid integer value (string table CodePage)");
    return value;
}

} // namespace

const std::array<const char*, TpgwResources::kScriptMessageCount>
    TpgwResources::kScriptMessageKeys = {
        "SLangNotFound",      "SInvalidLanguage", "SIdRedeclared",     "SUnknownType",
        "SIncompatibleTypes", "SIdUndeclared",    "SClassRequired",    "SIndexRequired",
        "SStringError",       "SClassError",      "SArrayRequired",    "SVarRequired",
        "SNotEnoughParams",   "STooManyParams",   "SLeftCantAssigned", "SForError",
        "SEventError"};

TpgwResources::TpgwResources() {
    FillLanguageList();
}

std::string TpgwResources::HelpAddress(std::string_view formClassName) const {
    static const std::pair<const char*, const char*> topics[] = {
        {"TpgwDesignerForm", "Designer.htm"},
        {"TpgwOptionsEditor", "Designer_options.htm"},
        {"TpgwReportEditorForm", "Report_options.htm"},
        {"TpgwPageEditorForm", "Page_options.htm"},
        {"TpgwCrossEditorForm", "Cross_tab_reports.htm"},
        {"TpgwChartEditorForm", "Diagrams.htm"},
        {"TpgwSyntaxMemo", "Script.htm"},
        {"TpgwDialogPage", "Dialogue_forms.htm"},
        {"TpgwDialogComponent", "Data_access_components.htm"},
        {"TpgwVarEditorForm", "Variables.htm"},
        {"TpgwHighlightEditorForm", "Conditional_highlighting.htm"},
        {"TpgwSysMemoEditorForm", "Inserting_aggregate_function.htm"},
        {"TpgwFormatEditorForm", "Values_formatting.htm"},
        {"TpgwGroupEditorForm", "Report_with_groups.htm"},
        {"TpgwPictureEditorForm", "Picture_object.htm"},
        {"TpgwMemoEditorForm", "Text_object.htm"},
        {"TpgwSQLEditorForm", "TpgwADOQuery.htm"},
    };
    std::string address = GetAppFolder() + helpFile_;
    const std::string wanted = upperAscii(formClassName);
    for (const auto& [form, topic] : topics)
        if (upperAscii(form) == wanted) address += std::string("::/") + topic;
    return address;
}

void TpgwResources::Add(std::string_view name, std::u16string_view text) {
    auto [it, added] = names_.try_emplace(upperAscii(name), values_.Count());
    if (added)
        values_.Add(text);
    else
        values_.SetStrings(it->second, text);
}

void TpgwResources::AddText(std::string_view name, std::string_view text) {
    Add(name, Utf8ToUtf16(text));
}

void TpgwResources::AddXML(std::string_view text) {
    TStringStream stream{std::string(text)};
    LoadFromStream(stream);
}

std::string TpgwResources::GetText(std::string_view name) const {
    std::string text;
    auto it = names_.find(upperAscii(name));
    if (it != names_.end())
        text = Utf16ToUtf8(values_.StringRef(it->second));
    else
        text = std::string(name);
    if (!text.empty() && text[0] == '!') text.erase(0, 1);
    return text;
}

std::string TpgwResources::GetTextById(int id) const {
    return GetText(std::to_string(id));
}

void TpgwResources::LoadFromFile(const std::string& fileName) {
    struct stat st {};
    if (::stat(fileName.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return;
    TFileStream file(fileName, fmOpenRead | fmShareDenyWrite);
    LoadFromStream(file);
}

void TpgwResources::LoadFromStream(TStream& stream) {
    TpgwXMLDocument doc;
    doc.LoadFromStream(stream);
    const TpgwXMLItem* root = doc.Root();
    if (root->Name() == "Resources") {
        // Everything is decoded before anything is stored, so a bad table changes nothing.
        const int codePage = parseCodePage(root->Prop("CodePage"));
        std::vector<std::pair<std::string, std::u16string>> entries;
        entries.reserve(static_cast<size_t>(root->Count()));
        for (int i = 0; i < root->Count(); ++i) {
            const TpgwXMLItem* item = root->Items(i);
            if (item->Name() != "StrRes") continue;
            // Texts are escaped twice in the tables (a quote is stored as &#38;#34;).
            entries.emplace_back(item->Prop("Name"),
                                 Utf8ToUtf16(DecodeXMLText(item->Prop("Text"))));
        }
        codePage_ = codePage;
        for (const auto& [name, text] : entries)
            Add(name, text);
    }
    UpdateScriptMessages();
}

void TpgwResources::UpdateScriptMessages() {
    const auto& handler = scriptMessagesHandler();
    if (!handler) return;
    std::array<std::string, kScriptMessageCount> messages;
    for (int i = 0; i < kScriptMessageCount; ++i)
        messages[size_t(i)] = GetText(kScriptMessageKeys[size_t(i)]);
    handler(messages);
}

void TpgwResources::SetScriptMessagesHandler(ScriptMessagesHandler handler) {
    scriptMessagesHandler() = std::move(handler);
}

void TpgwResources::FillLanguageList() {
    languages_.clear();
    for (std::string name : FindFiles(GetAppFolder(), "*.pgq")) {
        for (char& c : name)
            if (c >= 'A' && c <= 'Z') c = char(c + 32);
        size_t ext = name.find(".pgq");
        if (ext != std::string::npos) name.erase(ext, 4);
        if (!name.empty() && name[0] >= 'a' && name[0] <= 'z') name[0] = char(name[0] - 32);
        languages_.push_back(name);
    }
    std::sort(languages_.begin(), languages_.end());
}
TpgwResources& GetResources() {
    static std::unique_ptr<TpgwResources> resources;
    static std::once_flag once;
    std::call_once(once, [] {
        resources = std::make_unique<TpgwResources>();
        resources->AddXML(CoreStringsXML());
    });
    return *resources;
}
