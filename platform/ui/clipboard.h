#pragma once
// The system clipboard: plain text and data of named formats ("text/rtf", "text/html", ...).
// Text is UTF-8 here; the desktop carries it as Unicode.

#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>

class TClipboard {
public:
    bool HasFormat(std::string_view mimeType) const;
    std::string AsText() const;
    void SetAsText(std::string_view utf8);
    std::string Data(std::string_view mimeType) const;
    // Puts several formats at once: the clipboard holds exactly these afterwards.
    void SetData(std::initializer_list<std::pair<std::string_view, std::string_view>> formats);
    void Clear();
};

// The one clipboard of the program (starts the toolkit when it has not started yet).
TClipboard& Clipboard();
