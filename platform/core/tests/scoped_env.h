#pragma once
// An environment variable set (or removed) for the life of the object, then restored.

#include <stdlib.h>
#include <time.h>

#include <optional>
#include <string>

class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::optional<std::string>& value) : name_(name) {
        if (const char* old = ::getenv(name)) old_ = old;
        Set(value);
    }
    ~ScopedEnv() { Set(old_); }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

    // A new value while the object lives; the first one is still what comes back.
    void Set(const std::optional<std::string>& value) {
        if (value)
            ::setenv(name_.c_str(), value->c_str(), 1);
        else
            ::unsetenv(name_.c_str());
    }

private:
    std::string name_;
    std::optional<std::string> old_;
};

// TZ for the life of the object; the C library rereads it on the way in and out.
class ScopedZone {
public:
    explicit ScopedZone(const std::string& tz) : env_("TZ", tz) { ::tzset(); }
    ~ScopedZone() {
        env_.Set(std::nullopt);
        ::tzset();
    }

private:
    ScopedEnv env_;
};
