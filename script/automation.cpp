// Late-bound automation calls by member name.
#include "script/automation.h"

#include <cstdio>
#include <map>
#include <mutex>

#include "platform/core/object_handle.h"
#include "platform/core/text.h"

namespace {

// The user's default locale, which member names are resolved in.
constexpr std::uint32_t kLocaleUserDefault = 0x0400;

std::string SystemMessage(std::int32_t code) {
    switch (code) {
    case DISP_E_MEMBERNOTFOUND:
        return "Member not found.";
    case DISP_E_TYPEMISMATCH:
        return "Type mismatch.";
    case DISP_E_UNKNOWNNAME:
        return "Unknown name.";
    case DISP_E_EXCEPTION:
        return "Exception occurred.";
    case DISP_E_BADPARAMCOUNT:
        return "Invalid number of parameters.";
    case static_cast<std::int32_t>(0x80004001u):
        return "Not implemented.";
    case static_cast<std::int32_t>(0x80004005u):
        return "Unspecified error.";
    case static_cast<std::int32_t>(0x80070057u):
        return "The parameter is incorrect.";
    default:
        return {};
    }
}

[[noreturn]] void RaiseOleError(std::int32_t code, const std::string& name,
                                const TksExcepInfo& info) {
    char hex[9];
    std::snprintf(hex, sizeof hex, "%08X", static_cast<unsigned>(code));
    std::string message =
        "OLE error " + std::string(hex) + ": " + name + ": " + SystemMessage(code);
    if (!info.Source.empty()) message += "\nSource        ::  " + info.Source;
    if (!info.Description.empty()) message += "\nDescription ::  " + info.Description;
    if (!info.HelpFile.empty()) message += "\nHelp File     ::  " + info.HelpFile;
    throw EOleError(message);
}

IksDispatch& DispatchOf(const Variant& receiver) {
    TObject* object = nullptr;
    if (receiver.Kind() == VariantKind::Int32) object = VariantToObject<TObject>(receiver);
    auto* automation = dynamic_cast<TksAutomationObject*>(object);
    if (!automation)
        throw EVariantTypeCastError("Could not convert variant of type (" +
                                    VarTypeAsText(receiver.VarType()) + ") into type (Dispatch)");
    return automation->Dispatch();
}

struct OleServer {
    TksOleFactory Factory;
    // What CreateOleObject handed to scripts, kept alive while the server is registered.
    std::vector<std::unique_ptr<TksAutomationObject>> ScriptObjects;
};

struct OleServers {
    std::mutex Lock;
    std::map<std::string, OleServer> ById;
};

// Never destroyed: script objects may outlive static destruction order.
OleServers& Servers() {
    static OleServers* servers = new OleServers;
    return *servers;
}

std::string ServerKey(const std::string& progId) {
    return AnsiUpperCase(progId);
}

[[noreturn]] void RaiseNotInstalled(const std::string& progId) {
    throw EOleSysError("Cannot create the automation object \"" + progId +
                       "\": automation is not available on this system");
}

} // namespace

void RegisterOleFactory(const std::string& progId, TksOleFactory factory) {
    std::vector<std::unique_ptr<TksAutomationObject>> dropped;
    OleServers& servers = Servers();
    std::lock_guard lock(servers.Lock);
    OleServer& server = servers.ById[ServerKey(progId)];
    server.Factory = std::move(factory);
    dropped.swap(server.ScriptObjects);
}

void UnregisterOleFactory(const std::string& progId) {
    std::vector<std::unique_ptr<TksAutomationObject>> dropped;
    {
        OleServers& servers = Servers();
        std::lock_guard lock(servers.Lock);
        const auto it = servers.ById.find(ServerKey(progId));
        if (it == servers.ById.end()) return;
        dropped.swap(it->second.ScriptObjects);
        servers.ById.erase(it);
    }
    // Freed outside the lock: releasing an object may call back into its server.
}

std::shared_ptr<IksDispatch> CreateOleDispatch(const std::string& progId) {
    TksOleFactory factory;
    {
        OleServers& servers = Servers();
        std::lock_guard lock(servers.Lock);
        const auto it = servers.ById.find(ServerKey(progId));
        if (it != servers.ById.end()) factory = it->second.Factory;
    }
    if (!factory) RaiseNotInstalled(progId);
    std::shared_ptr<IksDispatch> dispatch = factory();
    if (!dispatch)
        throw EOleSysError("Cannot create the automation object \"" + progId +
                           "\": the server made no object");
    return dispatch;
}

Variant CreateOleObject(const std::string& className) {
    auto object = std::make_unique<TksAutomationObject>(CreateOleDispatch(className));
    const Variant value = ObjectToVariant<TObject>(object.get());
    OleServers& servers = Servers();
    std::lock_guard lock(servers.Lock);
    const auto it = servers.ById.find(ServerKey(className));
    // Unregistered while the factory ran.
    if (it == servers.ById.end()) RaiseNotInstalled(className);
    it->second.ScriptObjects.push_back(std::move(object));
    return value;
}

Variant ksDispatchCall(const Variant& receiver, const std::string& name,
                       const std::vector<Variant>& args, std::uint16_t kind, bool wantResult) {
    if (args.size() > static_cast<std::size_t>(kMaxDispatchArgs))
        throw EOleError("Too many arguments in the automation call of " + name + ": " +
                        std::to_string(args.size()) + " (at most " +
                        std::to_string(kMaxDispatchArgs) + ")");
    IksDispatch& dispatch = DispatchOf(receiver);
    TksExcepInfo info;
    // An unknown name stops here: calling on with an identifier that was never given would
    // reach whichever member happens to answer to it.
    std::int32_t dispId = DISPID_UNKNOWN;
    const std::int32_t found =
        dispatch.GetIDsOfNames(Utf8ToUtf16(name), kLocaleUserDefault, dispId);
    if (found != S_OK) RaiseOleError(found, name, info);

    TksDispParams params;
    params.Args.assign(args.rbegin(), args.rend());
    const bool put = kind == DISPATCH_PROPERTYPUT;
    if (put) params.NamedArgs.push_back(DISPID_PROPERTYPUT);
    Variant result;
    Variant* resultPtr = nullptr;
    std::uint16_t flags = kind;
    if (wantResult && !put) {
        resultPtr = &result;
        // Members that are properties can be read with the same call.
        if (kind == DISPATCH_METHOD) flags = DISPATCH_METHOD | DISPATCH_PROPERTYGET;
    }
    const std::int32_t code = dispatch.Invoke(dispId, 0, flags, params, resultPtr, info);
    if (code != S_OK) RaiseOleError(code, name, info);
    return result;
}

TksOLEHelper::TksOLEHelper(std::string name)
    : TksCustomHelper(std::move(name), std::string(), kvtVariant) {}

Variant TksOLEHelper::GetValue() {
    std::vector<Variant> args;
    args.reserve(static_cast<std::size_t>(ParamCount()));
    for (int i = 0; i < ParamCount(); ++i)
        args.push_back(Param(i)->Value);
    return ksDispatchCall(Receiver, Name(), args, DISPATCH_METHOD, ResultNeeded);
}

void TksOLEHelper::SetValue(const Variant& value) {
    std::vector<Variant> args;
    args.reserve(static_cast<std::size_t>(ParamCount()) + 1);
    for (int i = 0; i < ParamCount(); ++i)
        args.push_back(Param(i)->Value);
    args.push_back(value);
    ksDispatchCall(Receiver, Name(), args, DISPATCH_PROPERTYPUT, false);
}
