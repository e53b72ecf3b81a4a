#include "platform/data/ado.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "platform/core/properties.h"
#include "platform/core/text.h"
#include "platform/data/connection_string.h"

const TTypeInfo& TypeInfoConnectMode() {
    static const TTypeInfo& t = DefineEnumType(
        "TConnectMode", {"cmUnknown", "cmRead", "cmWrite", "cmReadWrite", "cmShareDenyRead",
                         "cmShareDenyWrite", "cmShareExclusive", "cmShareDenyNone"});
    return t;
}

const TTypeInfo& TypeInfoCursorType() {
    static const TTypeInfo& t = DefineEnumType(
        "TCursorType", {"ctUnspecified", "ctOpenForwardOnly", "ctKeyset", "ctDynamic", "ctStatic"});
    return t;
}

const TTypeInfo& TypeInfoADOLockType() {
    static const TTypeInfo& t =
        DefineEnumType("TADOLockType", {"ltUnspecified", "ltReadOnly", "ltPessimistic",
                                        "ltOptimistic", "ltBatchOptimistic"});
    return t;
}

namespace {

std::string Prefixed(const TComponent& c, const std::string& msg) {
    return c.Name().empty() ? msg : c.Name() + ": " + msg;
}

} // namespace

// ---- TADOConnection ----------------------------------------------------------------------------

void TADOConnection::RegisterProperties(TClassBuilder<TADOConnection>& b) {
    b.Add("ConnectionString", &TADOConnection::ConnectionString,
          &TADOConnection::SetConnectionString);
    b.Add("LoginPrompt", &TADOConnection::LoginPrompt, &TADOConnection::SetLoginPrompt).Default(1);
    b.Add("Mode", TypeInfoConnectMode(), &TADOConnection::Mode, &TADOConnection::SetMode)
        .Default(cmUnknown);
    b.Add("Connected", &TADOConnection::Connected, &TADOConnection::SetConnected).Default(0);
}

TADOConnection::TADOConnection(TComponent* owner) : TComponent(owner) {}

TADOConnection::~TADOConnection() {
    for (TCustomADODataSet* ds : std::vector<TCustomADODataSet*>(dataSets_)) {
        ds->Close();
        ds->connection_ = nullptr;
    }
    provider_.reset();
}

void TADOConnection::SetConnectionString(const std::string& value) {
    if (value == connectionString_) return;
    if (Connected())
        throw EDatabaseError(Prefixed(*this, "Operation is not allowed when the object is open."));
    connectionString_ = value;
}

void TADOConnection::SetMode(TConnectMode value) {
    if (Connected())
        throw EDatabaseError(Prefixed(*this, "Operation is not allowed when the object is open."));
    mode_ = value;
}

std::string TADOConnection::Provider() const {
    return TConnectionString(connectionString_).Value("Provider");
}

void TADOConnection::SetConnected(bool value) {
    if (value == Connected()) return;
    if (value) {
        if (BeforeConnect) BeforeConnect(this);
        std::string cs = connectionString_;
        if (loginPrompt_ && OnLogin) {
            TConnectionString parsed(cs);
            std::string user = parsed.Value("User ID"), password;
            OnLogin(this, user, password);
            cs += ";User ID=" + user + ";Password=" + password;
        }
        provider_ = OpenProvider(cs, mode_);
        if (AfterConnect) AfterConnect(this);
    } else {
        if (BeforeDisconnect) BeforeDisconnect(this);
        for (TCustomADODataSet* ds : std::vector<TCustomADODataSet*>(dataSets_))
            ds->Close();
        provider_.reset();
        if (AfterDisconnect) AfterDisconnect(this);
    }
}

TDbProvider& TADOConnection::ActiveProvider() {
    if (!provider_) SetConnected(true);
    return *provider_;
}

int TADOConnection::Execute(const std::string& sql) {
    TParsedSQL parsed = ParseSQLParams(sql);
    if (!parsed.Names.empty())
        throw EDatabaseError("Parameter '" + parsed.Names.front() + "' has no value");
    return ActiveProvider().Execute(parsed.Text, {});
}

void TADOConnection::GetTableNames(TStrings& list, bool systemTables) {
    auto tables = ActiveProvider().Tables();
    list.BeginUpdate();
    list.Clear();
    for (const auto& t : tables)
        if (systemTables || !SameText(t.Type, "SYSTEM TABLE")) list.Add(t.Name);
    list.EndUpdate();
}

