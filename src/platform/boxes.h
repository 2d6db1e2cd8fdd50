#pragma once

// The boxes several commands show alike: the program's alert title, an OK
// box, and the failure box that names a file and the reason.

#include "platform.h"

#include <QString>

#include <vector>

namespace platform {

// Between the lines of a box's text, as the program's messages are written.
inline const QString kCrLf = QStringLiteral("\r\n");

// Title of the program's information boxes, questions and warnings.
QString alertTitle();

// A box with a single OK button, OK being the default.
MessageBox okBox(const QString& title, Icon icon, const QString& text);

// "Mirrorvane Alert", warning icon, OK: `sentence`, the path in the
// desktop's own form and `reason`, each on a line of its own.
MessageBox fileFailureBox(const QString& sentence, const QString& path, const QString& reason);

// Characters separated by spaces, as the refusals of unencodable text list them.
QString characterList(const std::vector<char32_t>& characters);

}  // namespace platform
