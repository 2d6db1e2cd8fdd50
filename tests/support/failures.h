#pragma once

#include "fileio/failure.h"

namespace testsupport {

// The reason a call failed, or empty when it succeeded: what the checks
// compare with the sentences the user is shown.
inline QString reasonOf(const fileio::MaybeFailure& failure) { return failure ? failure->reason : QString(); }

}  // namespace testsupport
