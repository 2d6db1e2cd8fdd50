// The Paste command on a long text against the fastest way Qt has to put the
// same text into an empty box.
#include "support/fakeplatform.h"
#include "text/textbox.h"
#include "text/textcommands.h"

#include <QCoreApplication>
#include <QFont>
#include <QLabel>
#include <QPlainTextEdit>
#include <QVBoxLayout>
#include <QWidget>

#include <benchmark/benchmark.h>

#include <string>

namespace {

// Lines of 78 letters and CR LF, as a pasted document would have them.
QString pastedDocument(qsizetype length)
{
    QString text(length, Qt::Uninitialized);
    for (qsizetype i = 0; i < length; ++i) {
        const qsizetype column = i % 80;
        text[i] = column == 78 ? u'\r' : column == 79 ? u'\n' : QChar(u'a' + static_cast<char16_t>(i % 26));
    }
    return text;
}

void BM_SetPlainText(benchmark::State& state)
{
    const QString text = pastedDocument(state.range(0));
    QPlainTextEdit box;
    for (auto _ : state) {
        state.PauseTiming();
        box.clear();
        state.ResumeTiming();
        box.setPlainText(text);
        benchmark::DoNotOptimize(box.document()->characterCount());
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}
BENCHMARK(BM_SetPlainText)->Arg(1200000)->Unit(benchmark::kMillisecond);

void BM_PasteText(benchmark::State& state)
{
    testsupport::FakePlatform fake;
    fake.clipboard = pastedDocument(state.range(0));
    QWidget window;
    auto* layout = new QVBoxLayout(&window);
    auto* text1 = new QPlainTextEdit(&window);
    auto* label4 = new QLabel(&window);
    layout->addWidget(text1);
    layout->addWidget(label4);
    platform::FileDialog commonDialog1;
    text::TextCommandContext context{fake, &window, text1, label4, commonDialog1};
    for (auto _ : state) {
        state.PauseTiming();
        text1->clear();
        fake.boxes.clear();
        state.ResumeTiming();
        text::pasteText(context);  // the size warning takes the fake's default answer
        benchmark::DoNotOptimize(text1->document()->characterCount());
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}
BENCHMARK(BM_PasteText)->Arg(1200000)->Unit(benchmark::kMillisecond);

}  // namespace

// A hidden text put into the box, as Open Image and Get Text do: the cost of
// a character (one line of letters) and of a line (CR LF pairs only), which
// the limits on the hidden text shown in the box are set from.  A line of
// no-break spaces or of soft hyphens must cost about what letters do (ratio
// to BM_ShowHiddenText_Characters at most 2), and so must a repaint of the
// box holding them (BM_Repaint_SoftHyphens to BM_Repaint_Letters at most 5), which
// each blink of the cursor does.
std::string hiddenText(qsizetype characters, qsizetype lines, char fill = 0)
{
    std::string text;
    text.reserve(static_cast<std::size_t>(characters + 2 * lines));
    for (qsizetype i = 0; i < characters; ++i)
        text += fill != 0 ? fill : static_cast<char>('a' + i % 26);
    for (qsizetype i = 0; i < lines; ++i)
        text += "\r\n";
    return text;
}

// The box as the window sets it up.
void setUpBox(text::TextBox& box)
{
    box.resize(345, 281);
    box.setFont(QFont(QStringLiteral("Arial"), 10));
    text::adaptWrappingToLongRuns(&box);
}

void showHiddenText(benchmark::State& state, qsizetype characters, qsizetype lines, char fill = 0)
{
    const std::string text = hiddenText(characters, lines, fill);
    text::TextBox box;
    setUpBox(box);
    for (auto _ : state) {
        state.PauseTiming();
        box.clear();
        state.ResumeTiming();
        text::setTextBoxWindows1252(&box, text);
        benchmark::DoNotOptimize(box.document()->characterCount());
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * (characters + lines));
}

void BM_ShowHiddenText_Characters(benchmark::State& state) { showHiddenText(state, state.range(0), 0); }
BENCHMARK(BM_ShowHiddenText_Characters)->Arg(1000000)->Unit(benchmark::kMillisecond);

void BM_ShowHiddenText_NoBreakSpaces(benchmark::State& state) { showHiddenText(state, state.range(0), 0, '\xA0'); }
BENCHMARK(BM_ShowHiddenText_NoBreakSpaces)->Arg(1000000)->Unit(benchmark::kMillisecond);

void BM_ShowHiddenText_SoftHyphens(benchmark::State& state) { showHiddenText(state, state.range(0), 0, '\xAD'); }
BENCHMARK(BM_ShowHiddenText_SoftHyphens)->Arg(1000000)->Unit(benchmark::kMillisecond);

void BM_ShowHiddenText_Lines(benchmark::State& state) { showHiddenText(state, 0, state.range(0)); }
BENCHMARK(BM_ShowHiddenText_Lines)->Arg(100000)->Unit(benchmark::kMillisecond);

void repaintFocused(benchmark::State& state, char fill)
{
    text::TextBox box;
    setUpBox(box);
    box.show();
    box.setFocus();
    QCoreApplication::processEvents();  // the window is exposed: until then nothing paints
    text::setTextBoxWindows1252(&box, hiddenText(state.range(0), 0, fill));
    box.viewport()->repaint();
    for (auto _ : state)
        box.viewport()->repaint();
}

void BM_Repaint_Letters(benchmark::State& state) { repaintFocused(state, 0); }
BENCHMARK(BM_Repaint_Letters)->Arg(1000000)->Unit(benchmark::kMillisecond);

void BM_Repaint_SoftHyphens(benchmark::State& state) { repaintFocused(state, '\xAD'); }
BENCHMARK(BM_Repaint_SoftHyphens)->Arg(1000000)->Unit(benchmark::kMillisecond);
