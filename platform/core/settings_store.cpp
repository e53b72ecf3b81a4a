// The settings store: registry keys and values kept in INI files (see settings_store.h).
#include "platform/core/settings_store.h"

#include <pwd.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "platform/core/ini_text.h"
#include "platform/core/stream.h"
#include "platform/core/string_list.h"
#include "platform/core/text.h"

namespace {

constexpr int kUtf8CodePage = 65001;
constexpr const char* kStoreFile = "registry.ini";
constexpr std::string_view kString = "sz:";
constexpr std::string_view kDword = "dword:";
constexpr std::string_view kBinary = "hex:";
constexpr std::string_view kDefaultValueName = "@";

std::string EnvOr(const char* name, const std::string& fallback) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0' ? std::string(value) : fallback;
}

const char* RootName(HKEY root) {
    switch (root) {
    case HKEY_CLASSES_ROOT:
        return "HKEY_CLASSES_ROOT";
    case HKEY_CURRENT_USER:
        return "HKEY_CURRENT_USER";
    case HKEY_LOCAL_MACHINE:
        return "HKEY_LOCAL_MACHINE";
    case HKEY_USERS:
        return "HKEY_USERS";
    case HKEY_PERFORMANCE_DATA:
        return "HKEY_PERFORMANCE_DATA";
    case HKEY_CURRENT_CONFIG:
        return "HKEY_CURRENT_CONFIG";
    case HKEY_DYN_DATA:
        return "HKEY_DYN_DATA";
    }
    return "HKEY_UNKNOWN";
}

std::string StoredName(std::string_view name) {
    return name.empty() ? std::string(kDefaultValueName) : std::string(name);
}

// Text values keep every character: "\" and control characters are escaped, and so is a final
// blank, which the INI reader would trim.
std::string EscapeText(std::string_view text) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out(kString);
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c == '\\') {
            out += "\\\\";
        } else if (c < 0x20 || c == 0x7F || (c == ' ' && i + 1 == text.size())) {
            out += "\\x";
            out += kHex[c >> 4];
            out += kHex[c & 15];
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

std::string UnescapeText(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 1 < text.size() && text[i + 1] == '\\') {
            out += '\\';
            ++i;
        } else if (text[i] == '\\' && i + 3 < text.size() && text[i + 1] == 'x' &&
                   HexDigitValue(text[i + 2]) >= 0 && HexDigitValue(text[i + 3]) >= 0) {
            out += static_cast<char>(HexDigitValue(text[i + 2]) * 16 + HexDigitValue(text[i + 3]));
            i += 3;
        } else {
            out += text[i]; // a lone "\" (hand-written paths) stays as it is
        }
    }
    return out;
}

std::string EncodeBinary(const void* data, std::size_t size) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out(kBinary);
    const auto* bytes = static_cast<const unsigned char*>(data);
    for (std::size_t i = 0; i < size; ++i) {
        out += kHex[bytes[i] >> 4];
        out += kHex[bytes[i] & 15];
    }
    return out;
}

bool DecodeBinary(std::string_view hex, std::string& bytes) {
    bytes.clear();
    std::string digits;
    for (char c : hex)
        if (c != ',' && c != ' ') digits += c; // "01,02" as well as "0102"
    if (digits.size() % 2 != 0) return false;
    for (std::size_t i = 0; i < digits.size(); i += 2) {
        const int hi = HexDigitValue(digits[i]);
        const int lo = HexDigitValue(digits[i + 1]);
        if (hi < 0 || lo < 0) return false;
        bytes += static_cast<char>(hi * 16 + lo);
    }
    return true;
}

bool DecodeDword(std::string_view text, int& value) {
    int base = 10;
    bool negative = false;
    if (!text.empty() && text.front() == '-') {
        negative = true;
        text.remove_prefix(1);
    }
    if (!text.empty() && text.front() == '$') {
        base = 16;
        text.remove_prefix(1);
    } else if (text.size() > 1 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    }
    std::uint64_t n = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), n, base);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size() || n > 0xFFFFFFFFu)
        return false;
    if (negative && n > 0x80000000u) return false;
    const auto bits = static_cast<std::uint32_t>(n);
    value = negative ? static_cast<int>(0u - bits) : static_cast<int>(bits);
    return true;
}

