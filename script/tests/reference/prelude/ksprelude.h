// Reference-side prelude: lets g++ compile a C++Script program unchanged and print what the
// engine prints. Included with -include; the generator turns the bare main block into main().
#pragma once

#include <cstdio>
#include <exception>
#include <string>
#include <type_traits>
#include <utility>

using std::string;
typedef std::string String;

struct KsException {
    std::string message;
};

inline std::string FloatToStr(double v) {
    if (v == 0) return "0";
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.14e", v);
    std::string s(buf);
    const auto e = s.find('e');
    std::string mant = s.substr(0, e);
    const int exp = std::stoi(s.substr(e + 1));
    std::string sign;
    if (mant[0] == '-') {
        sign = "-";
        mant.erase(0, 1);
    }
    std::string digits = mant.substr(0, 1) + mant.substr(2);
    while (digits.size() > 1 && digits.back() == '0') digits.pop_back();
    // Scientific below 1E-4 as the class library does (Free Pascal switches only below 1E-5).
    if (exp >= 15 || exp < -4) {
        std::string r = sign + digits.substr(0, 1);
        if (digits.size() > 1) r += "." + digits.substr(1);
        return r + "E" + std::to_string(exp);
    }
    if (exp < 0) return sign + "0." + std::string(-exp - 1, '0') + digits;
    if (static_cast<int>(digits.size()) <= exp + 1)
        return sign + digits + std::string(exp + 1 - digits.size(), '0');
    return sign + digits.substr(0, exp + 1) + "." + digits.substr(exp + 1);
}

inline void WriteLn(const std::string& s) { std::printf("%s\n", s.c_str()); }
inline void WriteLn(const char* s) { std::printf("%s\n", s); }
inline void WriteLn(char c) { WriteLn(std::string(1, c)); }
inline void WriteLn(bool b) { WriteLn(b ? "True" : "False"); }
inline void WriteLn(int v) { std::printf("%d\n", v); }
inline void WriteLn(long v) { std::printf("%ld\n", v); }
inline void WriteLn(long long v) { std::printf("%lld\n", v); }
inline void WriteLn(double v) { WriteLn(FloatToStr(v)); }

inline std::string IntToStr(long long v) { return std::to_string(v); }
inline long long Length(const std::string& s) { return static_cast<long long>(s.size()); }
template <typename T, std::size_t N>
    requires(!std::is_same_v<T, char>)
long long Length(const T (&)[N]) {
    return N;
}
inline std::string Copy(const std::string& s, long long from, long long count) {
    if (from < 1) from = 1;
    if (from > Length(s) || count <= 0) return "";
    return s.substr(static_cast<std::size_t>(from - 1), static_cast<std::size_t>(count));
}
inline long long Pos(const std::string& sub, const std::string& s) {
    const auto at = s.find(sub);
    return sub.empty() || at == std::string::npos ? 0 : static_cast<long long>(at) + 1;
}
inline std::string UpperCase(std::string s) {
    for (char& c : s)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return s;
}
inline void RaiseException(const std::string& msg) { throw KsException{msg}; }

inline std::string ksCurrentMessage() {
    try {
        throw;
    } catch (const KsException& e) {
        return e.message;
    } catch (...) {
        return "";
    }
}

// try { } finally { }: the handler is the body of a one-pass loop whose step rethrows what
// the protected block raised.
inline std::exception_ptr& ksPending() {
    static std::exception_ptr p;
    return p;
}
struct KsFinally {
    std::exception_ptr ex = std::exchange(ksPending(), nullptr);
    bool done = false;
    void Finish() {
        done = true;
        if (ex) std::rethrow_exception(ex);
    }
};

// The script keywords and names that C++ lacks.
#define except catch (...)
#define finally \
    catch (...) { ksPending() = std::current_exception(); } \
    for (KsFinally ksF; !ksF.done; ksF.Finish())
#define ExceptionMessage ksCurrentMessage()
#define ExceptionClassName std::string("Exception")
#define div /
// Script switch branches never fall through.
#define case break; case
#define default break; default
