#pragma once
// The Jet SQL dialect on SQLite: statements are rewritten before they run, and the Jet
// functions the templates and the exam browser use are registered on the connection.
//
// Rewritten: #date# and #date time# literals (read in the short-date order of the format
// settings, or as year-month-day when the year comes first) become date-time text; "..."
// strings become '...'; the wildcards * and ? of like patterns become % and _; & joins text;
// True and False are 1 and 0; Left( and Right( call the Jet functions.

#include <string>
#include <string_view>

struct sqlite3;

// Raises EDatabaseError for a date literal that does not read as a date.
std::string TranslateJetSQL(std::string_view sql);
void RegisterJetFunctions(sqlite3* db);
