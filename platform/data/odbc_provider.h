#pragma once
// The ODBC provider (unixODBC): DSN=, Driver= and MSDASQL connection strings, so an archive
// can live on a database server.

#include <string>

#include "platform/data/provider.h"

class TOdbcProvider : public TDbProvider {
public:
    // connectionString goes to the driver manager as it is (without Provider=).
    explicit TOdbcProvider(const std::string& connectionString);
    ~TOdbcProvider() override;

    TDbResultSet Query(const std::string& sql, const std::vector<Variant>& params) override;
    std::vector<TDbColumn> Describe(const std::string& sql,
                                    const std::vector<Variant>& params) override;
    int Execute(const std::string& sql, const std::vector<Variant>& params) override;
    std::vector<TDbTableInfo> Tables() override;

private:
    void* env_ = nullptr;
    void* dbc_ = nullptr;
    bool connected_ = false;
};
