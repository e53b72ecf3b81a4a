#pragma once
// A recording stand-in for an automation server, registered under a programmatic identifier for
// as long as it lives. Every object it hands out logs each property read, property write and
// call with its arguments into one log, and every read hands out a further object named after
// the member ("Range3" is the third object read through a member "Range") unless the member
// was written before or is one of the numbers it knows. The same read on the same object gives
// the same object again.
//
// Log lines: "get Owner.Member(args) -> Result", "put Owner.Member = value",
// "call Owner.Member(args)"; a refused call ends with "  !refused".

#include <cstdio>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "platform/core/object_handle.h"
#include "platform/core/text.h"
#include "platform/core/variant.h"
#include "script/automation.h"

class FakeAutomationServer {
public:
    explicit FakeAutomationServer(std::string progId = "Excel.Application")
        : progId_(std::move(progId)) {
        RegisterOleFactory(progId_, [this]() -> std::shared_ptr<IksDispatch> {
            return std::make_shared<Object>(*this, "Application");
        });
    }
    ~FakeAutomationServer() { UnregisterOleFactory(progId_); }
    FakeAutomationServer(const FakeAutomationServer&) = delete;
    FakeAutomationServer& operator=(const FakeAutomationServer&) = delete;

    // The log as text, one line each.
    std::string LogText() const {
        std::string text;
        for (const std::string& line : Log)
            text += line + "\n";
        return text;
    }
    // Lines that contain part.
    std::vector<std::string> Lines(const std::string& part) const {
        std::vector<std::string> lines;
        for (const std::string& line : Log)
            if (line.find(part) != std::string::npos) lines.push_back(line);
        return lines;
    }

    std::vector<std::string> Log;
    // Members (upper case) whose every call is refused with an exception.
    std::set<std::string> Refused;
    // Members (upper case) read as numbers while never written.
    std::map<std::string, Variant> Numbers{{"LEFT", Variant(10)}, {"TOP", Variant(20)}};

    // A value as the log shows it: strings quoted (those beyond 300 characters shortened to their
    // head and their
    // length in characters), arrays with their element type and bounds, rows split by " | ".
    static std::string Show(const Variant& v) {
        switch (v.Kind()) {
        case VariantKind::Empty:
            return "Empty";
        case VariantKind::Null:
            return "Null";
        case VariantKind::Bool:
            return v.BoolValue() ? "True" : "False";
        case VariantKind::Int32:
        case VariantKind::Int64:
            return std::to_string(v.Int64Value());
        case VariantKind::Double:
        case VariantKind::Date: {
            char text[32];
            std::snprintf(text, sizeof text, "%.15g", v.DoubleValue());
            return text;
        }
        case VariantKind::String: {
            const std::string& s = v.StringValue();
            if (Utf8Length(s) <= 300) return "\"" + Escaped(s) + "\"";
            return "\"" + Escaped(s.substr(0, 20)) + "...\"<" + std::to_string(Utf8Length(s)) + ">";
        }
        case VariantKind::Array:
            return ShowArray(v);
        }
        return "?";
    }

private:
    // Line breaks as \n and \r, so that one call stays one line.
    static std::string Escaped(const std::string& s) {
        std::string out;
        for (const char c : s)
            out += c == '\n'   ? std::string("\\n")
                   : c == '\r' ? std::string("\\r")
                               : std::string(1, c);
        return out;
    }

    static std::string ShowArray(const Variant& a) {
        const TVarType type = VarArrayElementType(a);
        std::string text = type == varOleStr ? "OleStr" : type == varVariant ? "Variant" : "Other";
        if (VarArrayDimCount(a) != 2) return text + "[?]";
        const int r0 = VarArrayLowBound(a, 1), r1 = VarArrayHighBound(a, 1);
        const int c0 = VarArrayLowBound(a, 2), c1 = VarArrayHighBound(a, 2);
        text += "[" + std::to_string(r0) + ".." + std::to_string(r1) + ", " + std::to_string(c0) +
                ".." + std::to_string(c1) + "] {";
        for (int r = r0; r <= r1; ++r) {
            text += r == r0 ? "" : " | ";
            for (int c = c0; c <= c1; ++c)
                text += (c == c0 ? "" : ", ") + Show(VarArrayGet(a, {r, c}));
        }
        return text + "}";
    }

