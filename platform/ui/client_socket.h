#pragma once
// TClientSocket: a non-blocking TCP client. Connecting, reading, the peer's close and errors
// are reported through events that run from the GUI thread's event loop, never from inside a
// call on the socket. Errors carry the classic socket error numbers (10061 refused, 10060
// timed out, 11001 host not found, ...).

#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "platform/core/exception.h"

// An error event whose handler left the code non-zero.
LUMETRA_EXCEPTION(ESocketError, Exception);

class TClientSocket;

using TSocketNotifyEvent = std::function<void(TClientSocket& socket)>;
// Leaving errorCode non-zero raises ESocketError through the application's error handler.
using TSocketErrorEvent = std::function<void(TClientSocket& socket, int& errorCode)>;

class TClientSocket {
public:
    TClientSocket();
    // Drops the connection and every event not yet delivered.
    ~TClientSocket();
    TClientSocket(const TClientSocket&) = delete;
    TClientSocket& operator=(const TClientSocket&) = delete;

    // A host name or a numeric IPv4 or IPv6 address.
    const std::string& Host() const { return host_; }
    void SetHost(const std::string& host) { host_ = host; }
    int Port() const { return port_; }
    void SetPort(int port) { port_ = port; }

    // Starts connecting and returns at once; OnConnect or OnError follows.
    void Open();
    // Writes what is still queued (waiting at most 2 s for a peer that does not read), then
    // closes. No event of this socket follows.
    void Close();
    // Open and not yet closed by either side.
    bool Active() const;
    bool Connected() const;

    // Queues the bytes; all of them reach the peer in order while the event loop runs.
    void SendText(std::string_view bytes);
    // Everything received and not yet taken.
    std::string ReceiveText();
    int ReceiveLength() const;

    // Handles events until one of this socket's events has been delivered or maxMs have
    // passed; true when an event came.
    bool WaitForEvent(int maxMs);

    TSocketNotifyEvent OnConnect;
    TSocketNotifyEvent OnRead;
    TSocketNotifyEvent OnDisconnect;
    TSocketErrorEvent OnError;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
    std::string host_;
    int port_ = 0;
};
