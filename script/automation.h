#pragma once
// Late-bound calls of automation objects: every member step after an automation value is a
// TksOLEHelper that calls the object by member name through a dispatch interface at run time.
// This system has no automation servers of its own: objects come from factories registered by
// programmatic identifier, and without one CreateOleObject refuses as on a machine where the
// server is not installed. Hosts can still hand scripts objects that implement IksDispatch.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/core/exception.h"
#include "platform/core/object.h"
#include "platform/core/variant.h"
#include "script/program.h"

// A failed automation call: "OLE error 80020006: Name: Unknown name." and the exception record.
LUMETRA_EXCEPTION(EOleError, Exception);
// An automation object that cannot be created.
LUMETRA_EXCEPTION(EOleSysError, EOleError);

// Dispatch kinds and identifiers as automation numbers them.
inline constexpr std::uint16_t DISPATCH_METHOD = 1;
inline constexpr std::uint16_t DISPATCH_PROPERTYGET = 2;
inline constexpr std::uint16_t DISPATCH_PROPERTYPUT = 4;
inline constexpr std::int32_t DISPID_UNKNOWN = -1;
inline constexpr std::int32_t DISPID_PROPERTYPUT = -3;
// Result codes the error text knows by name.
inline constexpr std::int32_t S_OK = 0;
inline constexpr std::int32_t DISP_E_MEMBERNOTFOUND = static_cast<std::int32_t>(0x80020003u);
inline constexpr std::int32_t DISP_E_TYPEMISMATCH = static_cast<std::int32_t>(0x80020005u);
inline constexpr std::int32_t DISP_E_UNKNOWNNAME = static_cast<std::int32_t>(0x80020006u);
inline constexpr std::int32_t DISP_E_EXCEPTION = static_cast<std::int32_t>(0x80020009u);
inline constexpr std::int32_t DISP_E_BADPARAMCOUNT = static_cast<std::int32_t>(0x8002000Eu);
// Arguments one call passes at most.
inline constexpr int kMaxDispatchArgs = 64;

// The arguments of one call: Args holds the last argument first; NamedArgs the identifiers of
// the named ones (the property-put identifier for a property write).
struct TksDispParams {
    std::vector<Variant> Args;
    std::vector<std::int32_t> NamedArgs;
};

// What a failing member reports besides its result code.
struct TksExcepInfo {
    std::string Source;
    std::string Description;
    std::string HelpFile;
};

// An object reached by member name at run time.
class IksDispatch {
public:
    virtual ~IksDispatch() = default;
    // The identifier of a member name; a result code other than S_OK for an unknown name.
    virtual std::int32_t GetIDsOfNames(std::u16string_view name, std::uint32_t locale,
                                       std::int32_t& dispId) = 0;
    // Calls a member; result is null when the caller wants none.
    virtual std::int32_t Invoke(std::int32_t dispId, std::uint32_t locale, std::uint16_t flags,
                                TksDispParams& params, Variant* result,
                                TksExcepInfo& excepInfo) = 0;
};

// An automation object as a script value (scripts carry it as a checked handle).
class TksAutomationObject : public TObject {
public:
    explicit TksAutomationObject(std::shared_ptr<IksDispatch> dispatch)
        : dispatch_(std::move(dispatch)) {}
    IksDispatch& Dispatch() const { return *dispatch_; }

private:
    std::shared_ptr<IksDispatch> dispatch_;
};

// Makes a new automation object; none (or EOleSysError) when the server cannot make one.
using TksOleFactory = std::function<std::shared_ptr<IksDispatch>()>;
// Enters the factory of a programmatic identifier ("App.Name", without regard to letter case),
// replacing one entered before (whose objects go as with UnregisterOleFactory).
void RegisterOleFactory(const std::string& progId, TksOleFactory factory);
// Removes it; the objects CreateOleObject made through it are freed, so scripts that still hold
// them get an invalid-object error.
void UnregisterOleFactory(const std::string& progId);
// A new object of the factory entered for progId. EOleSysError when there is none (the server
// is not installed) or it made none.
std::shared_ptr<IksDispatch> CreateOleDispatch(const std::string& progId);
// The same as a script value. Scripts never free automation objects, so the object lives as
// long as its factory stays registered.
Variant CreateOleObject(const std::string& className);

// One member step after an automation value: reading calls the member (or reads it as a
// property), assigning writes it as a property. The builder adds one Variant parameter per
// argument.
class TksOLEHelper : public TksCustomHelper {
public:
    explicit TksOLEHelper(std::string name);
    Variant GetValue() override;
    void SetValue(const Variant& value) override;
};

// The dispatch call: arguments in call order, kind DISPATCH_METHOD or DISPATCH_PROPERTYPUT;
// a result is asked for only when wantResult is set and the kind is not a property write.
Variant ksDispatchCall(const Variant& receiver, const std::string& name,
                       const std::vector<Variant>& args, std::uint16_t kind, bool wantResult);
