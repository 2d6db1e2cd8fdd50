#pragma once

// The boxes several commands show alike: the program's alert title, the box
// builder, and the failure box that names a file and the reason.

#include "platform.h"

#include "fileio/failure.h"

#include <QString>
#include <QStringList>

#include <vector>

namespace platform {

// Between the lines of a box's text, as the program's messages are written.
inline const QString kCrLf = QStringLiteral("\r\n");

// Title of the program's information boxes, questions and warnings.
QString alertTitle();

// The one way to make a box: its title and icon, then its text, given whole
// or as lines joined here with CR LF, then its buttons when they are not a
// single OK:
//   Box(alertTitle(), Icon::Question).lines({...}).buttons(Buttons::YesNo, Answer::No)
class Box {
public:
    Box(const QString& title, Icon icon);
    Box& text(const QString& text);
    Box& lines(const QStringList& lines);
    Box& buttons(Buttons buttons, Answer byDefault);
    // A copy, so that no reference outlives the builder.
    operator MessageBox() const { return m_box; }

private:
    MessageBox m_box;
};

// The window's one table from a failure's kind to its box: "Mirrorvane
// Alert", warning icon, OK, with "<subject> could not be opened:" (or "saved:"
// when the output could not be written), the path in the desktop's own form
// and the reason, each on a line of its own.  `subject` is "The picture",
// "The text file" or "The file".
MessageBox fileFailureBox(const QString& subject, const QString& path, const fileio::Failure& failure);

// Characters separated by spaces, as the refusals of unencodable text list them.
QString characterList(const std::vector<char32_t>& characters);

}  // namespace platform
