#include "platform/data/provider.h"

#include <filesystem>

#include "platform/core/files.h"
#include "platform/core/text.h"
#include "platform/data/connection_string.h"
#include "platform/data/field.h"
#include "platform/data/jet_file.h"
#include "platform/data/odbc_provider.h"
#include "platform/data/sqlite_provider.h"

namespace {

std::unique_ptr<TDbProvider> OpenJet(const TConnectionString& cs, TConnectMode mode) {
    const std::string source = cs.Value("Data Source");
    if (Trim(source).empty()) throw EDatabaseError("Could not find file ''.");
    const std::string path = ResolveFileCase(source);
    switch (path.empty() ? TDbFileKind::Missing : SniffDatabaseFile(path)) {
    case TDbFileKind::Missing:
        throw EDatabaseError("Could not find file '" + source + "'.");
    case TDbFileKind::Unknown:
        throw EDatabaseError("Unrecognized database format '" + source + "'.");
    case TDbFileKind::SQLite: {
        // "Mode=Read" in the connection string asks for reading only, as the mode does.
        const bool readOnly = mode == cmRead || SameText(Trim(cs.Value("Mode")), "Read");
        return std::make_unique<TSqliteProvider>(path, readOnly, true, false);
    }
    case TDbFileKind::Jet3:
    case TDbFileKind::Jet4:
    case TDbFileKind::Ace: {
        const std::string stored = ReadJetPassword(path);
        if (!stored.empty() && stored != cs.Value("Jet OLEDB:Database Password"))
            throw EDatabaseError("Not a valid password.");
        const std::string copy = JetCacheFile(path);
        try {
            return std::make_unique<TSqliteProvider>(copy, true, true, false);
        } catch (const EDatabaseError&) {
            // A copy damaged after it was made: make it again from the Jet file.
            std::error_code ec;
            std::filesystem::remove(copy, ec);
            return std::make_unique<TSqliteProvider>(JetCacheFile(path), true, true, false);
        }
    }
    }
    throw EDatabaseError("Unrecognized database format '" + source + "'.");
}

bool StartsText(std::string_view s, std::string_view prefix) {
    return s.size() >= prefix.size() && SameText(s.substr(0, prefix.size()), prefix);
}

// The ODBC keywords of an MSDASQL string: its Extended Properties when given, else its own
// pairs with the OLE DB names (Data Source, User ID, Password) in ODBC spelling.
std::string OdbcString(const TConnectionString& cs) {
    std::string extended = cs.Value("Extended Properties");
    if (!Trim(extended).empty()) return extended;
    std::string out;
    for (const auto& [key, value] : cs.Items()) {
        if (SameText(key, "Provider") || SameText(key, "Persist Security Info")) continue;
        std::string name = SameText(key, "Data Source") ? "DSN"
                           : SameText(key, "User ID")   ? "UID"
                           : SameText(key, "Password")  ? "PWD"
                                                        : key;
        bool brace =
            value.find(';') != std::string::npos && !(value.size() > 1 && value.front() == '{');
        out += (out.empty() ? "" : ";") + name + "=" + (brace ? "{" + value + "}" : value);
    }
    return out;
}

} // namespace

std::unique_ptr<TDbProvider> OpenProvider(const std::string& connectionString, TConnectMode mode) {
    TConnectionString cs(connectionString);
    const std::string provider = Trim(cs.Value("Provider"));
    if (SameText(provider, "Microsoft.Jet.OLEDB.4.0")) return OpenJet(cs, mode);
    if (SameText(provider, "SQLite")) {
        const std::string source = cs.Value("Data Source");
        if (Trim(source).empty())
            throw EDatabaseError("The connection string names no Data Source");
        std::string path = ToNativePath(source);
        if (path.empty()) throw EDatabaseError("Could not find file '" + source + "'.");
        return std::make_unique<TSqliteProvider>(path, mode == cmRead, false, true);
    }
    if (SameText(provider, "MSDASQL") || StartsText(provider, "MSDASQL."))
        return std::make_unique<TOdbcProvider>(OdbcString(cs));
    if (provider.empty() && (cs.Has("DSN") || cs.Has("Driver")))
        return std::make_unique<TOdbcProvider>(cs.Without({"Provider"}));
    if (provider.empty()) throw EDatabaseError("The connection string names no provider");
    throw EDatabaseError("Provider '" + provider +
                         "' cannot be found. It may not be properly installed.");
}
