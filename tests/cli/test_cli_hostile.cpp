// Pictures made to hurt the reader, through the real program: each is
// answered within seconds and a bounded memory, a refusal with its reason.

#include "clitest.h"

#include "picture/hostilefiles.h"

namespace {

using namespace clitest;

TEST_F(Cli, HostilePicturesAreAnsweredInSecondsWithinBoundedMemory)
{
    QByteArray textChunks;
    for (int i = 0; i < 200; ++i)  // each inflates to 16 MB
        textChunks += picturetest::pngChunk("zTXt", QByteArray("Comment\0\0", 9) + picturetest::zlibWithZeros({}, 16));
    const QByteArray jpeg = picturetest::progressiveJpeg(patternImage(64, 48));
    const struct { const char* why; QByteArray bytes; int status; QByteArray words; } rows[] = {
        {"PNG with 200 text chunks of 16 MB each", picturetest::smallPng(textChunks), 0, {}},
        {"PNG whose data inflates 2 GB past its rows", picturetest::smallPng({}, 2048), 0, {}},
        {"GIF frame followed by 700,000 codes", picturetest::gifWithLzwTail(700000), 0, {}},
        {"progressive CMYK 16384 x 16384 behind stuffed zeros",
         picturetest::behindStuffedZeros(picturetest::withFrame(jpeg, 16384, 16384, 4)), 2, "would need 3072 MB"},
        {"3000 scans behind stuffed zeros",
         picturetest::behindStuffedZeros(picturetest::withRepeatedScans(picturetest::withFrame(jpeg, 2048, 2048, 3), 3000)),
         2, "more than 100 scans"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.why);
        const std::string file = write("picture", row.bytes);
        // Killed past 5 seconds: the status would then be 137.
        const Outcome o = launch({.args = {"-s", "KILL", "5", MIRRORVANE_CLI, "capacity", file}, .program = "/usr/bin/timeout"});
        if (row.status == 0)
            EXPECT_EQ(o.status, 0) << o.err.toStdString();
        else
            EXPECT_TRUE(ended(o, row.status, row.words));
        EXPECT_LT(o.peakKilobytes, (100 << 10) + row.bytes.size() / 1024);
    }
}

}  // namespace
