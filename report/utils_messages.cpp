// Error reporting by silent mode, localised message boxes, and component lookup by path.
#include "report/utils.h"

#include <mutex>

#include "platform/core/component.h"
#include "platform/core/exception.h"
#include "platform/core/property_stream.h"
#include "platform/ui/message_reporter.h"
#include "report/options.h"
#include "report/report.h"
#include "report/resources.h"

namespace {

std::mutex& lookupMutex() {
    static std::mutex m;
    return m;
}

TpgwGlobalComponentLookup& lookupSlot() {
    static TpgwGlobalComponentLookup lookup;
    return lookup;
}

TComponent* globalComponent(std::string_view name) {
    TpgwGlobalComponentLookup lookup;
    {
        std::lock_guard lock(lookupMutex());
        lookup = lookupSlot();
    }
    return lookup ? lookup(name) : nullptr;
}

bool isFormOrModule(const TComponent* c) {
    return c->ClassType().InheritsFrom("TCustomForm") || c->ClassType().InheritsFrom("TDataModule");
}

} // namespace

void ReportError(TpgwReport* report, const std::string& message) {
    const TpgwSilentMode mode = report ? report->EngineOptions()->NewSilentMode() : simMessageBoxes;
    switch (mode) {
    case simMessageBoxes:
        ShowErrorMessage(message);
        break;
    case simSilent:
        break;
    case simReThrow:
        throw Exception(message);
    }
}

void ShowErrorMessage(const std::string& text) {
    MessageBox(nullptr, text, GetResources().GetText("mbError"), MB_ICONERROR);
}

int ShowConfirmMessage(const std::string& text, unsigned flags) {
    return MessageBox(nullptr, text, GetResources().GetText("mbConfirm"), flags | MB_ICONQUESTION);
}

void ShowInfoMessage(const std::string& text) {
    MessageBox(nullptr, text, GetResources().GetText("mbInfo"), MB_ICONINFORMATION);
}

void SetGlobalComponentLookup(TpgwGlobalComponentLookup lookup) {
    {
        std::lock_guard lock(lookupMutex());
        lookupSlot() = lookup;
    }
    SetFindGlobalComponent(std::move(lookup));
}

TComponent* FindComponentByPath(TComponent* root, std::string_view path) {
    try {
        const std::size_t dot = path.find('.');
        if (dot == std::string_view::npos) {
            if (!root || path.empty()) return nullptr;
            if (TComponent* c = root->FindComponent(path)) return c;
            if (dynamic_cast<TpgwReport*>(root) && root->Owner())
                return root->Owner()->FindComponent(path);
            return nullptr;
        }
        TComponent* container = globalComponent(path.substr(0, dot));
        if (!container) return nullptr;
        std::string_view rest = path.substr(dot + 1);
        const std::size_t second = rest.find('.');
        if (second == std::string_view::npos) return container->FindComponent(rest);
        TComponent* frame = container->FindComponent(rest.substr(0, second));
        return frame ? frame->FindComponent(rest.substr(second + 1)) : nullptr;
    } catch (const Exception&) {
        throw EClassNotFound("Missing " + std::string(path));
    }
}

std::string ComponentReferenceName(TComponent* owner, TComponent* component) {
    if (!component) return {};
    TComponent* componentOwner = component->Owner();
    if (!componentOwner || componentOwner == owner ||
        (owner && dynamic_cast<TpgwCustomReport*>(owner) && componentOwner == owner->Owner()))
        return component->Name();
    if (isFormOrModule(componentOwner)) return componentOwner->Name() + "." + component->Name();
    if (componentOwner->ClassType().InheritsFrom("TCustomFrame")) {
        if (TComponent* frameOwner = componentOwner->Owner())
            return frameOwner->Name() + "." + componentOwner->Name() + "." + component->Name();
        return componentOwner->Name() + "." + component->Name();
    }
    return {};
}
