#pragma once
// The record cursor that the engine, memos, cross-tabs and charts read (TpgwDataSet), the
// user data set fed by callbacks, the base of data sets over class-library data sets (field
// aliases), the database-connection and component-set bases, and the process-wide list of all
// data sets with its lookups by name.

#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "platform/core/string_list.h"
#include "platform/core/variant.h"
#include "report/component.h"

enum TpgwRangeBegin : std::uint8_t { rbFirst, rbCurrent };
enum TpgwRangeEnd : std::uint8_t { reLast, reCurrent, reCount };
enum TpgwFieldType : std::uint8_t { fftNumeric, fftString, fftBoolean };

class TpgwDataSet : public TpgwDialogComponent {
    LUMETRA_CLASS(TpgwDataSet, TpgwDialogComponent)
public:
    // Joins the global data-set list.
    explicit TpgwDataSet(TComponent* owner);
    // Leaves the global data-set list.
    ~TpgwDataSet() override;
    static void RegisterProperties(TClassBuilder<TpgwDataSet>& b);

    const std::string& UserName() const { return userName_; }
    // A blank name raises "prInvProp" and keeps the old one.
    virtual void SetUserName(const std::string& value);
    bool Enabled() const { return enabled_; }
    void SetEnabled(bool value) { enabled_ = value; }
    bool OpenDataSource() const { return openDataSource_; }
    void SetOpenDataSource(bool value) { openDataSource_ = value; }
    bool CloseDataSource() const { return closeDataSource_; }
    void SetCloseDataSource(bool value) { closeDataSource_ = value; }
    TpgwRangeBegin RangeBegin() const { return rangeBegin_; }
    void SetRangeBegin(TpgwRangeBegin value) { rangeBegin_ = value; }
    TpgwRangeEnd RangeEnd() const { return rangeEnd_; }
    void SetRangeEnd(TpgwRangeEnd value) { rangeEnd_ = value; }
    int RangeEndCount() const { return rangeEndCount_; }
    void SetRangeEndCount(int value) { rangeEndCount_ = value; }
    int RecNo() const { return recNo_; }
    void SetRecNo(int value) { recNo_ = value; }
    // The report currently running with the data set.
    TpgwCustomReport* RunningReport() const { return runningReport_; }
    void SetRunningReport(TpgwCustomReport* report) { runningReport_ = report; }

    // A new name also becomes the user name while that is empty.
    void SetName(const std::string& value) override;

    virtual std::u16string GetDisplayText(const std::string& fieldName);
    virtual int GetDisplayWidth(const std::string& fieldName);
    virtual TpgwFieldType GetFieldType(const std::string& fieldName);
    virtual Variant GetValue(const std::string& fieldName);
    virtual void BeginReport() {}
    virtual void EndReport() {}
    virtual void Open();
    virtual void Close();
    virtual void First();
    virtual void Next();
    virtual void Prior();
    virtual bool Eof();
    virtual int FieldsCount();
    virtual bool IsBlobField(const std::string& fieldName);
    virtual int RecordCount();
    virtual void CopyBlobTo(const std::string& fieldName, TStream& stream);
    virtual void GetFieldList(TStrings& list);
    // Whether GetFieldList holds fieldName (letter case ignored).
    bool HasField(const std::string& fieldName);

    std::function<void(TObject* sender, bool& eof)> OnCheckEOF;
    TNotifyEvent OnFirst, OnNext, OnPrior, OnOpen, OnClose;

private:
    std::string userName_;
    TpgwCustomReport* runningReport_ = nullptr;
    int recNo_ = 0;
    int rangeEndCount_ = 0;
    TpgwRangeBegin rangeBegin_ = rbFirst;
    TpgwRangeEnd rangeEnd_ = reLast;
    bool enabled_ = true;
    bool openDataSource_ = true;
    bool closeDataSource_ = false;
    bool reachedEnd_ = false;
};

// A data set whose fields and values come from the application.
class TpgwUserDataSet : public TpgwDataSet {
    LUMETRA_CLASS(TpgwUserDataSet, TpgwDataSet)
public:
    explicit TpgwUserDataSet(TComponent* owner);
    ~TpgwUserDataSet() override;
    static void RegisterProperties(TClassBuilder<TpgwUserDataSet>& b);

    TStrings* Fields() const { return fields_.get(); }
    void SetFields(TStrings* value);

    void GetFieldList(TStrings& list) override;
    int FieldsCount() override;
    Variant GetValue(const std::string& fieldName) override;
    std::u16string GetDisplayText(const std::string& fieldName) override;

    std::function<void(const std::string& varName, Variant& value)> OnGetValue;
    std::function<void(TObject* sender, const std::string& varName, Variant& value)> OnNewGetValue;

private:
    std::unique_ptr<TStringList> fields_;
};

// Base of the data sets over class-library data sets: a sorted field list that the concrete
// class fills, and field aliases ("field=alias" lines).
class TpgwCustomDBDataSet : public TpgwDataSet {
    LUMETRA_CLASS(TpgwCustomDBDataSet, TpgwDataSet)
public:
    explicit TpgwCustomDBDataSet(TComponent* owner);
    ~TpgwCustomDBDataSet() override;
    static void RegisterProperties(TClassBuilder<TpgwCustomDBDataSet>& b);

    TStringList& Fields() { return *fields_; }
    TStrings* FieldAliases() const { return fieldAliases_.get(); }
    void SetFieldAliases(TStrings* value);

    // Both compare without regard to case and give their input back when no line matches.
    std::string AliasToFieldName(std::string_view alias) const;
    std::string FieldNameToAlias(std::string_view fieldName) const;

    int FieldsCount() override;

private:
    std::unique_ptr<TStringList> fields_;
    std::unique_ptr<TStringList> fieldAliases_;
};

// A set of database components offered to the designer.
class TpgwDBComponents : public TComponent {
    LUMETRA_CLASS(TpgwDBComponents, TComponent)
public:
    explicit TpgwDBComponents(TComponent* owner) : TComponent(owner) {}
    virtual std::string ComponentsDescription() { return {}; }
};

// Base of database connections.
class TpgwCustomDatabase : public TpgwDialogComponent {
    LUMETRA_CLASS(TpgwCustomDatabase, TpgwDialogComponent)
public:
    explicit TpgwCustomDatabase(TComponent* owner) : TpgwDialogComponent(owner) {}

    virtual void SetConnected(bool) {}
    virtual void SetDatabaseName(const std::string&) {}
    virtual void SetLoginPrompt(bool) {}
    virtual bool GetConnected() { return false; }
    virtual std::string GetDatabaseName() { return {}; }
    virtual bool GetLoginPrompt() { return false; }
    virtual std::u16string GetConnectionString() { return {}; }
    virtual void SetConnectionString(const std::u16string&) {}
    virtual void SetLogin(const std::string& /*userName*/, const std::string& /*password*/) {}

    // Call the report's OnBeforeConnect and OnAfterDisconnect, when the database is in a
    // report that sets them.
    void FireBeforeConnect(bool& connected);
    void FireAfterDisconnect();
};

// ---- the global data-set list ------------------------------------------------------------------

// None for an empty name; fallback without a report; otherwise the first data set of that user
// name (case ignored) that no other report owns, or fallback.
TpgwDataSet* FindGlobalDataSet(TpgwDataSet* fallback, std::string_view name,
                               TpgwCustomReport* report);
// (UserName, data set) for every enabled data set with a user name.
void FillGlobalDataSetList(TStrings& list);
// Number of data sets alive.
int GlobalDataSetCount();
