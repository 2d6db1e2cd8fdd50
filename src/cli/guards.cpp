#include "guards.h"

#include "exitstatus.h"
#include "output.h"

#include <algorithm>

#include <unistd.h>

namespace cli {

int refusePictureFromTerminal(const Arguments& args)
{
    // hide's second name is its output; check and capacity take only pictures.
    const bool onePicture = args.command == QLatin1String("hide") || args.command == QLatin1String("reveal");
    const bool manyPictures = args.command == QLatin1String("capacity") || args.command == QLatin1String("check");
    const auto end = onePicture && !args.positional.empty() ? args.positional.begin() + 1 : args.positional.end();
    const bool fromInput = std::find(args.positional.begin(), end, QLatin1String("-")) != end;
    if (args.help || args.version || !(onePicture || manyPictures) || !fromInput || !isTerminal(STDIN_FILENO))
        return kOk;
    complainLine(std::string_view("cannot read the picture from standard input: standard input is a terminal; "
                                  "redirect a picture into it or name the picture file"));
    return kFileError;
}

QString lossyOutputRefusal(const QString& output, const QString& format)
{
    return QStringLiteral("%1 names a %2 picture, a format that would destroy the hidden text; "
                          "write BMP or PNG (a .bmp or .png name), or give --format bmp or --format png")
        .arg(shown(output), format);
}

}  // namespace cli
