#pragma once
// The data module: the connection to the exam database, the exam query and its data source.

#include <string>

#include "platform/ui/form.h"

class TADOConnection;
class TADOQuery;
class TDataSource;

class TDM : public TDataModule {
    LUMETRA_CLASS(TDM, TDataModule)
public:
    // Runs DataModuleCreate, which connects to MainUnit().DbFile when the file exists; a
    // failure goes to the application's error box and leaves the connection closed.
    explicit TDM(TComponent* owner);
    ~TDM() override;

    // Closes the connection, sets its connection string from the current DbFile and, when that
    // file exists, connects (open) or leaves it closed. Connection errors are raised.
    void Connect(bool open);

    TADOConnection* Mconnect = nullptr;
    TADOQuery* Mqry = nullptr;
    TDataSource* MDC = nullptr;

private:
    void DataModuleCreate(TObject* sender);
};

// The connection string of an exam database file.
std::string ExamConnectionString(const std::string& dbFile);

// The data module of the running program (null before it is created and after it is gone).
extern TDM* DM;

// The text of the exam query's field on its current row; "" without the module or the field.
std::string ExamFieldText(const char* name);
