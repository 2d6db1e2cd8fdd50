#pragma once

// Refusals made before a command touches any file: requests that could only
// hang or lose the user's message.

#include "arguments.h"

#include <QString>

namespace cli {

// kFileError, reported, when a command would read its picture from a
// terminal (it would wait for bytes nobody types); else kOk.
int refusePictureFromTerminal(const Arguments& args);

// The sentence refusing OUTPUT `output` whose name asks for a lossy format
// (`format` being its name, "JPEG" or "GIF"), which would destroy the text.
QString lossyOutputRefusal(const QString& output, const QString& format);

}  // namespace cli