void TADOConnection::OpenSchema(TSchemaInfo schema, TADODataSet& dataSet) {
    (void)schema; // siTables is the one rowset offered
    TDbResultSet rs;
    for (const char* n : {"TABLE_CATALOG", "TABLE_SCHEMA", "TABLE_NAME", "TABLE_TYPE"})
        rs.Columns.push_back(TDbColumn{n, ftWideString, 128, false});
    auto text = [](const std::string& s) { return s.empty() ? Variant::Null() : Variant(s); };
    for (const auto& t : ActiveProvider().Tables()) {
        rs.Cells.push_back(text(t.Catalog));
        rs.Cells.push_back(text(t.Schema));
        rs.Cells.push_back(Variant(t.Name));
        rs.Cells.push_back(Variant(t.Type));
    }
    dataSet.Close();
    dataSet.preset_ = std::make_unique<TDbResultSet>(std::move(rs));
    try {
        dataSet.Open();
    } catch (...) {
        dataSet.preset_.reset();
        throw;
    }
    dataSet.preset_.reset();
}

// ---- TCustomADODataSet -------------------------------------------------------------------------

void TCustomADODataSet::RegisterProperties(TClassBuilder<TCustomADODataSet>& b) {
    b.Add("Connection", &TCustomADODataSet::Connection, &TCustomADODataSet::SetConnection);
    b.Add("CursorType", TypeInfoCursorType(), &TCustomADODataSet::CursorType,
          &TCustomADODataSet::SetCursorType)
        .Default(ctKeyset);
    b.Add("LockType", TypeInfoADOLockType(), &TCustomADODataSet::LockType,
          &TCustomADODataSet::SetLockType)
        .Default(ltOptimistic);
    b.Add("CommandTimeout", &TCustomADODataSet::CommandTimeout,
          &TCustomADODataSet::SetCommandTimeout)
        .Default(30);
    b.Add(
        "Parameters", [](TCustomADODataSet& d) { return d.Parameters(); }, nullptr);
}

TCustomADODataSet::TCustomADODataSet(TComponent* owner) : TDataSet(owner), parameters_(this) {}

TCustomADODataSet::~TCustomADODataSet() {
    // Unlinked without running the command again: the subclass is gone already.
    if (master_) {
        master_->RemoveDataLink(masterLinkId_);
        master_->RemoveFreeNotification(this);
    }
    // Closing here, while the subclass's data is still ours to describe.
    if (connection_) {
        std::erase(connection_->dataSets_, this);
        connection_->RemoveFreeNotification(this);
    }
}

void TCustomADODataSet::SetConnection(TADOConnection* value) {
    if (value == connection_) return;
    Close();
    if (connection_) {
        std::erase(connection_->dataSets_, this);
        connection_->RemoveFreeNotification(this);
    }
    connection_ = value;
    if (connection_) {
        connection_->dataSets_.push_back(this);
        connection_->FreeNotification(this);
    }
    InvalidateFieldDefs();
}

void TCustomADODataSet::SetMasterLink(TDataSource* source) {
    if (source == master_) return;
    if (master_) {
        master_->RemoveDataLink(masterLinkId_);
        master_->RemoveFreeNotification(this);
    }
    master_ = source;
    masterLinkId_ = 0;
    if (master_) {
        master_->FreeNotification(this);
        masterLinkId_ = master_->AddDataLink([this](TDataEvent e) { MasterChanged(e); });
    }
    if (Active()) MasterChanged(TDataEvent::deDataSetChanged);
}

void TCustomADODataSet::MasterChanged(TDataEvent event) {
    if (event == TDataEvent::deClosing || !Active()) return;
    Close();
    Open();
}

Variant TCustomADODataSet::MasterValue(std::string_view fieldName) const {
    TDataSet* ds = master_ ? master_->DataSet() : nullptr;
    TField* f = ds && ds->Active() ? ds->FindField(fieldName) : nullptr;
    return f ? f->Value() : Variant::Null();
}

bool TCustomADODataSet::MasterParam(const std::string&, Variant&) const {
    return false;
}

void TCustomADODataSet::Notification(TComponent* component, TOperation operation) {
    if (operation == TOperation::opRemove && component == connection_) {
        Close();
        connection_ = nullptr;
    }
    if (operation == TOperation::opRemove && component == master_) {
        master_ = nullptr; // its links go with it
        masterLinkId_ = 0;
    }
    TDataSet::Notification(component, operation);
}