// The names of the direct children of the key in section (given folded, with its "\"), among
// the sections of a store; intermediate keys count even when only their subkeys have sections.
void CollectChildren(const std::vector<std::string>& sections, const std::string& foldedPrefix,
                     std::vector<std::string>& names, std::vector<std::string>& folded) {
    for (const std::string& section : sections) {
        const std::string f = AnsiLowerCase(section);
        if (f.size() <= foldedPrefix.size() || f.compare(0, foldedPrefix.size(), foldedPrefix) != 0)
            continue;
        std::string child = section.substr(foldedPrefix.size());
        child = child.substr(0, child.find('\\'));
        const std::string fc = AnsiLowerCase(child);
        if (child.empty() || std::find(folded.begin(), folded.end(), fc) != folded.end()) continue;
        folded.push_back(fc);
        names.push_back(child);
    }
}

} // namespace

std::string UserSettingsFolder() {
    if (const char* dir = std::getenv("LUMETRA_CONFIG_DIR"); dir != nullptr && *dir != '\0')
        return dir;
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg != nullptr && xdg[0] == '/') return std::string(xdg) + "/lumetra";
    std::string home = EnvOr("HOME", "");
    if (home.empty()) {
        if (const passwd* pw = ::getpwuid(::getuid()); pw != nullptr && pw->pw_dir != nullptr)
            home = pw->pw_dir;
    }
    return home + "/.config/lumetra";
}

std::string MachineSettingsFolder() {
    return EnvOr("LUMETRA_SYSTEM_CONFIG_DIR", "/etc/lumetra");
}

// ---- TRegistry ---------------------------------------------------------------------------------

struct TRegistry::Value {
    TRegDataType type = rdUnknown;
    std::string bytes; // text (UTF-8) or binary data
    int integer = 0;
};

namespace {

TRegistry::Value DecodeValue(std::string_view stored) {
    TRegistry::Value v;
    if (stored.substr(0, kString.size()) == kString) {
        v.type = rdString;
        v.bytes = UnescapeText(stored.substr(kString.size()));
    } else if (stored.substr(0, kDword.size()) == kDword &&
               DecodeDword(stored.substr(kDword.size()), v.integer)) {
        v.type = rdInteger;
    } else if (stored.substr(0, kBinary.size()) == kBinary &&
               DecodeBinary(stored.substr(kBinary.size()), v.bytes)) {
        v.type = rdBinary;
    } else {
        v.type = rdString; // hand-written text
        v.bytes = stored;
    }
    return v;
}

[[noreturn]] void GetFailed(std::string_view name) {
    throw ERegistryException("Failed to get data for '" + std::string(name) + "'");
}

[[noreturn]] void InvalidType(std::string_view name) {
    throw ERegistryException("Invalid data type for '" + std::string(name) + "'");
}

} // namespace

TRegistry::TRegistry() = default;
TRegistry::~TRegistry() = default;

void TRegistry::SetRootKey(HKEY root) {
    CloseKey();
    root_ = root;
}

TIniFile& TRegistry::UserStore() {
    if (!user_)
        user_ = std::make_unique<TIniFile>(UserSettingsFolder() + "/" + kStoreFile, kUtf8CodePage);
    return *user_;
}

TIniFile* TRegistry::MachineStore() {
    if (!UsesMachineStore()) return nullptr;
    if (!machine_)
        machine_ =
            std::make_unique<TIniFile>(MachineSettingsFolder() + "/" + kStoreFile, kUtf8CodePage);
    return machine_.get();
}

std::string TRegistry::ResolvePath(std::string_view key) const {
    std::string path = !key.empty() && key.front() == '\\' ? std::string() : currentPath_;
    std::size_t start = 0;
    while (start <= key.size()) {
        std::size_t end = key.find('\\', start);
        if (end == std::string_view::npos) end = key.size();
        if (end > start) {
            if (!path.empty()) path += '\\';
            path += key.substr(start, end - start);
        }
        start = end + 1;
    }
    return path;
}

