#pragma once
// The system clipboard: plain text, pictures and data of named formats ("text/rtf",
// "text/html", ...). Text is UTF-8 here; the desktop carries it as Unicode.

#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>

class TBitmap;
class TMetafile;

class TClipboard {
public:
    bool HasFormat(std::string_view mimeType) const;
    std::string AsText() const;
    void SetAsText(std::string_view utf8);
    std::string Data(std::string_view mimeType) const;
    // Puts several formats at once: the clipboard holds exactly these afterwards.
    void SetData(std::initializer_list<std::pair<std::string_view, std::string_view>> formats);
    void Clear();

    // Pictures replace what the clipboard held. A bitmap goes as an image; a metafile as the
    // image it draws at its own size and, under kMetafileFormat, with its records, so a paste
    // into this program keeps it scalable. An empty picture just empties the clipboard.
    void SetAsBitmap(const TBitmap& bitmap);
    void SetAsMetafile(const TMetafile& metafile);
    bool HasPicture() const;
    // The image on the clipboard; an empty bitmap when there is none.
    TBitmap AsBitmap() const;
    // The metafile put there by SetAsMetafile; an empty one when there is none or its records
    // are damaged.
    TMetafile AsMetafile() const;

    static constexpr std::string_view kMetafileFormat = "application/x-lumetra-metafile";
};

// The one clipboard of the program (starts the toolkit when it has not started yet).
TClipboard& Clipboard();