TDbProvider& TCustomADODataSet::Provider() {
    if (!connection_)
        throw EDatabaseError(Prefixed(*this, "Missing Connection or ConnectionString"));
    return connection_->ActiveProvider();
}

std::string TCustomADODataSet::PrepareCommand(std::vector<Variant>& values) const {
    std::string sql = CommandSQL();
    if (Trim(sql).empty())
        throw EDatabaseError(Prefixed(*this, "CommandText does not return a result set"));
    TParsedSQL parsed = ParseSQLParams(sql);
    values.clear();
    for (const std::string& name : parsed.Names) {
        TParam* p = parameters_.FindParam(name);
        Variant fromMaster;
        if ((!p || !p->Bound()) && MasterParam(name, fromMaster)) {
            values.push_back(fromMaster);
            continue;
        }
        if (!p) throw EDatabaseError(Prefixed(*this, "Parameter '" + name + "' not found"));
        values.push_back(p->Value().IsEmpty() ? Variant::Null() : p->Value());
    }
    return parsed.Text;
}

TDbResultSet TCustomADODataSet::OpenResult() {
    std::vector<Variant> values;
    std::string sql = PrepareCommand(values);
    return Provider().Query(sql, values);
}

std::vector<TDbColumn> TCustomADODataSet::DescribeColumns() {
    std::vector<Variant> values;
    std::string sql = PrepareCommand(values);
    return Provider().Describe(sql, values);
}

// ---- TADOQuery ---------------------------------------------------------------------------------

void TADOQuery::RegisterProperties(TClassBuilder<TADOQuery>& b) {
    b.Add("ParamCheck", &TADOQuery::ParamCheck, &TADOQuery::SetParamCheck).Default(1);
    b.Add("DataSource", &TADOQuery::DataSource, &TADOQuery::SetDataSource);
    b.Add(
        "SQL", [](TADOQuery& q) { return static_cast<TStrings*>(&q.SQL()); },
        [](TADOQuery& q, TStrings* lines) {
            if (lines)
                q.SQL().Assign(*lines);
            else
                q.SQL().Clear();
        });
}

TADOQuery::TADOQuery(TComponent* owner) : TCustomADODataSet(owner) {
    sql_.OnChange = [this](TObject*) {
        Close(); // the fields of the old text would no longer describe the query
        if (paramCheck_) Parameters()->ParseSQL(sql_.Text());
        InvalidateFieldDefs();
    };
}

std::string TADOQuery::CommandSQL() const {
    // Lines joined by a blank-safe break, as the list gives them.
    return sql_.Text();
}

bool TADOQuery::MasterParam(const std::string& name, Variant& value) const {
    TDataSet* ds = MasterLink() ? MasterLink()->DataSet() : nullptr;
    if (!ds || !ds->FindField(name)) return false;
    value = MasterValue(name);
    return true;
}

int TADOQuery::ExecSQL() {
    std::vector<Variant> values;
    std::string sql = PrepareCommand(values);
    rowsAffected_ = Provider().Execute(sql, values);
    return rowsAffected_;
}

// ---- TADOTable ---------------------------------------------------------------------------------

void TADOTable::RegisterProperties(TClassBuilder<TADOTable>& b) {
    b.Add("TableName", &TADOTable::TableName, &TADOTable::SetTableName);
    b.Add("IndexName", &TADOTable::IndexName, &TADOTable::SetIndexName);
    b.Add("IndexFieldNames", &TADOTable::IndexFieldNames, &TADOTable::SetIndexFieldNames);
    b.Add("MasterSource", &TADOTable::MasterSource, &TADOTable::SetMasterSource);
    b.Add("MasterFields", &TADOTable::MasterFields, &TADOTable::SetMasterFields);
}

TADOTable::TADOTable(TComponent* owner) : TCustomADODataSet(owner) {}

void TADOTable::SetTableName(const std::string& value) {
    if (value == tableName_) return;
    CheckInactive("change the table name");
    tableName_ = value;
    InvalidateFieldDefs();
}

void TADOTable::SetIndexFieldNames(const std::string& value) {
    indexFieldNames_ = value;
    if (Active()) {
        Close();
        Open();
    }
}

void TADOTable::SetMasterFields(const std::string& value) {
    masterFields_ = value;
    if (Active()) {
        Close();
        Open();
    }
}

