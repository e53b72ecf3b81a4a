#pragma once
// The settings store in place of the system registry: keys such as
// "\Software\Quillmark\MRUFont" with named string, integer and binary values.
//
// Layout: one UTF-8 INI file "registry.ini" per store; each key is a section named by its root
// and path ("[HKEY_CURRENT_USER\Software\Quillmark\MRUFont]"); each value is a line
// "name=type:data" with type "sz" (text, "\\" and "\xHH" escapes), "dword" (decimal) or "hex"
// (bytes). A line without a known type prefix reads as text, so hand-written files may say
// "Folder=C:\Reports". The default value of a key (the empty name) is stored as "@".
//
// The user store lives in $LUMETRA_CONFIG_DIR, else $XDG_CONFIG_HOME/lumetra, else
// ~/.config/lumetra. Keys of the other roots (HKEY_LOCAL_MACHINE ...) are also looked up in the
// machine store ($LUMETRA_SYSTEM_CONFIG_DIR, else /etc/lumetra), which is never written: their
// writes go to the user store, and a value written there wins over the machine store's.
// Every write reaches the disk at once, atomically.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/core/date_time.h"
#include "platform/core/exception.h"
#include "platform/core/ini_file.h"

LUMETRA_EXCEPTION(ERegistryException, Exception);

enum HKEY : std::uint32_t {
    HKEY_CLASSES_ROOT = 0x80000000u,
    HKEY_CURRENT_USER = 0x80000001u,
    HKEY_LOCAL_MACHINE = 0x80000002u,
    HKEY_USERS = 0x80000003u,
    HKEY_PERFORMANCE_DATA = 0x80000004u,
    HKEY_CURRENT_CONFIG = 0x80000005u,
    HKEY_DYN_DATA = 0x80000006u,
};

enum TRegDataType { rdUnknown, rdString, rdExpandString, rdInteger, rdBinary };

// The folders of the two stores, from the environment as described above.
std::string UserSettingsFolder();
std::string MachineSettingsFolder();

class TIniFile;
class TStrings;

class TRegistry {
public:
    TRegistry();
    ~TRegistry();
    TRegistry(const TRegistry&) = delete;
    TRegistry& operator=(const TRegistry&) = delete;

    HKEY RootKey() const { return root_; }
    // Closes the open key.
    void SetRootKey(HKEY root);
    // The open key's path without a leading "\" (empty when the root or nothing is open).
    const std::string& CurrentPath() const { return currentPath_; }

    // A key starting with "\" is taken from the root, another one from the open key.
    // False when the key does not exist and canCreate is false, or it could not be created.
    bool OpenKey(std::string_view key, bool canCreate);
    // Writes to a key opened read-only raise ERegistryException.
    bool OpenKeyReadOnly(std::string_view key);
    void CloseKey();
    bool CreateKey(std::string_view key);
    bool KeyExists(std::string_view key);
    // Deletes the key with its subkeys from the user store; false when it was not there.
    bool DeleteKey(std::string_view key);
    bool HasSubKeys();
    std::vector<std::string> GetKeyNames();
    std::vector<std::string> GetValueNames();
    void GetKeyNames(TStrings& strings);
    void GetValueNames(TStrings& strings);

    bool ValueExists(std::string_view name);
    bool DeleteValue(std::string_view name);
    TRegDataType GetDataType(std::string_view name);
    // Bytes of the value (text: UTF-8 bytes plus the terminator); -1 when there is none.
    int GetDataSize(std::string_view name);

    // Reads raise ERegistryException "Failed to get data for 'name'" when the value is
    // missing (ReadString gives "" instead) and "Invalid data type for 'name'" when it holds
    // another type. Writes raise "Failed to set data for 'name'" with no writable key open or
    // when the store cannot be written.
    std::string ReadString(std::string_view name);
    void WriteString(std::string_view name, std::string_view value);
    int ReadInteger(std::string_view name);
    void WriteInteger(std::string_view name, int value);
    bool ReadBool(std::string_view name);
    void WriteBool(std::string_view name, bool value);
    // Doubles and dates are 8 binary bytes, as the class library stores them.
    double ReadFloat(std::string_view name);
    void WriteFloat(std::string_view name, double value);
    TDateTime ReadDateTime(std::string_view name) { return ReadFloat(name); }
    void WriteDateTime(std::string_view name, TDateTime value) { WriteFloat(name, value); }
    // Copies the value into buffer and returns its size; raises when bufferSize is too small.
    int ReadBinaryData(std::string_view name, void* buffer, int bufferSize);
    void WriteBinaryData(std::string_view name, const void* buffer, int bufferSize);

