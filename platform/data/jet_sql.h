#pragma once
// The Jet SQL dialect on SQLite: statements are rewritten before they run, and the Jet
// functions are registered on the connection (jet_functions.h).
//
// Rewritten: #date# and #date time# literals (read in the short-date order of the format
// settings, or as year-month-day when the year comes first) become date-time text; "..."
// strings become '...'; & joins text; True and False are 1 and 0; Left( and Right( call the
// Jet functions; ? parameters are numbered. In each SELECT, TOP n [PERCENT] becomes a LIMIT
// that keeps the rows tying with the last on the ORDER BY values, DISTINCTROW a grouping by the
// rows of the tables that give columns (nothing when there is one), and an expression column
// without an alias is named Expr1000, Expr1001, ... as Jet names it.

#include <string>
#include <string_view>

#include "platform/data/jet_functions.h"

// Raises EDatabaseError for a date literal that does not read as a date, and for a TOP or
// DISTINCTROW that cannot be carried over.
std::string TranslateJetSQL(std::string_view sql);
