// The list report from a SQLite file through pgwprep: the prepared report read back must hold
// every row once with its values, the five groups with their totals, and the page count.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "bench/list-report/list_report_data.h"
#include "platform/core/tests/temp_dir.h"
#include "platform/data/ado.h"
#include "report/abstract_bases.h"
#include "report/memo_view.h"
#include "report/report.h"
#include "tools/pgwprep/tests/run_pgwprep.h"

namespace {

constexpr int kRows = 1000;
// Recorded from pgwprep's "N pages" on the first run over the finished engine. It moves only
// with the layout: text line heights, band stretching or where pages break.
constexpr int kPages = 38;

std::string Money(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.2f", value);
    return text;
}

// The memo's text without its line ends; wrapped lines joined by a blank.
std::string Flat(TpgwCustomMemoView& memo) {
    std::string text = memo.Text(), out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r') continue;
        if (text[i] == '\n') {
            if (i + 1 < text.size() && !out.empty() && out.back() != ' ') out += ' ';
            continue;
        }
        out += text[i];
    }
    while (!out.empty() && out.back() == ' ')
        out.pop_back();
    return out;
}

struct PrintedRow {
    int Id = 0;
    std::map<std::string, std::string> Texts; // by memo name
};

// What the prepared pages show.
struct Prepared {
    PgwprepRun Run;
    int Pages = -1;
    std::vector<PrintedRow> Rows;
    std::vector<std::string> GroupHeaders;
    std::vector<std::pair<std::string, std::string>> Totals; // caption, sum
    std::vector<std::string> Titles, PageOf, FooterPages;
    std::string Error;
};

void MakeDatabase(const std::string& file) {
    TADOConnection c(nullptr);
    c.SetLoginPrompt(false);
    c.SetConnectionString(SqliteConnection(file));
    c.Execute("create table sales (id INTEGER, name VARCHAR(40), date DATETIME, amount FLOAT, "
              "note LONGTEXT, category VARCHAR(20))");
    c.Execute("begin");
    for (int id = 1; id <= kRows; ++id) {
        const ListReportRow r = ListReportRowOf(id);
        c.Execute("insert into sales values (" + std::to_string(id) + ", '" + r.Name + "', '" +
                  r.DateText() + "', " + Money(r.Amount) + ", '" + r.Note + "', '" + r.Category +
                  "')");
    }
    c.Execute("commit");
}

void Read(TpgwCustomPreviewPages& pages, Prepared& p) {
    p.Pages = pages.GetCount();
    std::string pendingTotal;
    for (int i = 0; i < p.Pages; ++i) {
        TpgwComponent* page = pages.GetPage(i);
        for (TpgwComponent* object : page->AllObjects()) {
            auto* memo = dynamic_cast<TpgwCustomMemoView*>(object);
            if (!memo) continue;
            const std::string& name = memo->Name();
            // As the preview draws it: the total page count goes in last.
            memo->TotalPages = p.Pages;
            memo->ExpandPageMacros();
            const std::string text = Flat(*memo);
            if (name == "IdMemo") {
                p.Rows.push_back({std::atoi(text.c_str()), {}});
            } else if (name == "NameMemo" || name == "DateMemo" || name == "AmountMemo" ||
                       name == "Amount11Memo" || name == "NoteMemo") {
                if (!p.Rows.empty()) p.Rows.back().Texts[name] = text;
            } else if (name == "GroupMemo") {
                p.GroupHeaders.push_back(text);
            } else if (name == "TotalCaption") {
                pendingTotal = text;
            } else if (name == "TotalMemo") {
                p.Totals.emplace_back(pendingTotal, text);
            } else if (name == "TitleMemo") {
                p.Titles.push_back(text);
            } else if (name == "PageOfMemo") {
                p.PageOf.push_back(text);
            } else if (name == "FooterPageMemo") {
                p.FooterPages.push_back(text);
            }
        }
    }
}

