#pragma once
// Small routines of the mail sender: mail date texts, Base64, MIME types of files, socket error
// texts and the message pump of its sending loop.

#include <string>
#include <string_view>

#include "platform/core/date_time.h"

// "Ddd, dd Mmm yyyy hh:mm:ss GMT" of the value as it stands, English names.
std::string DateTimeToMailText(TDateTime value);
// UTC minus local time in minutes at that local time (daylight time included).
int TimeZoneBiasMinutes(TDateTime local);
int TimeZoneBiasMinutes();
// The local time moved to UTC and written as a mail date.
std::string LocalTimeToMailDate(TDateTime local);

// The standard alphabet, padded with "=", no line breaks.
std::string Base64Encode(std::string_view bytes);
// Trailing "=" dropped, characters outside the alphabet count as 0; a final incomplete group
// gives its complete bytes, and its leftover bits one more byte only when the text had no "="
// and those bits are not zero.
std::string Base64Decode(std::string_view text);

// The type the system's MIME database (/etc/mime.types) gives the file's extension, letter case
// ignored; "application/octet-stream" when it knows none.
std::string MimeTypeOfFile(std::string_view fileName);

// An English text of a socket error code followed by "(code)"; "Unknown error" for a code
// outside the table.
std::string SocketErrorText(int code);

// Handles waiting events of the GUI thread, then sleeps 1 ms.
void PumpMessages();
