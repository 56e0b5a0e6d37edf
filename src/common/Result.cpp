#include "common/Result.h"

namespace talvex {

const char* statusName(Status status)
{
    switch (status) {
    case Status::Ok: return "ok";
    case Status::TimedOut: return "time-out";
    case Status::Gone: return "gone";
    case Status::Denied: return "denied";
    case Status::Busy: return "busy";
    case Status::Unsupported: return "unsupported";
    case Status::Refused: return "refused";
    case Status::BadInput: return "bad input";
    case Status::Other: break;
    }
    return "other";
}

} // namespace talvex