Prepared Prepare() {
    Prepared p;
    TempDir dir;
    if (dir.Path().empty()) {
        p.Error = "no temporary folder";
        return p;
    }
    const std::string db = dir / "sales.db", out = dir / "list.pp3";
    MakeDatabase(db);
    p.Run = RunPgwprep({ListReportTemplate(), "--data", "Sales", SqliteConnection(db),
                        "select * from sales order by id", "--var", "Rows=" + std::to_string(kRows),
                        "--out", out});
    if (p.Run.Status != 0) {
        p.Error = "pgwprep failed: " + p.Run.Err;
        return p;
    }
    ModulesRunning modules;
    TpgwReport report(nullptr);
    try {
        report.PreviewPages()->LoadFromFile(out, true);
        Read(*report.PreviewPages(), p);
    } catch (const std::exception& e) {
        p.Error = std::string("the prepared report does not read back: ") + e.what();
    }
    return p;
}

// One run for all checks: pgwprep over 1,000 rows takes seconds in a sanitizer build.
TEST(ListReport, FromSQLiteThroughPgwprep) {
    const Prepared p = Prepare();
    ASSERT_EQ(p.Error, "");
    {
        SCOPED_TRACE("every row once, with its values");
        ASSERT_EQ(p.Rows.size(), std::size_t(kRows));
        for (int i = 0; i < kRows; ++i) {
            const PrintedRow& printed = p.Rows[std::size_t(i)];
            const ListReportRow row = ListReportRowOf(i + 1);
            ASSERT_EQ(printed.Id, row.Id) << "row " << i;
            auto text = [&](const char* memo) {
                auto it = printed.Texts.find(memo);
                return it == printed.Texts.end() ? std::string("(none)") : it->second;
            };
            EXPECT_EQ(text("NameMemo"), row.Name) << row.Id;
            EXPECT_EQ(text("DateMemo"), row.DateText()) << row.Id;
            EXPECT_EQ(text("AmountMemo"), Money(row.Amount)) << row.Id;
            EXPECT_EQ(text("NoteMemo"), row.Note) << row.Id;
            // amount x 1.1 to 2 decimals; a half-cent tie may round either way.
            const std::string scaled = text("Amount11Memo");
            const std::size_t dot = scaled.find('.');
            EXPECT_TRUE(dot != std::string::npos && scaled.size() - dot == 3)
                << row.Id << " " << scaled;
            EXPECT_NEAR(std::atof(scaled.c_str()), row.Amount * 1.1, 0.005 + 1e-9) << row.Id;
        }
    }
    {
        SCOPED_TRACE("five groups with their totals");
        std::vector<std::string> headers;
        std::vector<std::pair<std::string, std::string>> totals;
        for (int g = 1; g <= 5; ++g) {
            const std::string category = ListReportRowOf(g * kListReportRowsPerCategory).Category;
            headers.push_back("Category: " + category);
            double sum = 0;
            for (int id = (g - 1) * kListReportRowsPerCategory + 1;
                 id <= g * kListReportRowsPerCategory; ++id)
                sum += ListReportRowOf(id).Amount;
            totals.emplace_back("Total " + category + ":", Money(sum));
        }
        EXPECT_EQ(p.GroupHeaders, headers);
        EXPECT_EQ(p.Totals, totals);
        ASSERT_FALSE(p.Totals.empty());
        EXPECT_EQ(p.Totals[0],
                  std::make_pair(std::string("Total Category 01:"), std::string("99719.00")));
    }
    {
        SCOPED_TRACE("pages numbered of the total");
        EXPECT_EQ(p.Run.Out, std::to_string(p.Pages) + " pages\n");
        EXPECT_EQ(p.Pages, kPages);
        ASSERT_EQ(p.PageOf.size(), std::size_t(p.Pages));
        ASSERT_EQ(p.FooterPages.size(), std::size_t(p.Pages));
        ASSERT_EQ(p.Titles.size(), std::size_t(p.Pages));
        for (int i = 0; i < p.Pages; ++i) {
            const std::string n = std::to_string(i + 1);
            EXPECT_EQ(p.PageOf[std::size_t(i)], "Page " + n + " of " + std::to_string(p.Pages));
            EXPECT_EQ(p.FooterPages[std::size_t(i)], "Page " + n);
            EXPECT_EQ(p.Titles[std::size_t(i)], "Sales list - 1000 rows");
        }
    }
}

} // namespace
