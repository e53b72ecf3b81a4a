#pragma once
// The exception family of the class library. Every error the system raises derives from
// Exception and carries a UTF-8 message; scripts read the class name.

#include <stdexcept>
#include <string>
#include <string_view>

class Exception : public std::exception {
public:
    explicit Exception(std::string message) : message_(std::move(message)) {}
    const char* what() const noexcept override { return message_.c_str(); }
    const std::string& Message() const noexcept { return message_; }
    void SetMessage(std::string message) { message_ = std::move(message); }
    // The class library's class name ("EConvertError"), as scripts see it.
    virtual const char* ClassName() const noexcept { return "Exception"; }

private:
    std::string message_;
};

#define LUMETRA_EXCEPTION(Name, Base)                                                 \
    class Name : public Base {                                                        \
    public:                                                                           \
        using Base::Base;                                                             \
        const char* ClassName() const noexcept override { return #Name; }             \
    }

// Silent exception: unwinds without an error box.
LUMETRA_EXCEPTION(EAbort, Exception);
LUMETRA_EXCEPTION(EConvertError, Exception);
LUMETRA_EXCEPTION(EOSError, Exception);
LUMETRA_EXCEPTION(EInOutError, Exception);
LUMETRA_EXCEPTION(EListError, Exception);
LUMETRA_EXCEPTION(EStringListError, EListError);
LUMETRA_EXCEPTION(EStreamError, Exception);
LUMETRA_EXCEPTION(EFOpenError, EStreamError);
LUMETRA_EXCEPTION(EFCreateError, EStreamError);
LUMETRA_EXCEPTION(EReadError, EStreamError);
LUMETRA_EXCEPTION(EWriteError, EStreamError);
LUMETRA_EXCEPTION(EIniFileException, Exception);
LUMETRA_EXCEPTION(EMathError, Exception);
LUMETRA_EXCEPTION(EZeroDivide, EMathError);
LUMETRA_EXCEPTION(EOverflow, EMathError);
LUMETRA_EXCEPTION(EInvalidOp, EMathError);
LUMETRA_EXCEPTION(EIntError, Exception);
LUMETRA_EXCEPTION(EDivByZero, EIntError);
LUMETRA_EXCEPTION(ERangeError, EIntError);
LUMETRA_EXCEPTION(EIntOverflow, EIntError);
LUMETRA_EXCEPTION(EInvalidCast, Exception);
LUMETRA_EXCEPTION(EInvalidOperation, Exception);
LUMETRA_EXCEPTION(EInvalidArgument, Exception);
LUMETRA_EXCEPTION(EOutOfMemory, Exception);
// A system resource the control layer asked for could not be had (a stream a control could not
// load or save).
LUMETRA_EXCEPTION(EOutOfResources, EOutOfMemory);
LUMETRA_EXCEPTION(ENotSupported, Exception);
// A sequence of bytes that is not valid in the code page it claims.
LUMETRA_EXCEPTION(EEncodingError, EConvertError);