std::string TRegistry::SectionOf(const std::string& path) const {
    return path.empty() ? std::string(RootName(root_)) : std::string(RootName(root_)) + "\\" + path;
}

bool TRegistry::SectionPresent(TIniFile& store, const std::string& section) {
    const std::string folded = AnsiLowerCase(section);
    for (const std::string& s : store.ReadSections()) {
        const std::string f = AnsiLowerCase(s);
        if (f == folded || (f.size() > folded.size() && f.compare(0, folded.size(), folded) == 0 &&
                            f[folded.size()] == '\\'))
            return true;
    }
    return false;
}

bool TRegistry::PathExists(const std::string& path) {
    if (path.empty()) return true; // the root
    const std::string section = SectionOf(path);
    if (SectionPresent(UserStore(), section)) return true;
    TIniFile* machine = MachineStore();
    return machine != nullptr && SectionPresent(*machine, section);
}

bool TRegistry::OpenKey(std::string_view key, bool canCreate) {
    const std::string path = ResolvePath(key);
    if (!PathExists(path)) {
        if (!canCreate) return false;
        try {
            std::filesystem::create_directories(UserSettingsFolder());
            UserStore().AddSection(SectionOf(path));
        } catch (const std::exception&) {
            return false; // the caller learns from the result, as with the system registry
        }
    }
    currentPath_ = path;
    open_ = true;
    readOnly_ = false;
    return true;
}

bool TRegistry::OpenKeyReadOnly(std::string_view key) {
    const std::string path = ResolvePath(key);
    if (!PathExists(path)) return false;
    currentPath_ = path;
    open_ = true;
    readOnly_ = true;
    return true;
}

void TRegistry::CloseKey() {
    currentPath_.clear();
    open_ = false;
    readOnly_ = false;
}

bool TRegistry::CreateKey(std::string_view key) {
    const std::string path = ResolvePath(key);
    if (PathExists(path)) return true;
    try {
        std::filesystem::create_directories(UserSettingsFolder());
        UserStore().AddSection(SectionOf(path));
    } catch (const std::exception&) {
        return false;
    }
    return true;
}

bool TRegistry::KeyExists(std::string_view key) {
    return PathExists(ResolvePath(key));
}

bool TRegistry::DeleteKey(std::string_view key) {
    const std::string path = ResolvePath(key);
    if (path.empty()) return false; // a root cannot go
    const std::string folded = AnsiLowerCase(SectionOf(path));
    TIniFile& store = UserStore();
    bool deleted = false;
    for (const std::string& s : store.ReadSections()) {
        const std::string f = AnsiLowerCase(s);
        if (f == folded || (f.size() > folded.size() && f.compare(0, folded.size(), folded) == 0 &&
                            f[folded.size()] == '\\')) {
            try {
                store.EraseSection(s);
            } catch (const EIniFileException& e) {
                throw ERegistryException("Failed to delete key '" + std::string(key) + "'. " +
                                         e.Message());
            }
            deleted = true;
        }
    }
    return deleted;
}

std::vector<std::string> TRegistry::GetKeyNames() {
    std::vector<std::string> names;
    if (!open_) return names;
    std::vector<std::string> folded;
    const std::string prefix = AnsiLowerCase(SectionOf(currentPath_)) + "\\";
    CollectChildren(UserStore().ReadSections(), prefix, names, folded);
    if (TIniFile* machine = MachineStore())
        CollectChildren(machine->ReadSections(), prefix, names, folded);
    return names;
}

void TRegistry::GetKeyNames(TStrings& strings) {
    AssignLines(strings, GetKeyNames());
}

void TRegistry::GetValueNames(TStrings& strings) {
    AssignLines(strings, GetValueNames());
}

bool TRegistry::HasSubKeys() {
    return !GetKeyNames().empty();
}

