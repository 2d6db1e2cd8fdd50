#pragma once

// Where `reveal -o FILE` may put a text.

#include <QString>

namespace cli {

// Refuses `file` as the place for a text revealed from `picture`, reported,
// with its exit status: a name that says picture (the text would pass for
// one, or replace one, perhaps the very picture it came from) or the
// picture file itself under any name is a usage error; something that is
// not a regular file, or that the user may not write, a file error.
// kOk when the text may go there.
int refuseTextOutput(const QString& file, const QString& picture);

}  // namespace cli
