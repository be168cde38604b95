// How a request failed: a kind callers can act on, the values that go with it, and the
// short reason a user is shown.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

enum class THttpFailure {
    BadUrl,                 // an address the client cannot read or does not speak
    NameNotResolved,        // the host name gives no address
    Refused,                // the server's port refused the connection
    Unreachable,            // no route to the address
    TimeOut,                // a connect, handshake or read time-out, or the whole-request limit
    Tls,                    // TLS itself failed (a refused certificate, a broken handshake)
    HttpStatus,             // an answer with a status other than success
    Redirect,               // a 3xx other than 304, or any answer with a Location header
    ClosedEarly,            // the connection closed before the answer (or its chunked body) ended
    TooLarge,               // a line, the header block, the body or a chunk over its cap
    AuthenticationRequired, // a 401 to a request without credentials
    NotAuthorised,          // a 401 to credentials, or credentials refused minutes ago
    Aborted,                // the client was aborted
    Other,                  // socket errors and anything else
};

// Every failure of the client. The fields beyond Kind are set only where they apply.
class EHttpError : public std::runtime_error {
public:
    explicit EHttpError(const std::string& what, THttpFailure kind = THttpFailure::Other)
        : std::runtime_error(what), Kind(kind) {}

    THttpFailure Kind;
    int32_t Code = -1;      // HttpStatus, Redirect, AuthenticationRequired, NotAuthorised
    std::string StatusLine; // the same kinds: the status line as received
    std::string Location;   // Redirect: the header's value as sent; empty when absent
    std::string Host;       // NameNotResolved: the name looked up, without brackets
    int32_t TimeOutMs = 0;  // TimeOut: the limit that fired
};

namespace ocelis {

// What a tooltip shows: the status line of an answer, the error text otherwise.
std::string FailureReason(const EHttpError& error);

} // namespace ocelis
