#pragma once
// Script binding of INI files: the abstract INI file with its typed reads and writes, the
// in-memory INI file and the INI file that works on the disk, plus string lists stored in a
// section, the values of a section, and whole INI files copied to and from streams.

#include "platform/core/ini_file.h"
#include "script/classes_binding.h"
#include "script/runtime.h"

const TClassInfo& TCustomIniFileScriptClass();
const TClassInfo& TMemIniFileScriptClass();
const TClassInfo& TIniFileScriptClass();

// The INI files scripts create (objects scripts can hold).
class TksIniFile : public TObject, public TIniFile, public IksScriptClass {
public:
    using TIniFile::TIniFile;
    const TClassInfo& ScriptClass() const override { return TIniFileScriptClass(); }
};

class TksMemIniFile : public TObject, public TMemIniFile, public IksScriptClass {
public:
    using TMemIniFile::TMemIniFile;
    const TClassInfo& ScriptClass() const override { return TMemIniFileScriptClass(); }
};

// A string list in a section: keys Items0, Items1, ... and Count. IsClear erases the section
// first (writing) or clears the list first (reading).
void WriteTStrings(TCustomIniFile& ini, std::string_view section, const TStrings& value,
                   bool isClear);
void ReadTStrings(TCustomIniFile& ini, std::string_view section, TStrings& value, bool isClear);
// Only the value part of each name=value line of the section.
void ReadSectionValuesEx(TCustomIniFile& ini, std::string_view section, TStrings& strings);
// The whole file as lines, to and from a stream: a disk file is read from (written to) the file
// named FileName, an in-memory file gives (takes) its current content. Other INI classes: nothing.
void SaveIniFileToStream(TCustomIniFile& ini, TStream& stream);
void LoadIniFileFromStream(TCustomIniFile& ini, TStream& stream);

class TksIniModule : public TksRTTIModule {
public:
    explicit TksIniModule(TksScript* script);

private:
    Variant CallMethod(TObject* instance, const TClassInfo* classType, const std::string& name,
                       TksMethodHelper& caller);
};

// Adds the module to the host module list (once), after the modules already there.
void ksRegisterIniBinding();
void ksUnregisterIniBinding();
