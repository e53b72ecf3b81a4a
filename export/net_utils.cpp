#include "export/net_utils.h"

#include <array>
#include <cctype>
#include <chrono>
#include <fstream>
#include <map>
#include <sstream>
#include <thread>

#include "platform/ui/application.h"

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

std::string twoDigits(int v) {
    std::string s = std::to_string(v);
    return s.size() < 2 ? "0" + s : s;
}

// Extension (lower case, no dot) to type, from the system's MIME database.
std::map<std::string, std::string> LoadMimeTypes() {
    std::map<std::string, std::string> types;
    std::ifstream in("/etc/mime.types");
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream words(line);
        std::string type, ext;
        if (!(words >> type)) continue;
        while (words >> ext) {
            for (char& c : ext)
                c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            types.emplace(ext, type); // the first line naming an extension wins
        }
    }
    return types;
}

struct SocketError {
    int code;
    const char* text;
};

constexpr SocketError kSocketErrors[] = {
    {500, "Syntax error, command unrecognized."},
    {501, "Syntax error in parameters or arguments."},
    {10004, "Interrupted function call."},
    {10009, "Bad file handle."},
    {10013, "Permission denied."},
    {10014, "Bad address."},
    {10022, "Invalid argument."},
    {10024, "Too many open files."},
    {10035, "Operation would block. Check also the DataToSend property of the component (if "
            "any)."},
    {10036, "Operation now in progress."},
    {10037, "Operation already in progress."},
    {10038, "Socket operation on non-socket."},
    {10039, "Destination address required."},
    {10040, "Message too long."},
    {10041, "Protocol wrong type for socket."},
    {10042, "Bad protocol option."},
    {10043, "Protocol not supported."},
    {10044, "Socket type not supported."},
    {10045, "Operation not supported on socket."},
    {10046, "Protocol family not supported."},
    {10047, "Address family not supported by protocol family."},
    {10048, "Address already in use."},
    {10049, "Cannot assign requested address."},
    {10050, "Network is down."},
    {10051, "Network is unreachable."},
    {10052, "Network dropped connection on reset."},
    {10053, "Software caused connection abort."},
    {10054, "Connection reset by peer."},
    {10055, "No buffer space available."},
    {10056, "Socket is already connected."},
    {10057, "Socket is not connected."},
    {10058, "Cannot send after socket shutdown."},
    {10059, "Too many references."},
    {10060, "Connection timed out."},
    {10061, "Connection refused."},
    {10062, "Too many levels of symbolic links."},
    {10063, "File name too long."},
    {10064, "Host is down."},
    {10065, "No route to host."},
    {10066, "Directory not empty."},
    {10067, "Too many processes."},
    {10068, "Too many users."},
    {10069, "Disk quota exceeded."},
    {10070, "Stale file handle reference."},
    {10071, "Item is remote."},
    {10091, "Network subsystem is unavailable."},
    {10092, "Socket library version out of range."},
    {10093, "Successful startup not yet performed."},
    {11001, "Host not found."},
    {11002, "Non-authoritative 'Host not found' (try again or check DNS setup)."},
    {11003, "Non-recoverable error."},
    {11004, "Valid name, no data record (check DNSsetup)."},
};
static_assert(std::size(kSocketErrors) == 52);

} // namespace

std::string DateTimeToMailText(TDateTime value) {
    static constexpr const char* kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                              "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    int year, month, day, hour, minute, second, ms;
    DecodeDate(value, year, month, day);
    DecodeTime(value, hour, minute, second, ms);
    return std::string(kDays[DayOfWeek(value) - 1]) + ", " + twoDigits(day) + " " +
           kMonths[month - 1] + " " + std::to_string(year) + " " + twoDigits(hour) + ":" +
           twoDigits(minute) + ":" + twoDigits(second) + " GMT";
}

int TimeZoneBiasMinutes(TDateTime local) {
    return TimeZoneBias(local);
}

int TimeZoneBiasMinutes() {
    return TimeZoneBias();
}

std::string LocalTimeToMailDate(TDateTime local) {
    // The bias in force at that local time, not today's, so a winter date sent in summer is
    // still right.
    return DateTimeToMailText(local + TimeZoneBiasMinutes(local) / 1440.0);
}

std::string Base64Encode(std::string_view bytes) {
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    std::size_t i = 0;
    for (; i + 3 <= bytes.size(); i += 3) {
        const unsigned v = static_cast<unsigned char>(bytes[i]) << 16 |
                           static_cast<unsigned char>(bytes[i + 1]) << 8 |
                           static_cast<unsigned char>(bytes[i + 2]);
        out += kAlphabet[v >> 18 & 63];
        out += kAlphabet[v >> 12 & 63];
        out += kAlphabet[v >> 6 & 63];
        out += kAlphabet[v & 63];
    }
    const std::size_t rest = bytes.size() - i;
    if (rest > 0) {
        unsigned v = static_cast<unsigned char>(bytes[i]) << 16;
        if (rest == 2) v |= static_cast<unsigned char>(bytes[i + 1]) << 8;
        out += kAlphabet[v >> 18 & 63];
        out += kAlphabet[v >> 12 & 63];
        out += rest == 2 ? kAlphabet[v >> 6 & 63] : '=';
        out += '=';
    }
    return out;
}

std::string Base64Decode(std::string_view text) {
    const bool padded = !text.empty() && text.back() == '=';
    while (!text.empty() && text.back() == '=')
        text.remove_suffix(1);
    auto value = [](char c) -> unsigned {
        if (c >= 'A' && c <= 'Z') return static_cast<unsigned>(c - 'A');
        if (c >= 'a' && c <= 'z') return static_cast<unsigned>(c - 'a' + 26);
        if (c >= '0' && c <= '9') return static_cast<unsigned>(c - '0' + 52);
        if (c == '+') return 62;
        if (c == '/') return 63;
        return 0;
    };
    std::string out;
    out.reserve(text.size() / 4 * 3 + 3);
    unsigned bits = 0;
    int count = 0;
    for (char c : text) {
        bits = bits << 6 | value(c);
        count += 6;
        if (count >= 8) {
            count -= 8;
            out += static_cast<char>(bits >> count & 0xFF);
            bits &= (1u << count) - 1;
        }
    }
    if (count > 0 && !padded && bits != 0) out += static_cast<char>(bits);
    return out;
}

std::string MimeTypeOfFile(std::string_view fileName) {
    static const std::map<std::string, std::string> types = LoadMimeTypes();
    const std::size_t slash = fileName.find_last_of("/\\");
    const std::string_view base =
        slash == std::string_view::npos ? fileName : fileName.substr(slash + 1);
    const std::size_t dot = base.rfind('.');
    if (dot != std::string_view::npos) {
        std::string ext(base.substr(dot + 1));
        for (char& c : ext)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (auto it = types.find(ext); it != types.end() && !ext.empty()) return it->second;
    }
    return "application/octet-stream";
}

std::string SocketErrorText(int code) {
    for (const SocketError& e : kSocketErrors)
        if (e.code == code) return std::string(e.text) + "(" + std::to_string(code) + ")";
    return "Unknown error";
}

void PumpMessages() {
    Application()->ProcessMessages();
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
}