    static std::string ShowArgs(const std::vector<Variant>& args) {
        if (args.empty()) return "";
        std::string text = "(";
        for (std::size_t i = 0; i < args.size(); ++i)
            text += (i ? ", " : "") + Show(args[i]);
        return text + ")";
    }

    class Object : public IksDispatch {
    public:
        Object(FakeAutomationServer& server, std::string name)
            : server_(server), name_(std::move(name)) {}

        std::int32_t GetIDsOfNames(std::u16string_view name, std::uint32_t,
                                   std::int32_t& dispId) override {
            const std::string spelled = Utf16ToUtf8(name);
            const auto [it, added] = server_.ids_.try_emplace(
                AnsiUpperCase(spelled), static_cast<std::int32_t>(server_.names_.size()));
            if (added) server_.names_.push_back(spelled);
            dispId = it->second;
            return S_OK;
        }

        std::int32_t Invoke(std::int32_t dispId, std::uint32_t, std::uint16_t flags,
                            TksDispParams& params, Variant* result, TksExcepInfo& info) override {
            const std::string& member = server_.names_.at(static_cast<std::size_t>(dispId));
            const std::string key = AnsiUpperCase(member);
            // Args hold the last argument first; a property write's value is the last one.
            std::vector<Variant> args(params.Args.rbegin(), params.Args.rend());
            std::string line;
            if (flags & DISPATCH_PROPERTYPUT) {
                const Variant value = args.back();
                args.pop_back();
                line = "put " + name_ + "." + member + ShowArgs(args) + " = " + Show(value);
                if (args.empty() && !server_.Refused.contains(key)) values_[key] = value;
            } else if (result) {
                line = "get " + name_ + "." + member + ShowArgs(args);
                if (!server_.Refused.contains(key)) {
                    std::string shown;
                    *result = Read(member, key, args, shown);
                    line += " -> " + shown;
                }
            } else {
                line = "call " + name_ + "." + member + ShowArgs(args);
            }
            if (server_.Refused.contains(key)) {
                server_.Log.push_back(line + "  !refused");
                info.Description = "refused";
                return DISP_E_EXCEPTION;
            }
            server_.Log.push_back(line);
            return S_OK;
        }

    private:
        // The value of a read, and how the log shows it.
        Variant Read(const std::string& member, const std::string& key,
                     const std::vector<Variant>& args, std::string& shown) {
            if (args.empty()) {
                const Variant* known = nullptr;
                if (const auto it = values_.find(key); it != values_.end())
                    known = &it->second;
                else if (const auto number = server_.Numbers.find(key);
                         number != server_.Numbers.end())
                    known = &number->second;
                if (known) {
                    shown = Show(*known);
                    return *known;
                }
            }
            const std::string childKey = key + ShowArgs(args);
            auto it = children_.find(childKey);
            if (it == children_.end()) {
                const std::string childName = member + std::to_string(++server_.counters_[member]);
                auto child = std::make_unique<TksAutomationObject>(
                    std::make_shared<Object>(server_, childName));
                it = children_
                         .try_emplace(childKey, childName, ObjectToVariant<TObject>(child.get()))
                         .first;
                server_.objects_.push_back(std::move(child));
            }
            shown = it->second.first;
            return it->second.second;
        }

        FakeAutomationServer& server_;
        std::string name_;
        std::map<std::string, Variant> values_;
        // Objects handed out, by member and arguments: their name and handle.
        std::map<std::string, std::pair<std::string, Variant>> children_;
    };

    std::string progId_;
    std::map<std::string, std::int32_t> ids_;
    std::vector<std::string> names_;
    std::map<std::string, int> counters_;
    std::vector<std::unique_ptr<TksAutomationObject>> objects_;
};