    struct Value; // a decoded stored value (implementation detail)

private:
    std::string ResolvePath(std::string_view key) const;
    std::string SectionOf(const std::string& path) const;
    bool UsesMachineStore() const { return root_ != HKEY_CURRENT_USER; }
    TIniFile& UserStore();
    TIniFile* MachineStore();
    bool SectionPresent(TIniFile& store, const std::string& section);
    bool PathExists(const std::string& path);
    bool FindValue(std::string_view name, Value& value);
    Value GetValue(std::string_view name);
    void PutValue(std::string_view name, const std::string& stored);

    HKEY root_ = HKEY_CURRENT_USER;
    std::string currentPath_;
    bool open_ = false;
    bool readOnly_ = false;
    std::unique_ptr<TIniFile> user_;
    std::unique_ptr<TIniFile> machine_;
};

// Sections and named values over a registry key: each section is a subkey of it. Integers and
// Booleans are stored as integer values, floats and dates as 8 binary bytes; reads accept text
// forms as well.
class TRegistryIniFile : public TCustomIniFile {
public:
    // key: "\Software\Quillmark" (FileName() is the key).
    explicit TRegistryIniFile(std::string key, HKEY root = HKEY_CURRENT_USER);
    ~TRegistryIniFile() override;

    TRegistry& RegIniFile() { return *registry_; }

    std::string ReadString(std::string_view section, std::string_view ident,
                           std::string_view defaultValue) override;
    void WriteString(std::string_view section, std::string_view ident,
                     std::string_view value) override;
    int ReadInteger(std::string_view section, std::string_view ident, int defaultValue) override;
    void WriteInteger(std::string_view section, std::string_view ident, int value) override;
    bool ReadBool(std::string_view section, std::string_view ident, bool defaultValue) override;
    void WriteBool(std::string_view section, std::string_view ident, bool value) override;
    double ReadFloat(std::string_view section, std::string_view ident,
                     double defaultValue) override;
    void WriteFloat(std::string_view section, std::string_view ident, double value) override;
    TDateTime ReadDate(std::string_view section, std::string_view ident,
                       TDateTime defaultValue) override;
    TDateTime ReadDateTime(std::string_view section, std::string_view ident,
                           TDateTime defaultValue) override;
    TDateTime ReadTime(std::string_view section, std::string_view ident,
                       TDateTime defaultValue) override;
    void WriteDate(std::string_view section, std::string_view ident, TDateTime value) override;
    void WriteDateTime(std::string_view section, std::string_view ident, TDateTime value) override;
    void WriteTime(std::string_view section, std::string_view ident, TDateTime value) override;
    int ReadBinaryStream(std::string_view section, std::string_view ident, TStream& value) override;
    void WriteBinaryStream(std::string_view section, std::string_view ident,
                           TStream& value) override;

    std::vector<std::string> ReadSection(std::string_view section) override;
    std::vector<std::string> ReadSections() override;
    std::vector<std::string> ReadSectionValues(std::string_view section) override;
    using TCustomIniFile::ReadSection;
    using TCustomIniFile::ReadSections;
    using TCustomIniFile::ReadSectionValues;
    bool SectionExists(std::string_view section) override;
    bool ValueExists(std::string_view section, std::string_view ident) override;
    void EraseSection(std::string_view section) override;
    void DeleteKey(std::string_view section, std::string_view ident) override;
    void UpdateFile() override {}

private:
    bool OpenSection(std::string_view section, bool canCreate);
    std::string SectionKey(std::string_view section) const;
    // True when the value is a binary double (how WriteFloat and WriteDate store them).
    bool ReadStoredDouble(std::string_view section, std::string_view ident, double& value);
    std::unique_ptr<TRegistry> registry_;
};
