#pragma once
// The ADO classes over the providers: the connection, the data sets (query, table, plain
// command text, the schema rowsets) and commands that return no rows.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/core/component.h"
#include "platform/core/string_list.h"
#include "platform/data/data_set.h"
#include "platform/data/data_source.h"
#include "platform/data/params.h"
#include "platform/data/provider.h"

enum TCursorType { ctUnspecified, ctOpenForwardOnly, ctKeyset, ctDynamic, ctStatic };
enum TADOLockType { ltUnspecified, ltReadOnly, ltPessimistic, ltOptimistic, ltBatchOptimistic };
enum TSchemaInfo { siTables };

const TTypeInfo& TypeInfoConnectMode();
const TTypeInfo& TypeInfoCursorType();
const TTypeInfo& TypeInfoADOLockType();

class TCustomADODataSet;
class TADODataSet;

// Called before connecting when LoginPrompt is set; the handler supplies the user and the
// password that go into the connection string.
using TLoginEvent =
    std::function<void(TObject* sender, std::string& userName, std::string& password)>;

class TADOConnection : public TComponent {
    LUMETRA_CLASS(TADOConnection, TComponent)
public:
    explicit TADOConnection(TComponent* owner);
    ~TADOConnection() override;
    static void RegisterProperties(TClassBuilder<TADOConnection>& b);

    const std::string& ConnectionString() const { return connectionString_; }
    // Raises EDatabaseError while connected.
    void SetConnectionString(const std::string& value);
    // The Provider= value of the connection string.
    std::string Provider() const;
    bool Connected() const { return provider_ != nullptr; }
    // Connecting raises EDatabaseError with the database's message and stays disconnected.
    // Disconnecting closes the data sets that use the connection.
    void SetConnected(bool value);
    void Open() { SetConnected(true); }
    void Close() { SetConnected(false); }
    bool LoginPrompt() const { return loginPrompt_; }
    void SetLoginPrompt(bool value) { loginPrompt_ = value; }
    TConnectMode Mode() const { return mode_; }
    void SetMode(TConnectMode value);

    // Runs a statement that returns no rows; the number of rows it changed.
    int Execute(const std::string& sql);
    // Table names (every type but system tables unless asked for).
    void GetTableNames(TStrings& list, bool systemTables = false);
    // The provider's schema rowset into dataSet (siTables: TABLE_CATALOG, TABLE_SCHEMA,
    // TABLE_NAME, TABLE_TYPE), opened.
    void OpenSchema(TSchemaInfo schema, TADODataSet& dataSet);

    // Data sets and commands using this connection (kept in sync by them).
    int DataSetCount() const { return static_cast<int>(dataSets_.size()); }
    TCustomADODataSet* DataSets(int index) const {
        return dataSets_.at(static_cast<std::size_t>(index));
    }
    // The open provider; connects first when needed.
    TDbProvider& ActiveProvider();

    TNotifyEvent BeforeConnect, AfterConnect, BeforeDisconnect, AfterDisconnect;
    TLoginEvent OnLogin;

private:
    friend class TCustomADODataSet;
    std::string connectionString_;
    bool loginPrompt_ = true;
    TConnectMode mode_ = cmUnknown;
    std::unique_ptr<TDbProvider> provider_;
    std::vector<TCustomADODataSet*> dataSets_;
};

class TCustomADODataSet : public TDataSet {
    LUMETRA_CLASS(TCustomADODataSet, TDataSet)
public:
    explicit TCustomADODataSet(TComponent* owner);
    ~TCustomADODataSet() override;
    static void RegisterProperties(TClassBuilder<TCustomADODataSet>& b);

    TADOConnection* Connection() const { return connection_; }
    void SetConnection(TADOConnection* value);
    TCursorType CursorType() const { return cursorType_; }
    void SetCursorType(TCursorType value) { cursorType_ = value; }
    TADOLockType LockType() const { return lockType_; }
    void SetLockType(TADOLockType value) { lockType_ = value; }
    int CommandTimeout() const { return commandTimeout_; }
    void SetCommandTimeout(int value) { commandTimeout_ = value; }
    TParameters* Parameters() { return &parameters_; }

protected:
    // The statement the data set runs, with ":name" markers.
    virtual std::string CommandSQL() const = 0;
    TDbResultSet OpenResult() override;
    std::vector<TDbColumn> DescribeColumns() override;
    void Notification(TComponent* component, TOperation operation) override;
    // The statement with "?" markers and the parameter values in marker order.
    std::string PrepareCommand(std::vector<Variant>& values) const;
    TDbProvider& Provider();

