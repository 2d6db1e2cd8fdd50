#pragma once

// The commands that answer a question about many pictures in one call, for
// scripts: `check` (which of them carry a message) and `capacity`.

#include "arguments.h"

namespace cli {

int check(const Arguments& args);
int capacity(const Arguments& args);

}  // namespace cli
