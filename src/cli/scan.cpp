#include "scan.h"

#include "exitstatus.h"
#include "output.h"
#include "picturesource.h"

#include "bmpfile/bmpstream.h"
#include "stego/message.h"

#include <algorithm>
#include <string>
#include <string_view>

namespace cli {

namespace {

// Standard input holds one picture; a second "-" would find it used up.
bool takesStandardInputTwice(const Arguments& args)
{
    return std::count(args.positional.begin(), args.positional.end(), kStandardStream) > 1;
}

// A name on a line of its own: control characters escaped as in messages,
// so that a tab or a line break in a name cannot forge another line.
std::string listedName(const QString& name)
{
    return escapeControls(name).toStdString();
}

enum class Answer { Carries, NoMessage, Unreadable };

Answer scanPicture(const QString& path)
{
    Picture picture = openPicture(path, true, true);
    if (!picture.ok())
        return Answer::Unreadable;
    if (picture.noStartMarker)
        return Answer::NoMessage;
    stego::ReadOutcome outcome = stego::ReadOutcome::NoEndMarker;
    if (picture.bmpFile) {
        // The text itself is not wanted: only whether its end marker comes.
        const bmpfile::ByteSink discard = [](QByteArrayView) { return true; };
        const bmpfile::BmpReveal revealed = bmpfile::revealBmp(*picture.bmpFile, discard);
        if (revealed.failure) {  // the sink above takes every piece
            complain({commandKindOf(revealed.failure->kind),
                      QStringLiteral("cannot read the picture %1: %2").arg(shown(path), revealed.failure->reason)});
            return Answer::Unreadable;
        }
        outcome = revealed.result.outcome;
    } else {
        outcome = stego::readMessage(picture.decoded->pixels()).outcome;
    }
    // Under 40 pixels the start marker is never tested: no start, no damage.
    if (outcome == stego::ReadOutcome::NoEndMarker && picture.width * picture.height >= 40)
        complainLine(QStringLiteral("%1 is damaged: it starts with a Mirror Vane secret text message, "
                                    "but the message has no end marker")
                         .arg(shown(path)));
    return outcome == stego::ReadOutcome::Found ? Answer::Carries : Answer::NoMessage;
}

}  // namespace

int check(const Arguments& args)
{
    if (args.positional.empty() || args.text || args.textFile || args.raw || args.utf8 || args.formatGiven)
        return usageError(QStringLiteral("check takes one or more PICTUREs, and -0 or -q"));
    if (takesStandardInputTwice(args))
        return usageError(QStringLiteral("standard input can give only one PICTURE"));
    bool found = false, unreadable = false;
    for (const QString& path : args.positional) {
        switch (scanPicture(path)) {
        case Answer::Carries:
            // As grep -q: the answer is known, the rest need not be read.
            if (args.quiet)
                return kOk;
            found = true;
            writeOut(args.nullEnded ? path.toStdString() : listedName(path));
            writeOut(args.nullEnded ? std::string_view("\0", 1) : std::string_view("\n"));
            break;
        case Answer::NoMessage:
            break;
        case Answer::Unreadable:
            unreadable = true;
            break;
        }
    }
    if (unreadable)
        return kFileError;
    return found ? kOk : kNoMessage;
}

int capacity(const Arguments& args)
{
    if (args.positional.empty() || args.text || args.textFile || args.raw || args.utf8 || args.formatGiven)
        return usageError(QStringLiteral("capacity takes one or more PICTUREs and no options"));
    if (takesStandardInputTwice(args))
        return usageError(QStringLiteral("standard input can give only one PICTURE"));
    const bool labelled = args.positional.size() > 1;
    int status = kOk;
    for (const QString& path : args.positional) {
        const Picture picture = measurePicture(path);
        if (!picture.ok()) {
            status = picture.status;
            continue;
        }
        writeOut(std::to_string(stego::textCapacity(picture.width, picture.height)));
        if (labelled) {
            writeOut("\t");
            writeOut(listedName(path));
        }
        writeOut("\n");
    }
    return status;
}

}  // namespace cli
