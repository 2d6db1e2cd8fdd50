#pragma once

// What a replaced file keeps, as `cp --preserve=all` keeps it: owner and
// group, the exact mode bits, the access control list and the user's
// extended attributes.  Internal to fileio.

#include <QString>

#include <sys/stat.h>

namespace fileio {

// Gives the new file `to` (open for writing) the attributes of the file
// `from` (any open descriptor, O_PATH too) whose status is `status`.
// Returns an empty string, or the reason one of them cannot be kept: a
// file is never saved with wider access than the one it replaces.
QString keepAttributes(int from, const struct stat& status, int to);

}  // namespace fileio