std::vector<std::string> TRegistry::GetValueNames() {
    std::vector<std::string> names;
    if (!open_) return names;
    std::vector<std::string> folded;
    const std::string section = SectionOf(currentPath_);
    auto add = [&](TIniFile& store) {
        for (std::string& name : store.ReadSection(section)) {
            if (name == kDefaultValueName) name.clear();
            const std::string f = AnsiLowerCase(name);
            if (std::find(folded.begin(), folded.end(), f) != folded.end()) continue;
            folded.push_back(f);
            names.push_back(std::move(name));
        }
    };
    add(UserStore());
    if (TIniFile* machine = MachineStore()) add(*machine);
    return names;
}

bool TRegistry::FindValue(std::string_view name, Value& value) {
    if (!open_) return false;
    const std::string section = SectionOf(currentPath_);
    const std::string stored = StoredName(name);
    // The user store first: a value written there replaces the machine-wide one.
    for (TIniFile* store : {&UserStore(), MachineStore()}) {
        if (store == nullptr || !store->ValueExists(section, stored)) continue;
        value = DecodeValue(store->ReadString(section, stored, ""));
        return true;
    }
    return false;
}

TRegistry::Value TRegistry::GetValue(std::string_view name) {
    Value value;
    if (!FindValue(name, value)) GetFailed(name);
    return value;
}

void TRegistry::PutValue(std::string_view name, const std::string& stored) {
    if (!open_ || readOnly_)
        throw ERegistryException("Failed to set data for '" + std::string(name) + "'");
    try {
        std::filesystem::create_directories(UserSettingsFolder());
        UserStore().WriteString(SectionOf(currentPath_), StoredName(name), stored);
    } catch (const std::exception& e) {
        throw ERegistryException("Failed to set data for '" + std::string(name) + "'. " + e.what());
    }
}

bool TRegistry::ValueExists(std::string_view name) {
    Value value;
    return FindValue(name, value);
}

bool TRegistry::DeleteValue(std::string_view name) {
    if (!open_ || readOnly_) return false;
    const std::string section = SectionOf(currentPath_);
    const std::string stored = StoredName(name);
    TIniFile& store = UserStore();
    if (!store.ValueExists(section, stored)) return false;
    try {
        store.DeleteKey(section, stored);
    } catch (const EIniFileException&) {
        return false;
    }
    return true;
}

TRegDataType TRegistry::GetDataType(std::string_view name) {
    Value value;
    return FindValue(name, value) ? value.type : rdUnknown;
}

int TRegistry::GetDataSize(std::string_view name) {
    Value value;
    if (!FindValue(name, value)) return -1;
    if (value.type == rdInteger) return 4;
    if (value.type == rdBinary) return static_cast<int>(value.bytes.size());
    return static_cast<int>(value.bytes.size()) + 1;
}

std::string TRegistry::ReadString(std::string_view name) {
    Value value;
    if (!FindValue(name, value)) return {};
    if (value.type != rdString && value.type != rdExpandString) InvalidType(name);
    return value.bytes;
}

void TRegistry::WriteString(std::string_view name, std::string_view value) {
    PutValue(name, EscapeText(value));
}

int TRegistry::ReadInteger(std::string_view name) {
    const Value value = GetValue(name);
    if (value.type != rdInteger) InvalidType(name);
    return value.integer;
}

void TRegistry::WriteInteger(std::string_view name, int value) {
    PutValue(name, std::string(kDword) + std::to_string(value));
}

bool TRegistry::ReadBool(std::string_view name) {
    return ReadInteger(name) != 0;
}

void TRegistry::WriteBool(std::string_view name, bool value) {
    WriteInteger(name, value ? 1 : 0);
}

double TRegistry::ReadFloat(std::string_view name) {
    const Value value = GetValue(name);
    if (value.type != rdBinary || value.bytes.size() != sizeof(double)) InvalidType(name);
    double result = 0;
    std::memcpy(&result, value.bytes.data(), sizeof result);
    return result;
}

void TRegistry::WriteFloat(std::string_view name, double value) {
    PutValue(name, EncodeBinary(&value, sizeof value));
}

