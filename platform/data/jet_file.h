#pragma once
// Jet (.mdb) and ACE (.accdb) files: recognising a database file by its header, the database
// password kept in the Jet header page, and the SQLite copy through which Jet files are
// queried (mdbtools reads them; SQLite runs the SQL in full).

#include <string>

enum class TDbFileKind { Missing, Unknown, SQLite, Jet3, Jet4, Ace };

TDbFileKind SniffDatabaseFile(const std::string& path);

// The password stored in a Jet file's header ("" when none). Raises EDatabaseError for a file
// too short to hold a header.
std::string ReadJetPassword(const std::string& path);

// The folder of the Jet copies: $LUMETRA_CACHE_DIR, else $XDG_CACHE_HOME/lumetra, else
// ~/.cache/lumetra.
std::string JetCacheFolder();

// The SQLite copy of a Jet file, made when there is none for the file's current path, size
// and modification time. Raises EDatabaseError when mdbtools cannot read the file, and for a
// table it cannot read whole ("The database '...' is damaged: the table ..."), which includes
// any complaint of the reader's while it reads one; no copy is kept then. The reader's own
// messages never reach stdout or stderr. The Jet file is opened read-only and never written.
std::string JetCacheFile(const std::string& path);
