#pragma once

#include <QString>

#include <optional>
#include <utility>

namespace fileio {

// What a library's failure was about; the program above decides what each
// kind means to its user (an exit status, a kind of box).
enum class FailureKind {
    Unreadable,   // the input could not be read, or is not what it claims to be
    Unwritable,   // the output could not be written
    Refused,      // the input is sound but cannot be taken this way
    OutOfMemory,  // not enough memory
};

// A failure as the libraries hand it up: its kind and one phrase for the
// user.  The reason may be empty where only the caller knows it (a sink
// that refused a block keeps its own reason).
struct Failure {
    FailureKind kind;
    QString reason;
};

// What a call that may fail returns: nothing when it succeeded.
using MaybeFailure = std::optional<Failure>;

inline Failure unreadable(QString reason) { return {FailureKind::Unreadable, std::move(reason)}; }
inline Failure unwritable(QString reason = {}) { return {FailureKind::Unwritable, std::move(reason)}; }
inline Failure refused(QString reason) { return {FailureKind::Refused, std::move(reason)}; }
inline Failure outOfMemory(QString reason) { return {FailureKind::OutOfMemory, std::move(reason)}; }

}  // namespace fileio
