#pragma once
// Two file helpers of the report generator: removing a folder tree, and the MIME type of a file
// extension (the e-mail export names its attachments with it).

#include <string>
#include <string_view>

// Removes the folder with everything in it; a missing folder does nothing, entries that cannot
// be removed are left. Symbolic links are removed, never followed.
void RemoveFolderTree(const std::string& folder);

// The MIME type of an extension such as ".pdf" (letter case ignored), from the system's MIME
// table (/etc/mime.types, then the user's ~/.mime.types, which wins); "" when unknown.
std::string LookupMimeType(std::string_view extension);
// The same over a table of the mime.types form given as text.
std::string LookupMimeTypeIn(std::string_view table, std::string_view extension);
