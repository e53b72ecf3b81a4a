#pragma once
// The root of the class library's object model, and its plain notification event.

#include <functional>

// Base of everything a TStrings line, a component or an owned list can point at: deleting
// through a TObject* destroys the whole object.
class TObject {
public:
    TObject() = default;
    // Releases the object's script handle, so a stale handle raises instead of dangling.
    virtual ~TObject();
    TObject(const TObject&) = default;
    TObject& operator=(const TObject&) = default;
};

using TNotifyEvent = std::function<void(TObject* sender)>;