    // The master whose current row feeds this data set; when the master opens, scrolls or
    // changes, an open data set runs its command again.
    TDataSource* MasterLink() const { return master_; }
    void SetMasterLink(TDataSource* source);
    // The master's value of a field, Null when it has none or is closed.
    Variant MasterValue(std::string_view fieldName) const;
    // A parameter value the data set supplies itself (unbound parameters only): true when it
    // knows the name.
    virtual bool MasterParam(const std::string& name, Variant& value) const;

private:
    friend class TADOConnection;
    void MasterChanged(TDataEvent event);

    TDataSource* master_ = nullptr;
    int masterLinkId_ = 0;
    TADOConnection* connection_ = nullptr;
    TCursorType cursorType_ = ctKeyset;
    TADOLockType lockType_ = ltOptimistic;
    int commandTimeout_ = 30;
    TParameters parameters_;
};

class TADOQuery : public TCustomADODataSet {
    LUMETRA_CLASS(TADOQuery, TCustomADODataSet)
public:
    explicit TADOQuery(TComponent* owner);
    static void RegisterProperties(TClassBuilder<TADOQuery>& b);

    // Changing the lines closes the query and rebuilds Parameters (when ParamCheck is set).
    TStringList& SQL() { return sql_; }
    bool ParamCheck() const { return paramCheck_; }
    void SetParamCheck(bool value) { paramCheck_ = value; }
    // Runs the SQL as a statement without rows; the number of rows changed.
    int ExecSQL();
    int RowsAffected() const { return rowsAffected_; }
    // The master: parameters without a value take its fields of the same name.
    TDataSource* DataSource() const { return MasterLink(); }
    void SetDataSource(TDataSource* value) { SetMasterLink(value); }

protected:
    std::string CommandSQL() const override;
    bool MasterParam(const std::string& name, Variant& value) const override;

private:
    TStringList sql_;
    bool paramCheck_ = true;
    int rowsAffected_ = -1;
};

class TADOTable : public TCustomADODataSet {
    LUMETRA_CLASS(TADOTable, TCustomADODataSet)
public:
    explicit TADOTable(TComponent* owner);
    static void RegisterProperties(TClassBuilder<TADOTable>& b);

    const std::string& TableName() const { return tableName_; }
    void SetTableName(const std::string& value);
    const std::string& IndexName() const { return indexName_; }
    void SetIndexName(const std::string& value) { indexName_ = value; }
    // "a;b": the rows come ordered by these fields.
    const std::string& IndexFieldNames() const { return indexFieldNames_; }
    void SetIndexFieldNames(const std::string& value);
    // Master-detail: the rows whose IndexFieldNames equal the master's MasterFields ("a;b",
    // pair by pair) on the master's current row.
    TDataSource* MasterSource() const { return MasterLink(); }
    void SetMasterSource(TDataSource* value) { SetMasterLink(value); }
    const std::string& MasterFields() const { return masterFields_; }
    void SetMasterFields(const std::string& value);

protected:
    std::string CommandSQL() const override;
    bool MasterParam(const std::string& name, Variant& value) const override;

private:
    std::string masterFields_;
    std::string tableName_;
    std::string indexName_;
    std::string indexFieldNames_;
};

// A data set over command text; also the target of TADOConnection::OpenSchema.
class TADODataSet : public TCustomADODataSet {
    LUMETRA_CLASS(TADODataSet, TCustomADODataSet)
public:
    explicit TADODataSet(TComponent* owner);
    static void RegisterProperties(TClassBuilder<TADODataSet>& b);

    const std::string& CommandText() const { return commandText_; }
    void SetCommandText(const std::string& value);

protected:
    std::string CommandSQL() const override { return commandText_; }
    TDbResultSet OpenResult() override;

private:
    friend class TADOConnection;
    std::string commandText_;
    std::unique_ptr<TDbResultSet> preset_;
};

class TADOCommand : public TComponent {
    LUMETRA_CLASS(TADOCommand, TComponent)
public:
    explicit TADOCommand(TComponent* owner);
    ~TADOCommand() override;
    static void RegisterProperties(TClassBuilder<TADOCommand>& b);

    TADOConnection* Connection() const { return connection_; }
    void SetConnection(TADOConnection* value);
    const std::string& CommandText() const { return commandText_; }
    void SetCommandText(const std::string& value);
    TParameters* Parameters() { return &parameters_; }
    // Runs the command; the number of rows it changed.
    int Execute();

protected:
    void Notification(TComponent* component, TOperation operation) override;

private:
    TADOConnection* connection_ = nullptr;
    std::string commandText_;
    TParameters parameters_;
};
