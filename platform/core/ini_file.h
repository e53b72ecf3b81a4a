#pragma once
// INI files: named values in sections. TIniFile writes every change to the disk at once (the way
// the platform's profile functions do); TMemIniFile keeps the file in memory until UpdateFile.
// Files hold the legacy code page (GBK) unless another code page is given; names and values
// are UTF-8 in this interface. Section and key names compare ignoring letter case; values are
// trimmed when read; comments and lines that are not entries stay as they were.

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/core/date_time.h"
#include "platform/core/text.h"

class TStream;
class TStrings;

class TCustomIniFile {
public:
    explicit TCustomIniFile(std::string fileName) : fileName_(std::move(fileName)) {}
    virtual ~TCustomIniFile();
    TCustomIniFile(const TCustomIniFile&) = delete;
    TCustomIniFile& operator=(const TCustomIniFile&) = delete;

    const std::string& FileName() const { return fileName_; }

    virtual std::string ReadString(std::string_view section, std::string_view ident,
                                   std::string_view defaultValue) = 0;
    // Raises EIniFileException when the value cannot be stored; what was stored stays.
    virtual void WriteString(std::string_view section, std::string_view ident,
                             std::string_view value) = 0;

    // Decimal, "$" or "0x" hexadecimal; anything else gives the default.
    virtual int ReadInteger(std::string_view section, std::string_view ident, int defaultValue);
    virtual void WriteInteger(std::string_view section, std::string_view ident, int value);
    // "True"/"False" or an integer (not 0 is true); written as "1"/"0".
    virtual bool ReadBool(std::string_view section, std::string_view ident, bool defaultValue);
    virtual void WriteBool(std::string_view section, std::string_view ident, bool value);
    // Text forms of the format settings in force; text that does not convert gives the default.
    virtual double ReadFloat(std::string_view section, std::string_view ident, double defaultValue);
    virtual void WriteFloat(std::string_view section, std::string_view ident, double value);
    virtual TDateTime ReadDate(std::string_view section, std::string_view ident,
                               TDateTime defaultValue);
    virtual TDateTime ReadDateTime(std::string_view section, std::string_view ident,
                                   TDateTime defaultValue);
    virtual TDateTime ReadTime(std::string_view section, std::string_view ident,
                               TDateTime defaultValue);
    virtual void WriteDate(std::string_view section, std::string_view ident, TDateTime value);
    virtual void WriteDateTime(std::string_view section, std::string_view ident, TDateTime value);
    virtual void WriteTime(std::string_view section, std::string_view ident, TDateTime value);
    // Bytes as hexadecimal text. Reading writes the bytes at value's position and returns how
    // many; writing takes value from its position to its end.
    virtual int ReadBinaryStream(std::string_view section, std::string_view ident, TStream& value);
    virtual void WriteBinaryStream(std::string_view section, std::string_view ident,
                                   TStream& value);

    // Key names of a section, section names, and "name=value" lines of a section, in file order.
    virtual std::vector<std::string> ReadSection(std::string_view section) = 0;
    virtual std::vector<std::string> ReadSections() = 0;
    virtual std::vector<std::string> ReadSectionValues(std::string_view section) = 0;
    // The same into a string list, which is cleared first.
    void ReadSection(std::string_view section, TStrings& strings);
    void ReadSections(TStrings& strings);
    void ReadSectionValues(std::string_view section, TStrings& strings);
    // True when the section holds at least one value.
    virtual bool SectionExists(std::string_view section);
    virtual bool ValueExists(std::string_view section, std::string_view ident);
    virtual void EraseSection(std::string_view section) = 0;
    virtual void DeleteKey(std::string_view section, std::string_view ident) = 0;
    virtual void UpdateFile() = 0;

private:
    std::string fileName_;
};

class IniDocument; // the parsed lines, private to ini_file.cpp

// A file on disk. Each read sees the file as it is now (it is parsed again only when it
// changed); each write goes to the disk at once through a temporary file renamed over the old
// one, and a write that would not change the file leaves it untouched (bytes and time).
// A missing or unreadable file reads as empty.
class TIniFile : public TCustomIniFile {
public:
    explicit TIniFile(std::string fileName, int codePage = kAnsiCodePage);
    ~TIniFile() override;

    std::string ReadString(std::string_view section, std::string_view ident,
                           std::string_view defaultValue) override;
    void WriteString(std::string_view section, std::string_view ident,
                     std::string_view value) override;
    std::vector<std::string> ReadSection(std::string_view section) override;
    std::vector<std::string> ReadSections() override;
    std::vector<std::string> ReadSectionValues(std::string_view section) override;
    using TCustomIniFile::ReadSection;
    using TCustomIniFile::ReadSections;
    using TCustomIniFile::ReadSectionValues;
    void EraseSection(std::string_view section) override;
    void DeleteKey(std::string_view section, std::string_view ident) override;
    // Nothing to do: every write is on the disk already.
    void UpdateFile() override {}
    // Adds an empty section unless one of that name exists (SectionExists looks for values;
    // ReadSections lists empty sections too).
    void AddSection(std::string_view section);

private:
    struct Stamp;
    // The document of the file as it is now, parsed again only when the file changed.
    IniDocument& Load(bool forWrite);
    void Save();

    int codePage_;
    std::unique_ptr<IniDocument> doc_;
    std::unique_ptr<Stamp> stamp_;
};

// The whole file in memory; UpdateFile writes it (atomically).
class TMemIniFile : public TCustomIniFile {
public:
    // Loads the file when it exists; EIniFileException when it exists but cannot be read.
    explicit TMemIniFile(std::string fileName, int codePage = kAnsiCodePage);
    ~TMemIniFile() override;

    std::string ReadString(std::string_view section, std::string_view ident,
                           std::string_view defaultValue) override;
    void WriteString(std::string_view section, std::string_view ident,
                     std::string_view value) override;
    std::vector<std::string> ReadSection(std::string_view section) override;
    std::vector<std::string> ReadSections() override;
    std::vector<std::string> ReadSectionValues(std::string_view section) override;
    using TCustomIniFile::ReadSection;
    using TCustomIniFile::ReadSections;
    using TCustomIniFile::ReadSectionValues;
    void EraseSection(std::string_view section) override;
    void DeleteKey(std::string_view section, std::string_view ident) override;
    void UpdateFile() override;

    void Clear();
    // The file's lines as UTF-8 text, and their replacement.
    std::vector<std::string> GetStrings() const;
    void SetStrings(const std::vector<std::string>& lines);
    void GetStrings(TStrings& list) const;
    void SetStrings(const TStrings& list);

private:
    int codePage_;
    std::unique_ptr<IniDocument> doc_;
};
