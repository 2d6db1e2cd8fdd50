// Whole commands of the window as a person waits for them, each beside the
// cheapest way Qt or the engine has to do the same job.  The goals are ratios
// of a pair measured in the same run:
//   BM_OpenImage / BM_DecodeOnly          at most 1.25
//   BM_OpenBmp / BM_ReadFile              at most 3 (a 24-bit BMP opens at
//                                         the speed of reading its bytes)
//   BM_SaveImage / BM_WriteBaseline       at most 1.5
//   BM_HideTextCommand / BM_HideMessage   at most 2
//   BM_GetTextCommand / BM_ReadAndSetText at most 1.5
//   BM_ShowLongRun / BM_ShowProse         about 1 (a run without spaces must
//                                         not lay out slower than prose)
//   BM_HideTextPerByte, BM_GetTextPerByte utf8:1 at most 1.2 times utf8:0,
//                                         in time per byte hidden
//   BM_RevealPng / BM_DecodePng           at most 1.1 (the message's columns
//                                         of a PNG, against all of it)
#include "app/stego1.h"
#include "picture/imagecanvas.h"
#include "imagefile/imageio.h"
#include "imagefile/messagecolumns.h"
#include "imagefile/pngwriter.h"
#include "fileio/fileio.h"
#include "stego/body.h"
#include "stego/message.h"
#include "support/fakeplatform.h"
#include "text/textbox.h"

#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QImageReader>
#include <QImageWriter>
#include <QPlainTextEdit>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <memory>
#include <random>
#include <span>

namespace {

constexpr int kPhotoWidth = 6000;
constexpr int kPhotoHeight = 4000;

// A folder for the run's files, removed when the program ends.
const QTemporaryDir& benchFolder()
{
    static const QTemporaryDir folder;
    return folder;
}

// A 6000 x 4000 JPEG that decodes like a photo: smooth gradients with grain,
// so the encoder has neither flat areas nor pure noise to deal with.  Made once.
const QString& photoPath()
{
    static const QString path = [] {
        QImage image(kPhotoWidth, kPhotoHeight, QImage::Format_RGB32);
        std::mt19937 random(3);
        for (int y = 0; y < kPhotoHeight; ++y) {
            auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
            for (int x = 0; x < kPhotoWidth; ++x) {
                const int grain = static_cast<int>(random() % 24);
                row[x] = qRgb((x / 24 + grain) & 255, (y / 16 + grain) & 255, ((x + y) / 40 + grain) & 255);
            }
        }
        const QString file = benchFolder().filePath(QStringLiteral("photo.jpg"));
        QImageWriter writer(file, "jpeg");
        writer.setQuality(90);
        if (!writer.write(image))
            qFatal("cannot write the benchmark photo: %s", qPrintable(writer.errorString()));
        return file;
    }();
    return path;
}

// `words` drawn at random into lines of about 80 characters ended by CR LF.
QString proseOf(std::span<const QStringView> words, qsizetype length)
{
    std::mt19937 random(4);
    QString text;
    text.reserve(length + 100);
    qsizetype lineStart = 0;
    while (text.size() < length) {
        text += words[random() % words.size()];
        if (text.size() - lineStart >= 72) {
            text += QLatin1String("\r\n");
            lineStart = text.size();
        } else {
            text += QLatin1Char(' ');
        }
    }
    text.truncate(length);
    return text;
}

// Prose as typed or pasted letters and documents have it.
QString documentText(qsizetype length)
{
    static constexpr QStringView words[] = {u"the",  u"message", u"seen", u"picture", u"hidden",  u"seven",
                                            u"every", u"letter", u"here", u"we",      u"are,",    u"see",
                                            u"between", u"enemy."};
    return proseOf(words, length);
}

// Pixels like a photo's, for canvases that are not decoded from a file.
QImage photoLikeImage(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    std::mt19937 random(5);
    for (int y = 0; y < height; ++y) {
        auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < width; ++x)
            row[x] = 0xFF000000U | (random() & 0x00FFFFFFU);
    }
    return image;
}

// The engine benchmark's canvas shape: 3:2, just large enough for `characters`.
QSize canvasSizeFor(std::int64_t characters)
{
    const std::int64_t needed = 3 * (characters + stego::kMarkerLength);
    const auto height = static_cast<std::int64_t>(std::ceil(std::sqrt(static_cast<double>(needed) * 2.0 / 3.0)));
    return {static_cast<int>((needed + height - 1) / height), static_cast<int>(height)};
}

// The real window on the fake desktop, started as the program starts it.
struct BenchWindow {
    testsupport::FakePlatform platform;
    std::unique_ptr<app::Stego1> window;