namespace {

std::vector<std::string> SplitFields(const std::string& text) {
    std::vector<std::string> out;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find(';', start);
        if (end == std::string::npos) end = text.size();
        std::string f = Trim(text.substr(start, end - start));
        if (!f.empty()) out.push_back(std::move(f));
        start = end + 1;
    }
    return out;
}

constexpr const char* kMasterParam = "__master";

} // namespace

bool TADOTable::MasterParam(const std::string& name, Variant& value) const {
    if (name.rfind(kMasterParam, 0) != 0) return false;
    auto fields = SplitFields(masterFields_);
    std::size_t i = static_cast<std::size_t>(std::atoi(name.c_str() + std::strlen(kMasterParam)));
    value = i < fields.size() ? MasterValue(fields[i]) : Variant::Null();
    return true;
}

std::string TADOTable::CommandSQL() const {
    if (Trim(tableName_).empty())
        throw EDatabaseError(Prefixed(*this, "Missing TableName property"));
    auto& provider = const_cast<TADOTable&>(*this).Provider();
    std::string sql = "select * from " + provider.QuoteName(tableName_);
    const auto index = SplitFields(indexFieldNames_);
    if (MasterLink() && !Trim(masterFields_).empty()) {
        const auto master = SplitFields(masterFields_);
        if (master.size() > index.size())
            throw EDatabaseError(Prefixed(*this, "MasterFields and IndexFieldNames do not match"));
        for (std::size_t i = 0; i < master.size(); ++i)
            sql += (i ? " and " : " where ") + provider.QuoteName(index[i]) +
                   " = :" + kMasterParam + std::to_string(i);
    }
    std::string order;
    for (const auto& f : index)
        order += (order.empty() ? "" : ", ") + provider.QuoteName(f);
    return order.empty() ? sql : sql + " order by " + order;
}

// ---- TADODataSet -------------------------------------------------------------------------------

void TADODataSet::RegisterProperties(TClassBuilder<TADODataSet>& b) {
    b.Add("CommandText", &TADODataSet::CommandText, &TADODataSet::SetCommandText);
}

TADODataSet::TADODataSet(TComponent* owner) : TCustomADODataSet(owner) {}

void TADODataSet::SetCommandText(const std::string& value) {
    commandText_ = value;
    Parameters()->ParseSQL(value);
    InvalidateFieldDefs();
}

TDbResultSet TADODataSet::OpenResult() {
    if (preset_) return *preset_;
    return TCustomADODataSet::OpenResult();
}

// ---- TADOCommand -------------------------------------------------------------------------------

void TADOCommand::RegisterProperties(TClassBuilder<TADOCommand>& b) {
    b.Add("Connection", &TADOCommand::Connection, &TADOCommand::SetConnection);
    b.Add("CommandText", &TADOCommand::CommandText, &TADOCommand::SetCommandText);
    b.Add(
        "Parameters", [](TADOCommand& c) { return c.Parameters(); }, nullptr);
}

TADOCommand::TADOCommand(TComponent* owner) : TComponent(owner), parameters_(this) {}

TADOCommand::~TADOCommand() {
    if (connection_) connection_->RemoveFreeNotification(this);
}

void TADOCommand::SetConnection(TADOConnection* value) {
    if (connection_) connection_->RemoveFreeNotification(this);
    connection_ = value;
    if (connection_) connection_->FreeNotification(this);
}

void TADOCommand::SetCommandText(const std::string& value) {
    commandText_ = value;
    parameters_.ParseSQL(value);
}

void TADOCommand::Notification(TComponent* component, TOperation operation) {
    if (operation == TOperation::opRemove && component == connection_) connection_ = nullptr;
    TComponent::Notification(component, operation);
}

int TADOCommand::Execute() {
    if (!connection_)
        throw EDatabaseError(Prefixed(*this, "Missing Connection or ConnectionString"));
    TParsedSQL parsed = ParseSQLParams(commandText_);
    std::vector<Variant> values;
    for (const std::string& name : parsed.Names) {
        TParam* p = parameters_.FindParam(name);
        if (!p) throw EDatabaseError(Prefixed(*this, "Parameter '" + name + "' not found"));
        values.push_back(p->Value().IsEmpty() ? Variant::Null() : p->Value());
    }
    return connection_->ActiveProvider().Execute(parsed.Text, values);
}
