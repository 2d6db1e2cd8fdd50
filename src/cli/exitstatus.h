#pragma once

#include "fileio/failure.h"

#include <QString>

namespace cli {

// The exit statuses scripts rely on.
enum ExitStatus {
    kOk = 0,
    kUsage = 1,         // a usage error, or a text the code page cannot hold
    kFileError = 2,     // a file or standard stream that cannot be read or written
    kNoMessage = 3,     // no hidden message
    kTooMuchText = 4,   // more text than the picture holds
};

// What went wrong, as a command reports it: the kind decides the exit
// status, the reason is the sentence for the user.
enum class FailureKind { Usage, File, NoMessage, TooMuchText };

struct Failure {
    FailureKind kind;
    QString reason;
};

// The one table from a failure's kind to its exit status.
constexpr ExitStatus exitStatusOf(FailureKind kind) noexcept
{
    switch (kind) {
    case FailureKind::Usage:
        return kUsage;
    case FailureKind::File:
        return kFileError;
    case FailureKind::NoMessage:
        return kNoMessage;
    case FailureKind::TooMuchText:
        return kTooMuchText;
    }
    return kFileError;
}

// The libraries' kinds as a command's: every one is about a file or a
// stream the command was given (a picture refused as too large for 24-bit
// output included), and memory that runs out on a picture and text.
constexpr FailureKind commandKindOf(fileio::FailureKind kind) noexcept
{
    switch (kind) {
    case fileio::FailureKind::Unreadable:
    case fileio::FailureKind::Unwritable:
    case fileio::FailureKind::Refused:
    case fileio::FailureKind::OutOfMemory:
        return FailureKind::File;
    }
    return FailureKind::File;
}

// A library's failure as a command reports it: `lead` ("cannot write x: ")
// and the library's reason.
inline Failure commandFailure(const QString& lead, const fileio::Failure& failure)
{
    return {commandKindOf(failure.kind), lead + failure.reason};
}

}  // namespace cli
