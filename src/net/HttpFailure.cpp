#include "net/HttpFailure.h"

namespace ocelis {

std::string FailureReason(const EHttpError& error) {
    switch (error.Kind) {
    case THttpFailure::HttpStatus:
    case THttpFailure::Redirect:
    case THttpFailure::AuthenticationRequired:
    case THttpFailure::NotAuthorised:
        return error.StatusLine;
    default:
        return error.what();
    }
}

} // namespace ocelis
