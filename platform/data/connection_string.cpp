#include "platform/data/connection_string.h"

#include "platform/core/text.h"

TConnectionString::TConnectionString(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size()) {
        std::size_t eq = text.find('=', i);
        std::size_t semi = text.find(';', i);
        if (eq == std::string_view::npos || (semi != std::string_view::npos && semi < eq)) {
            if (semi == std::string_view::npos) break;
            i = semi + 1; // a piece without "=": ignored
            continue;
        }
        std::string key = Trim(text.substr(i, eq - i));
        std::size_t j = eq + 1;
        while (j < text.size() && text[j] == ' ')
            ++j;
        std::string value;
        if (j < text.size() && text[j] == '{') {
            // ODBC's braces quote a value that may hold ";"; the braces stay part of it.
            std::size_t close = text.find('}', j);
            std::size_t end = close == std::string_view::npos ? text.size() : close + 1;
            value = std::string(text.substr(j, end - j));
            std::size_t next = text.find(';', end);
            i = next == std::string_view::npos ? text.size() : next + 1;
        } else if (j < text.size() && (text[j] == '"' || text[j] == '\'')) {
            char q = text[j++];
            for (; j < text.size(); ++j) {
                if (text[j] == q) {
                    if (j + 1 < text.size() && text[j + 1] == q) {
                        value += q;
                        ++j;
                        continue;
                    }
                    ++j;
                    break;
                }
                value += text[j];
            }
            std::size_t next = text.find(';', j);
            i = next == std::string_view::npos ? text.size() : next + 1;
        } else {
            std::size_t next = text.find(';', j);
            value = Trim(text.substr(j, (next == std::string_view::npos ? text.size() : next) - j));
            i = next == std::string_view::npos ? text.size() : next + 1;
        }
        if (!key.empty()) items_.emplace_back(std::move(key), std::move(value));
    }
}

std::string TConnectionString::Value(std::string_view key) const {
    for (auto it = items_.rbegin(); it != items_.rend(); ++it)
        if (SameText(it->first, key)) return it->second;
    return std::string();
}

bool TConnectionString::Has(std::string_view key) const {
    for (const auto& kv : items_)
        if (SameText(kv.first, key)) return true;
    return false;
}

std::string TConnectionString::Without(std::initializer_list<std::string_view> keys) const {
    std::string out;
    for (const auto& kv : items_) {
        bool drop = false;
        for (auto k : keys)
            drop = drop || SameText(kv.first, k);
        if (drop) continue;
        if (!out.empty()) out += ';';
        out += kv.first + '=';
        bool braced = kv.second.size() >= 2 && kv.second.front() == '{' && kv.second.back() == '}';
        bool quote =
            !braced &&
            (kv.second.find_first_of(";'\"") != std::string::npos ||
             (!kv.second.empty() && (kv.second.front() == ' ' || kv.second.back() == ' ')));
        if (quote) {
            out += '"';
            for (char c : kv.second)
                out += c == '"' ? std::string("\"\"") : std::string(1, c);
            out += '"';
        } else {
            out += kv.second;
        }
    }
    return out;
}
