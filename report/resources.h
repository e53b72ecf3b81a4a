#pragma once
// The process-wide store of user-visible texts, filled from XML string tables (the core table
// built into the program, other modules' tables, ".pgq" language files). A key that is missing
// comes back as itself, so an untranslated text shows its key instead of failing.

#include <array>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "report/wide_strings.h"

class TStream;

class TpgwResources {
public:
    TpgwResources();
    TpgwResources(const TpgwResources&) = delete;
    TpgwResources& operator=(const TpgwResources&) = delete;

    // Adds the text under name or replaces the text of an existing key in place.
    void Add(std::string_view name, std::u16string_view text);
    // Text inside the program is UTF-8.
    void AddText(std::string_view name, std::string_view text);
    // A string table given as XML text.
    void AddXML(std::string_view text);
    // The text of name (case-insensitive), or name itself; a leading "!" is dropped either way.
    std::string GetText(std::string_view name) const;
    std::string GetTextById(int id) const;
    // A missing file does nothing.
    void LoadFromFile(const std::string& fileName);
    // Loads a "Resources" table. A table without a numeric CodePage, malformed XML or a bad text
    // raises and leaves the store as it was; another root name changes nothing.
    void LoadFromStream(TStream& stream);
    // Hands the seventeen script-engine messages to ScriptMessagesHandler.
    void UpdateScriptMessages();
    // The ".pgq" language files in the program's folder, as "Chinese" for CHINESE.PGQ, sorted.
    void FillLanguageList();

    // The help address for a form class: the program folder + help file, then "::/" + the topic
    // page of each matching row of the help topics table (none: the start page). Opening it is
    // the window layer's business.
    std::string HelpAddress(std::string_view formClassName) const;

    // Code page declared by the last table loaded (0 before any).
    int CodePage() const { return codePage_; }
    const std::vector<std::string>& Languages() const { return languages_; }
    const std::string& HelpFile() const { return helpFile_; }
    int Count() const { return values_.Count(); }

    // The script engine installs this to receive its message texts, in the order of
    // kScriptMessageKeys.
    static constexpr int kScriptMessageCount = 17;
    static const std::array<const char*, kScriptMessageCount> kScriptMessageKeys;
    using ScriptMessagesHandler =
        std::function<void(const std::array<std::string, kScriptMessageCount>&)>;
    static void SetScriptMessagesHandler(ScriptMessagesHandler handler);

private:
    std::unordered_map<std::string, int> names_; // upper-cased key -> index in values_
    TWideStrings values_;
    std::vector<std::string> languages_;
    std::string helpFile_ = "PGWUser.chm";
    int codePage_ = 0;
};

// The one store, created on first use with the core string table loaded.
TpgwResources& GetResources();
