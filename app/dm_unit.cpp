#include "app/dm_unit.h"

#include "app/main_unit.h"
#include "platform/core/files.h"
#include "platform/data/ado.h"
#include "platform/data/field.h"

TDM* DM = nullptr;

namespace {
// The archives carry this fixed database password.
constexpr const char* kDatabasePassword = "5827140";
} // namespace

std::string ExamFieldText(const char* name) {
    const TField* f = DM && DM->Mqry ? DM->Mqry->FindField(name) : nullptr;
    return f ? f->AsString() : std::string();
}

std::string ExamConnectionString(const std::string& dbFile) {
    // The browser only reads the department's archive.
    return std::string("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=") + dbFile +
           ";Mode=Read;Persist Security Info=False;Jet OLEDB:Database Password=" +
           kDatabasePassword;
}

TDM::TDM(TComponent* owner) : TDataModule(owner) {
    SetName("DM");
    Mconnect = new TADOConnection(this);
    Mconnect->SetName("Mconnect");
    Mconnect->SetLoginPrompt(false);
    Mconnect->SetMode(cmShareDenyNone);
    Mconnect->SetConnectionString("Provider=Microsoft.Jet.OLEDB.4.0");
    Mqry = new TADOQuery(this);
    Mqry->SetName("Mqry");
    Mqry->SetConnection(Mconnect);
    Mqry->SetCursorType(ctStatic);
    Mqry->SQL().SetText("select * from patient;");
    MDC = new TDataSource(this);
    MDC->SetName("MDC");
    MDC->SetDataSet(Mqry);
    DM = this;
    OnCreate = [this](TObject* sender) { DataModuleCreate(sender); };
    // A failing creation handler goes to the error box and start-up goes on.
    DoCreate();
}

TDM::~TDM() {
    if (DM == this) DM = nullptr;
}

void TDM::DataModuleCreate(TObject*) {
    Connect(true);
}

void TDM::Connect(bool open) {
    Mconnect->Close();
    Mconnect->SetConnectionString(ExamConnectionString(MainUnit().DbFile));
    if (FileExists(MainUnit().DbFile)) Mconnect->SetConnected(open);
}
