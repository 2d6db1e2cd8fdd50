#pragma once

namespace cli {

// The exit statuses scripts rely on.
enum ExitStatus {
    kOk = 0,
    kUsage = 1,         // a usage error, or a text the code page cannot hold
    kFileError = 2,     // a file or standard stream that cannot be read or written
    kNoMessage = 3,     // no hidden message
    kTooMuchText = 4,   // more text than the picture holds
};

}  // namespace cli
