#pragma once

// Standard output and standard error as the commands use them: every write
// to standard output is checked, and names and texts that reach a terminal
// have their control characters escaped.

#include <QIODevice>
#include <QString>

#include <string>
#include <string_view>

namespace cli {

inline constexpr std::string_view kProgram = "mirrorvane-cli";

// Gives the three standard descriptors something harmless when the caller
// closed them, so that no file this program opens lands on descriptor 1 and
// receives what was meant for standard output.  A closed standard output
// becomes a descriptor that refuses writes, so the failure is still reported.
void guardStandardDescriptors();

// Appends to standard output; a failure is remembered, not reported here.
void writeOut(std::string_view bytes);
// Sends what standard output holds on its way, so that it comes before
// what goes to standard error next; a failure is remembered.
void flushOut();
// Flushes and closes standard output; the system's reason when any write,
// the flush or the close failed, else an empty string.
QString finishOut();

// One line on standard error, with the program's prefix.
void complainLine(std::string_view line);
void complainLine(const QString& line);

// Standard output as a device, for the picture writers; writes go through
// writeOut, so failures surface in finishOut.
class StandardOutputDevice : public QIODevice {
public:
    StandardOutputDevice();
    bool isSequential() const override { return true; }

protected:
    qint64 readData(char*, qint64) override { return -1; }
    qint64 writeData(const char* data, qint64 size) override;
};

bool isTerminal(int descriptor);

// A user-given name for a message: quoted, native separators, control
// characters as \xHH so that a name cannot drive the terminal.
QString shown(const QString& name);
// The same without the quotes, for any text.
QString escapeControls(const QString& text);
// The same for a name whose bytes are not valid UTF-8: every byte outside
// printable ASCII is shown as \xHH.
QString shownBytes(std::string_view name);
// \xHH of a byte, the escape of every text shown here.
std::string hexEscape(unsigned value);

// A revealed text for a terminal: control characters other than TAB, LF
// and CR become \xHH, HH being the hidden byte.  `codes` holds the hidden
// bytes; `text` is what would be written, one character for each byte when
// `utf8` is set (the Windows-1252 decoding), else the bytes themselves.
// Sets `escaped` when anything was replaced.
// Under a locale of another encoding than UTF-8 (`utf8` set), the text is
// written in that encoding, and a character it lacks is escaped like a control.
std::string escapeForTerminal(std::string_view codes, std::u16string_view text, bool utf8, bool& escaped);
// The note on standard error after a text that escapeForTerminal escaped.
std::string terminalEscapeNote();

}  // namespace cli
