#pragma once
// The rows of the list report: defined once for the list-report test (written to SQLite) and
// the benchmarks (served from memory, list_report_setup.h), so all prepare the same data.

#include <array>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <string>

struct ListReportRow {
    int Id = 0;
    std::string Name;
    // Days after 2024-01-01.
    int DayOffset = 0;
    double Amount = 0;
    std::string Note;
    std::string Category;

    // yyyy-mm-dd
    std::string DateText() const {
        using namespace std::chrono;
        const year_month_day d{sys_days{year{2024} / January / 1} + days{DayOffset}};
        char text[16];
        std::snprintf(text, sizeof text, "%04d-%02u-%02u", int(d.year()), unsigned(d.month()),
                      unsigned(d.day()));
        return text;
    }
};

inline constexpr int kListReportRowsPerCategory = 200;

// Row id (from 1).
inline ListReportRow ListReportRowOf(int id) {
    static constexpr std::array<const char*, 16> first = {
        "Anna",  "Boris", "Carla", "Dmitri", "Elena", "Felix", "Greta", "Hugo",
        "Irene", "Jonas", "Katja", "Lars",   "Marta", "Nils",  "Olga",  "Pavel"};
    static constexpr std::array<const char*, 16> last = {
        "Anderson", "Becker", "Costa",    "Dubois", "Eriksen", "Fischer", "Garcia", "Horvath",
        "Ivanova",  "Jensen", "Kowalski", "Lopez",  "Muller",  "Novak",   "Olsen",  "Petrov"};
    static constexpr std::array<const char*, 28> words = {
        "lorem",  "ipsum",  "dolor",  "sit",     "amet",         "consectetur", "adipiscing",
        "elit",   "sed",    "do",     "eiusmod", "tempor",       "incididunt",  "ut",
        "labore", "et",     "dolore", "magna",   "aliqua",       "enim",        "ad",
        "minim",  "veniam", "quis",   "nostrud", "exercitation", "ullamco",     "laboris"};
    // 64-bit products: the benchmark may ask for more rows than 32 bits can multiply.
    const long long n = id;
    ListReportRow row;
    row.Id = id;
    row.Name = std::string(first[n * 7 % 16]) + " " + last[n * 11 % 16];
    row.DayOffset = static_cast<int>(n * 13 % 366);
    row.Amount = static_cast<double>(n * 7919 % 100000) / 100;
    const long long count = 5 + n * 37 % 26;
    for (long long k = 0; k < count; ++k) {
        if (k) row.Note += ' ';
        row.Note += words[static_cast<std::size_t>((n * 31 + k * 17) % 28)];
    }
    row.Note[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(row.Note[0])));
    row.Note += '.';
    char category[32];
    std::snprintf(category, sizeof category, "Category %02lld",
                  (n - 1) / kListReportRowsPerCategory + 1);
    row.Category = category;
    return row;
}