int TRegistry::ReadBinaryData(std::string_view name, void* buffer, int bufferSize) {
    const Value value = GetValue(name);
    if (value.type != rdBinary) InvalidType(name);
    if (bufferSize < 0 || value.bytes.size() > static_cast<std::size_t>(bufferSize))
        GetFailed(name);
    if (!value.bytes.empty()) std::memcpy(buffer, value.bytes.data(), value.bytes.size());
    return static_cast<int>(value.bytes.size());
}

void TRegistry::WriteBinaryData(std::string_view name, const void* buffer, int bufferSize) {
    if (bufferSize < 0)
        throw ERegistryException("Failed to set data for '" + std::string(name) + "'");
    PutValue(name, EncodeBinary(buffer, static_cast<std::size_t>(bufferSize)));
}

// ---- TRegistryIniFile --------------------------------------------------------------------------

TRegistryIniFile::TRegistryIniFile(std::string key, HKEY root)
    : TCustomIniFile(std::move(key)), registry_(std::make_unique<TRegistry>()) {
    registry_->SetRootKey(root);
}

TRegistryIniFile::~TRegistryIniFile() = default;

std::string TRegistryIniFile::SectionKey(std::string_view section) const {
    std::string key = FileName();
    if (key.empty() || key.front() != '\\') key.insert(key.begin(), '\\');
    if (!section.empty()) key += "\\" + std::string(section);
    return key;
}

bool TRegistryIniFile::OpenSection(std::string_view section, bool canCreate) {
    TRegistry& reg = *registry_;
    reg.CloseKey();
    return canCreate ? reg.OpenKey(SectionKey(section), true)
                     : reg.OpenKeyReadOnly(SectionKey(section));
}

std::string TRegistryIniFile::ReadString(std::string_view section, std::string_view ident,
                                         std::string_view defaultValue) {
    if (!OpenSection(section, false) || !registry_->ValueExists(ident))
        return std::string(defaultValue);
    switch (registry_->GetDataType(ident)) {
    case rdInteger:
        return std::to_string(registry_->ReadInteger(ident));
    case rdString:
    case rdExpandString:
        return registry_->ReadString(ident);
    case rdBinary:
    case rdUnknown:
        break;
    }
    return std::string(defaultValue);
}

void TRegistryIniFile::WriteString(std::string_view section, std::string_view ident,
                                   std::string_view value) {
    if (!OpenSection(section, true))
        throw ERegistryException("Failed to create key '" + SectionKey(section) + "'");
    registry_->WriteString(ident, value);
}

int TRegistryIniFile::ReadInteger(std::string_view section, std::string_view ident,
                                  int defaultValue) {
    if (OpenSection(section, false) && registry_->GetDataType(ident) == rdInteger)
        return registry_->ReadInteger(ident);
    return TCustomIniFile::ReadInteger(section, ident, defaultValue);
}

void TRegistryIniFile::WriteInteger(std::string_view section, std::string_view ident, int value) {
    if (!OpenSection(section, true))
        throw ERegistryException("Failed to create key '" + SectionKey(section) + "'");
    registry_->WriteInteger(ident, value);
}

bool TRegistryIniFile::ReadBool(std::string_view section, std::string_view ident,
                                bool defaultValue) {
    if (OpenSection(section, false) && registry_->GetDataType(ident) == rdInteger)
        return registry_->ReadInteger(ident) != 0;
    return TCustomIniFile::ReadBool(section, ident, defaultValue);
}

void TRegistryIniFile::WriteBool(std::string_view section, std::string_view ident, bool value) {
    WriteInteger(section, ident, value ? 1 : 0);
}

bool TRegistryIniFile::ReadStoredDouble(std::string_view section, std::string_view ident,
                                        double& value) {
    if (!OpenSection(section, false) || registry_->GetDataType(ident) != rdBinary ||
        registry_->GetDataSize(ident) != static_cast<int>(sizeof(double)))
        return false;
    value = registry_->ReadFloat(ident);
    return true;
}

double TRegistryIniFile::ReadFloat(std::string_view section, std::string_view ident,
                                   double defaultValue) {
    double value = 0;
    return ReadStoredDouble(section, ident, value)
               ? value
               : TCustomIniFile::ReadFloat(section, ident, defaultValue);
}

