// The keyboard, screen readers, desktop scales and command-line files.

#include "windowfixture.h"

#include <QAccessible>
#include <QApplication>
#include <QFontInfo>
#include <QFontMetricsF>
#include <QKeyEvent>
#include <QPushButton>
#include <QTemporaryDir>

namespace {

using namespace apptest;

TEST_F(WindowTest, ReturnAndKeypadEnterPressTheFocusedButton)
{
    window->show();
    auto* clear = child<QPushButton>("Command10");
    for (const auto& [key, modifiers] : {std::pair{Qt::Key_Return, Qt::NoModifier}, {Qt::Key_Enter, Qt::KeypadModifier}}) {
        setText(QStringLiteral("to be cleared"));
        clear->setFocus();
        QKeyEvent press(QEvent::KeyPress, key, modifiers);
        QApplication::sendEvent(clear, &press);
        EXPECT_TRUE(text().isEmpty()) << key;
    }
}

// Real font metrics: Arial is Liberation Sans on a Debian desktop, with
// DejaVu standing in where a glyph is missing.
TEST_F(WindowTest, EveryStatusSentenceShowsWholeAt96To144Dpi)
{
    QLabel* label = window->label4();
    const QString family = QFontInfo(label->font()).family();
    ASSERT_TRUE(family.startsWith(QLatin1String("Liberation")) || family.startsWith(QLatin1String("DejaVu")))
        << "the desktop's fonts are missing: " << qPrintable(family);
    for (const int dpi : {96, 120, 144}) {
        QImage device(1, 1, QImage::Format_RGB32);
        device.setDotsPerMeterX(qRound(dpi / 0.0254));
        device.setDotsPerMeterY(qRound(dpi / 0.0254));
        const QFontMetricsF metrics(label->font(), &device);
        for (const char* sentence : {"THIS IMAGE DOES NOT HAVE A MIRROR VANE SECRET TEXT MESSAGE",
                                     "The text has characters that cannot be hidden in the image.",
                                     "There is no hidden text in this image to display.",
                                     "Too much text to hide in the image!"}) {
            // Widget geometry scales with the desktop, so compare in 96-dpi pixels.
            const qreal needed = metrics.horizontalAdvance(QString::fromLatin1(sentence)) * 96 / dpi;
            EXPECT_LE(needed, label->contentsRect().width()) << dpi << " dpi: " << sentence;
        }
    }
    // Room taken only up to the Upgrade panel, and nothing covers the text.
    QWidget* client = window->centralWidget();
    EXPECT_LE(label->geometry().right(), child("Picture8")->geometry().left());
    const int y = label->geometry().center().y();
    for (int x = label->geometry().left(); x <= label->geometry().right(); x += 8)
        EXPECT_EQ(client->childAt(x, y), label) << "covered at " << x;
}

// What a screen reader reads through Qt's accessibility tree.
TEST_F(WindowTest, ControlsAreNamedAndStatusSentencesAreAnnounced)
{
    for (const char* name : {"Text1", "Picture1", "Picture4", "HScroll1", "VScroll1", "Command1", "Command8"}) {
        QAccessibleInterface* node = QAccessible::queryAccessibleInterface(child(QString::fromLatin1(name)));
        ASSERT_NE(node, nullptr) << name;
        EXPECT_FALSE(node->text(QAccessible::Name).isEmpty()) << name;
    }
    EXPECT_FALSE(QAccessible::queryAccessibleInterface(child("Picture4"))->text(QAccessible::Description).isEmpty());

    QAccessibleInterface* status = QAccessible::queryAccessibleInterface(window->label4());
    ASSERT_NE(status, nullptr);
    EXPECT_EQ(status->role(), QAccessible::StatusBar);

    // QLabel announces new text only while it has no fixed accessible name.
    EXPECT_TRUE(window->label4()->accessibleName().isEmpty());
    window->Command1_Click();  // refused: no text
    EXPECT_EQ(status->text(QAccessible::Name), QStringLiteral("There is no text to hide in the image."));
}

// `mirrorvane FILE`: opened once the event loop runs, relative to the working
// folder, down the road a dropped file takes (the drag tests walk it); a name
// that cannot be opened gets the usual box.
using CommandLineFile = WindowTest;

TEST_F(CommandLineFile, OpensAfterTheWindowShowsAsADroppedFileWould)
{
    QTemporaryDir dir;
    const QString startFolder = QDir::currentPath();
    const QString path = written(dir.filePath(QStringLiteral("holiday.bmp")), encoded(patternImage(30, 20, 5), "BMP"));
    QDir::setCurrent(dir.path());
    window->show();
    window->openCommandLineFile("holiday.bmp");
    EXPECT_NE(window->loadedImagePath(), path) << "nothing before the event loop runs";
    QCoreApplication::processEvents();
    QDir::setCurrent(startFolder);
    EXPECT_EQ(window->loadedImagePath(), path);

    // Bytes that are not UTF-8 would name some other file once decoded.
    const QByteArray notUtf8 = QFile::encodeName(dir.path()) + "/caf\xe9.bmp";
    window->openCommandLineFile(notUtf8);
    QCoreApplication::processEvents();
    ASSERT_EQ(platform.boxes.size(), 1);
    EXPECT_TRUE(isFailureBox(platform.boxes[0], "The file could not be opened:", QFile::decodeName(notUtf8)));
}

// At 200 % the start-up picture uses its 2x artwork, a hidden text's low bits
// included, until its pixels change more than that.
TEST_F(WindowTest, StartUpPictureIsSharpAtTwiceTheScaleUntilItsPixelsChange)
{
    const auto renderAt2x = [this] {
        QImage shot(512, 512, QImage::Format_RGB32);
        shot.setDevicePixelRatio(2);
        window->canvas()->render(&shot);
        shot.setDevicePixelRatio(1);
        return shot;
    };
    const QImage face = QImage(QStringLiteral(":/mirrorvane/startup@2x.png")).convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(face.size(), QSize(512, 512));
    EXPECT_TRUE(imagefiletest::sameRgb(renderAt2x(), face));

    hideUnsaved();
    const QImage hidden = renderAt2x();
    const QImage pixels = picture();
    int differing = 0;
    for (int y = 0; y < 512; ++y)
        for (int x = 0; x < 512; ++x)
            differing += ((hidden.pixel(x, y) ^ face.pixel(x, y)) & 0xFEFEFE ? 1 : 0)
                         + ((hidden.pixel(x, y) ^ pixels.pixel(x / 2, y / 2)) & 0x010101 ? 1 : 0);
    EXPECT_EQ(differing, 0) << "the artwork, with the low bits of the pixels under it";

    window->canvas()->surface().pixels[0] ^= 0x800000;
    window->canvas()->pixelsChanged();
    EXPECT_TRUE(imagefiletest::sameRgb(renderAt2x(), picture().scaled(512, 512)));
}

// The box used to draw its frame black on the black window.
TEST_F(WindowTest, TheMessageBoxShowsItsBorderOnTheBlackBackground)
{
    const QImage shot = window->text1()->grab().toImage();
    for (const QPoint& onBorder : {QPoint(0, 100), QPoint(100, 0), QPoint(100, shot.height() - 1)})
        EXPECT_NE(shot.pixel(onBorder), qRgb(0, 0, 0)) << onBorder.x() << ',' << onBorder.y();
}

}  // namespace
