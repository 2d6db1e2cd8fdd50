// Pictures made to hurt the reader, through the real program: each is
// answered within seconds and 100 MB whatever its size, a refusal with its
// reason.

#include "clitest.h"

#include "imagefile/hostilefiles.h"

#include <functional>

namespace {

using namespace clitest;

TEST_F(Cli, HostilePicturesAreAnsweredInSecondsWithinBoundedMemory)
{
    using namespace imagefiletest;
    const QByteArray jpeg = progressiveJpeg(patternImage(64, 48));
    // Each kind is the decoders' own test; these prove the tool neither reads
    // a large file whole nor decodes a refused one. Made one at a time: the
    // program's peak counts what this process holds when it starts it.
    const struct { const char* why; std::function<QByteArray()> make; int status; QByteArray words; } rows[] = {
        {"JPEG padded with 100 MB of comments", [&] {
             return QByteArray(jpeg).insert(2, (QByteArray::fromHex("FFFEFFFF") + QByteArray(65533, 'c')).repeated(1600));
         }, 0, {}},
        {"progressive CMYK 16384 x 16384 behind stuffed zeros",
         [&] { return behindStuffedZeros(withFrame(jpeg, 16384, 16384, 4)); }, 2, "would need 3072 MB"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.why);
        const std::string file = write("picture", row.make());
        // Killed past 5 seconds: the status would then be 137.
        const Outcome o = launch({.args = {"-s", "KILL", "5", MIRRORVANE_CLI, "capacity", file}, .program = "/usr/bin/timeout"});
        if (row.status == 0)
            EXPECT_EQ(o.status, 0) << o.err.toStdString();
        else
            EXPECT_TRUE(ended(o, row.status, row.words));
#ifndef __SANITIZE_ADDRESS__  // whose shadow memory alone is more
        EXPECT_LT(o.peakKilobytes, 100 << 10);  // whatever the file's size
#endif
    }
}

}  // namespace