    BenchWindow() : window(std::make_unique<app::Stego1>(platform))
    {
        if (!window->Form_Load())
            qFatal("the window refused to start");
    }
};

void BM_DecodeOnly(benchmark::State& state)
{
    const QString& path = photoPath();
    QImageReader::setAllocationLimit(imagefile::kAllocationLimitMB);
    for (auto _ : state) {
        QImageReader reader(path);
        QImage image = reader.read();
        if (image.isNull())
            state.SkipWithError("the photo did not decode");
        benchmark::DoNotOptimize(image.constBits());
    }
}
BENCHMARK(BM_DecodeOnly)->Name("BM_DecodeOnly/24MP")->Unit(benchmark::kMillisecond);

void BM_OpenImage(benchmark::State& state)
{
    const QString& path = photoPath();
    BenchWindow bench;
    for (auto _ : state) {
        bench.platform.dialogAnswers.push_back(path);
        bench.window->Command4_Click();
        if (bench.window->loadedImagePath() != path)
            state.SkipWithError("the photo did not open");
    }
}
BENCHMARK(BM_OpenImage)->Name("BM_OpenImage/24MP")->Unit(benchmark::kMillisecond);

// The photo as the 24-bit BMP Save Image writes.  Made once.
const QString& photoBmpPath()
{
    static const QString path = [] {
        const QString file = benchFolder().filePath(QStringLiteral("photo.bmp"));
        if (const fileio::MaybeFailure failure = imagefile::saveBmp(photoLikeImage(kPhotoWidth, kPhotoHeight), file))
            qFatal("cannot write the benchmark BMP: %s", qPrintable(failure->reason));
        return file;
    }();
    return path;
}

void BM_ReadFile(benchmark::State& state)
{
    const QString& path = photoBmpPath();
    for (auto _ : state) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            state.SkipWithError("the BMP could not be opened");
        const QByteArray bytes = file.readAll();
        benchmark::DoNotOptimize(bytes.constData());
    }
}
BENCHMARK(BM_ReadFile)->Name("BM_ReadFile/24MP")->Unit(benchmark::kMillisecond);

void BM_OpenBmp(benchmark::State& state)
{
    const QString& path = photoBmpPath();
    BenchWindow bench;
    for (auto _ : state) {
        bench.platform.dialogAnswers.push_back(path);
        bench.window->Command4_Click();
        if (bench.window->loadedImagePath() != path)
            state.SkipWithError("the BMP did not open");
    }
}
BENCHMARK(BM_OpenBmp)->Name("BM_OpenBmp/24MP")->Unit(benchmark::kMillisecond);

void BM_WriteBaseline(benchmark::State& state)
{
    // The size of the BMP Save Image writes: header and 24-bit rows.
    const qint64 bytes = 54 + qint64(kPhotoWidth) * 3 * kPhotoHeight;
    const QByteArray contents(bytes, 'x');
    const QString path = benchFolder().filePath(QStringLiteral("baseline.bin"));
    for (auto _ : state) {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(contents) != bytes)
            state.SkipWithError("the baseline file could not be written");
        file.close();
    }
    QFile::remove(path);
}
BENCHMARK(BM_WriteBaseline)->Name("BM_WriteBaseline/24MP")->Unit(benchmark::kMillisecond);

void BM_SaveImage(benchmark::State& state)
{
    BenchWindow bench;
    bench.window->canvas()->setImage(photoLikeImage(kPhotoWidth, kPhotoHeight));
    const QString path = benchFolder().filePath(QStringLiteral("saved.bmp"));
    for (auto _ : state) {
        bench.platform.dialogAnswers.push_back(path);
        bench.window->Command5_Click();
        if (!bench.platform.boxes.isEmpty())
            state.SkipWithError("the picture was not saved");
    }
    QFile::remove(path);
}
BENCHMARK(BM_SaveImage)->Name("BM_SaveImage/24MP")->Unit(benchmark::kMillisecond);

void BM_HideTextCommand(benchmark::State& state)
{
    BenchWindow bench;
    const QSize size = canvasSizeFor(state.range(0));
    bench.window->canvas()->setImage(photoLikeImage(size.width(), size.height()));
    text::setTextBoxText(bench.window->text1(), documentText(state.range(0)));
    for (auto _ : state) {
        bench.window->Command1_Click();
        if (bench.window->imageChanged() != 1)
            state.SkipWithError("the text was not hidden");
    }
}
BENCHMARK(BM_HideTextCommand)->Arg(1200000)->Unit(benchmark::kMillisecond);

// `text` hidden in a canvas just large enough.
QImage pictureCarrying(const QString& text)
{
    const QSize size = canvasSizeFor(text.size());
    QImage image = photoLikeImage(size.width(), size.height());
    const QByteArray bytes = text.toLatin1();
    stego::hideBytes(imagefile::surfaceOf(image), std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())));
    return image;
}