TDateTime TRegistryIniFile::ReadDate(std::string_view section, std::string_view ident,
                                     TDateTime defaultValue) {
    double value = 0;
    return ReadStoredDouble(section, ident, value)
               ? value
               : TCustomIniFile::ReadDate(section, ident, defaultValue);
}

TDateTime TRegistryIniFile::ReadDateTime(std::string_view section, std::string_view ident,
                                         TDateTime defaultValue) {
    double value = 0;
    return ReadStoredDouble(section, ident, value)
               ? value
               : TCustomIniFile::ReadDateTime(section, ident, defaultValue);
}

TDateTime TRegistryIniFile::ReadTime(std::string_view section, std::string_view ident,
                                     TDateTime defaultValue) {
    double value = 0;
    return ReadStoredDouble(section, ident, value)
               ? value
               : TCustomIniFile::ReadTime(section, ident, defaultValue);
}

void TRegistryIniFile::WriteFloat(std::string_view section, std::string_view ident, double value) {
    if (!OpenSection(section, true))
        throw ERegistryException("Failed to create key '" + SectionKey(section) + "'");
    registry_->WriteFloat(ident, value);
}

void TRegistryIniFile::WriteDate(std::string_view section, std::string_view ident,
                                 TDateTime value) {
    WriteFloat(section, ident, value);
}

void TRegistryIniFile::WriteDateTime(std::string_view section, std::string_view ident,
                                     TDateTime value) {
    WriteFloat(section, ident, value);
}

void TRegistryIniFile::WriteTime(std::string_view section, std::string_view ident,
                                 TDateTime value) {
    WriteFloat(section, ident, value);
}

int TRegistryIniFile::ReadBinaryStream(std::string_view section, std::string_view ident,
                                       TStream& value) {
    if (!OpenSection(section, false) || registry_->GetDataType(ident) != rdBinary) return 0;
    const int size = registry_->GetDataSize(ident);
    std::string bytes(static_cast<std::size_t>(size), '\0');
    registry_->ReadBinaryData(ident, bytes.data(), size);
    value.WriteBuffer(bytes.data(), size);
    return size;
}

void TRegistryIniFile::WriteBinaryStream(std::string_view section, std::string_view ident,
                                         TStream& value) {
    const std::int64_t count = std::max<std::int64_t>(value.Size() - value.Position(), 0);
    if (count > INT32_MAX)
        throw ERegistryException("Failed to set data for '" + std::string(ident) + "'");
    std::string bytes(static_cast<std::size_t>(count), '\0');
    value.ReadBuffer(bytes.data(), count);
    if (!OpenSection(section, true))
        throw ERegistryException("Failed to create key '" + SectionKey(section) + "'");
    registry_->WriteBinaryData(ident, bytes.data(), static_cast<int>(count));
}

std::vector<std::string> TRegistryIniFile::ReadSection(std::string_view section) {
    return OpenSection(section, false) ? registry_->GetValueNames() : std::vector<std::string>{};
}

std::vector<std::string> TRegistryIniFile::ReadSections() {
    return OpenSection({}, false) ? registry_->GetKeyNames() : std::vector<std::string>{};
}

std::vector<std::string> TRegistryIniFile::ReadSectionValues(std::string_view section) {
    std::vector<std::string> lines;
    for (const std::string& name : ReadSection(section))
        lines.push_back(name + "=" + ReadString(section, name, ""));
    return lines;
}

bool TRegistryIniFile::SectionExists(std::string_view section) {
    registry_->CloseKey();
    return registry_->KeyExists(SectionKey(section));
}

bool TRegistryIniFile::ValueExists(std::string_view section, std::string_view ident) {
    return OpenSection(section, false) && registry_->ValueExists(ident);
}

void TRegistryIniFile::EraseSection(std::string_view section) {
    registry_->CloseKey();
    registry_->DeleteKey(SectionKey(section));
}

void TRegistryIniFile::DeleteKey(std::string_view section, std::string_view ident) {
    // Writable but not created: deleting from a missing section must not make it.
    registry_->CloseKey();
    if (registry_->OpenKey(SectionKey(section), false)) registry_->DeleteValue(ident);
}
