#pragma once

// The image libraries talk on stderr about every damaged file they meet
// ("libpng error: IDAT: CRC error", "qt.gui.imageio.jpeg: Corrupt JPEG data",
// "QFile::at: Cannot tell..."), all through Qt's message handler.  The
// reader already tells the user what is wrong in a sentence of its own, so
// that chatter is kept out of the user's terminal unless asked for.

namespace imagefile {

// Name of the environment variable that lets the libraries' messages through.
inline constexpr const char* kVerboseVariable = "MIRRORVANE_VERBOSE";

// Drops Qt's debug, info and warning messages for the rest of the run, unless
// `shown` is true or MIRRORVANE_VERBOSE is set to anything but empty or 0.
// Critical and fatal messages always go through.
void quietLibraryMessages(bool shown = false);

// libpng's default error handler, which Qt's PNG reader keeps, writes
// "libpng error: ..." straight to the standard error stream, past Qt's
// message handler.  While one of these lives, and only once
// quietLibraryMessages has been asked to quieten, that stream goes nowhere.
class LibraryOutputMuffle {
public:
    LibraryOutputMuffle();
    ~LibraryOutputMuffle();
    LibraryOutputMuffle(const LibraryOutputMuffle&) = delete;
    LibraryOutputMuffle& operator=(const LibraryOutputMuffle&) = delete;

private:
    int m_saved = -1;
};

}  // namespace imagefile