void BM_ReadAndSetText(benchmark::State& state)
{
    const QImage image = pictureCarrying(documentText(state.range(0)));
    QPlainTextEdit box;
    for (auto _ : state) {
        state.PauseTiming();
        box.clear();
        state.ResumeTiming();
        const stego::ReadResult result = stego::readMessage(imagefile::surfaceOf(image));
        box.setPlainText(QString::fromLatin1(result.text.data(), static_cast<qsizetype>(result.text.size())));
        benchmark::DoNotOptimize(box.document()->characterCount());
    }
}
BENCHMARK(BM_ReadAndSetText)->Arg(1200000)->Unit(benchmark::kMillisecond);

// Times Get Text into the emptied upper box, which must receive at least
// half of the state.range(0) characters hidden.
void timeGetText(benchmark::State& state, BenchWindow& bench)
{
    QPlainTextEdit* text1 = bench.window->text1();
    for (auto _ : state) {
        state.PauseTiming();
        text1->clear();
        state.ResumeTiming();
        bench.window->Command2_Click();
        if (text1->document()->characterCount() < state.range(0) / 2)
            state.SkipWithError("the text was not read");
    }
}

void BM_GetTextCommand(benchmark::State& state)
{
    BenchWindow bench;
    bench.window->canvas()->setImage(pictureCarrying(documentText(state.range(0))));
    timeGetText(state, bench);
}
BENCHMARK(BM_GetTextCommand)->Arg(1200000)->Unit(benchmark::kMillisecond);

// Prose of the same shape in Polish and Russian words: one to two bytes of
// UTF-8 a character.
QString worldText(qsizetype length)
{
    static constexpr QStringView words[] = {u"wiadomo\u015b\u0107", u"\u0142\u00f3d\u017a", u"obraz",
                                            u"\u0441\u043e\u043e\u0431\u0449\u0435\u043d\u0438\u0435",
                                            u"\u043a\u0430\u0440\u0442\u0438\u043d\u043a\u0430", u"tajna",
                                            u"za\u017c\u00f3\u0142\u0107", u"\u0438", u"w"};
    return proseOf(words, length);
}

// The body Hide Text makes of `text`: Windows-1252, or the mark and UTF-8.
std::string bodyOf(const QString& text, bool utf8)
{
    if (!utf8)
        return text.toLatin1().toStdString();
    const std::u16string_view units(reinterpret_cast<const char16_t*>(text.utf16()), static_cast<std::size_t>(text.size()));
    return stego::utf8Body(*stego::utf16ToUtf8(units));
}

// Hide Text and Get Text of a million characters, as Windows-1252 and as
// UTF-8 (the user answering Yes), counted per byte hidden: the goal is
// UTF-8 within 1.2 times the Windows-1252 time a byte.
void BM_HideTextPerByte(benchmark::State& state)
{
    const bool utf8 = state.range(1) != 0;
    const QString text = utf8 ? worldText(state.range(0)) : documentText(state.range(0));
    const auto bytes = static_cast<std::int64_t>(bodyOf(text, utf8).size());
    BenchWindow bench;
    const QSize size = canvasSizeFor(bytes);
    bench.window->canvas()->setImage(photoLikeImage(size.width(), size.height()));
    text::setTextBoxText(bench.window->text1(), text);
    for (auto _ : state) {
        bench.platform.answers = {platform::Answer::Yes};
        bench.window->Command1_Click();
        if (bench.window->imageChanged() != 1)
            state.SkipWithError("the text was not hidden");
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * bytes);
}
BENCHMARK(BM_HideTextPerByte)->ArgNames({"chars", "utf8"})->Args({1000000, 0})->Args({1000000, 1})->Unit(benchmark::kMillisecond);

void BM_GetTextPerByte(benchmark::State& state)
{
    const bool utf8 = state.range(1) != 0;
    const std::string body = bodyOf(utf8 ? worldText(state.range(0)) : documentText(state.range(0)), utf8);
    BenchWindow bench;
    const QSize size = canvasSizeFor(static_cast<std::int64_t>(body.size()));
    QImage image = photoLikeImage(size.width(), size.height());
    stego::hideBytes(imagefile::surfaceOf(image), body);
    bench.window->canvas()->setImage(image);
    timeGetText(state, bench);
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(body.size()));
}
BENCHMARK(BM_GetTextPerByte)->ArgNames({"chars", "utf8"})->Args({1000000, 0})->Args({1000000, 1})->Unit(benchmark::kMillisecond);

