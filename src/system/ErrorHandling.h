// The standard procedure error handler: a run-time error is shown as its
// description (OK button, application's title), cleared, and the procedure
// ends early.
#pragma once

#include <new>

#include "system/RuntimeError.h"

namespace cm {

void ReportError(const RuntimeError& error);

// Runs body under the standard handler; answers whether it ran to its end.
template <class Body>
bool WithStandardHandler(Body&& body) {
    try {
        body();
        return true;
    } catch (const RuntimeError& error) {
        ReportError(error);
    } catch (const std::bad_alloc&) {
        ReportError(RuntimeError(kErrOutOfMemory, DescribeError(kErrOutOfMemory)));
    }
    return false;
}

}  // namespace cm