// A shown window's Text1 laid out and painted with `text`.
void showInText1(benchmark::State& state, const QString& text)
{
    BenchWindow bench;
    bench.window->show();
    QPlainTextEdit* text1 = bench.window->text1();
    for (auto _ : state) {
        state.PauseTiming();
        text1->clear();
        text1->repaint();
        state.ResumeTiming();
        text::setTextBoxText(text1, text);
        text1->repaint();
    }
}

void BM_ShowProse(benchmark::State& state)
{
    showInText1(state, documentText(state.range(0)).replace(QLatin1String("\r\n"), QLatin1String("  ")));
}
BENCHMARK(BM_ShowProse)->Arg(200000)->Unit(benchmark::kMillisecond);

void BM_ShowLongRun(benchmark::State& state)
{
    // A base64 block: letters and digits only, nowhere to break between words.
    QString run(state.range(0), Qt::Uninitialized);
    for (qsizetype i = 0; i < run.size(); ++i)
        run[i] = QLatin1Char("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789"[(i * 7 + i / 13) % 62]);
    showInText1(state, run);
}
BENCHMARK(BM_ShowLongRun)->Arg(200000)->Unit(benchmark::kMillisecond);

// The two lossless outputs of the photo after a hide: PNG against BMP, the
// file size as a counter.  Not a goal with a ratio; the numbers chose the
// PNG writer's compression level.
void saveDecodedPhoto(benchmark::State& state, fileio::MaybeFailure (*save)(const QImage&, const QString&), const char* name)
{
    const QImage photo = imagefile::loadPicture(photoPath()).image;
    const QString path = benchFolder().filePath(QString::fromLatin1(name));
    for (auto _ : state) {
        if (const fileio::MaybeFailure failure = save(photo, path))
            state.SkipWithError(qPrintable(failure->reason));
    }
    state.counters["MB"] = static_cast<double>(QFileInfo(path).size()) / 1e6;
    QFile::remove(path);
}

void BM_SaveBmpFile(benchmark::State& state)
{
    saveDecodedPhoto(state, imagefile::saveBmp, "photo.bmp");
}
BENCHMARK(BM_SaveBmpFile)->Name("BM_SaveBmpFile/24MP")->Unit(benchmark::kMillisecond);

void BM_SavePngFile(benchmark::State& state)
{
    saveDecodedPhoto(state, imagefile::savePng, "photo.png");
}
BENCHMARK(BM_SavePngFile)->Name("BM_SavePngFile/24MP")->Unit(benchmark::kMillisecond);

// The streaming road (libpng, zlib level 1, Up on every row): the size the
// one-call road must stay within 1.05 times of, and the time it replaced.
// Goal: BM_SavePngFile at most 4 times BM_SaveBmpFile.
void BM_SavePngStreamed(benchmark::State& state)
{
    saveDecodedPhoto(state, [](const QImage& image, const QString& path) {
        return fileio::writeFileAtomically(path, [&](QIODevice& device) { return imagefile::writePng(image, device, 0); });
    }, "streamed.png");
}
BENCHMARK(BM_SavePngStreamed)->Name("BM_SavePngStreamed/24MP")->Unit(benchmark::kMillisecond);

// The photo as a PNG carrying 100,000 characters, as hide writes it.  Made once.
const QString& markedPngPath()
{
    static const QString path = [] {
        QImage photo = imagefile::loadPicture(photoPath()).image;
        stego::hideBytes(imagefile::surfaceOf(photo), documentText(100000).toStdString());
        const QString file = benchFolder().filePath(QStringLiteral("marked.png"));
        if (const fileio::MaybeFailure failure = imagefile::savePng(photo, file))
            qFatal("cannot write the marked PNG: %s", qPrintable(failure->reason));
        return file;
    }();
    return path;
}

void BM_DecodePng(benchmark::State& state)
{
    for (auto _ : state) {
        const imagefile::LoadResult loaded = imagefile::loadPicture(markedPngPath());
        if (!loaded.ok())
            state.SkipWithError(qPrintable(loaded.failure->reason));
    }
}
BENCHMARK(BM_DecodePng)->Name("BM_DecodePng/24MP")->Unit(benchmark::kMillisecond);

// What reveal does with the same file: the first columns, then the scan.
void BM_RevealPng(benchmark::State& state)
{
    for (auto _ : state) {
        const imagefile::LoadResult loaded = imagefile::loadForMessage(markedPngPath());
        if (stego::readMessage(imagefile::surfaceOf(loaded.image)).outcome != stego::ReadOutcome::Found)
            state.SkipWithError("the message was not found");
        state.counters["columns"] = loaded.image.width();
    }
}
BENCHMARK(BM_RevealPng)->Name("BM_RevealPng/24MP")->Unit(benchmark::kMillisecond);

}  // namespace
