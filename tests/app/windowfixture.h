#pragma once

#include "app/stego1.h"
#include "picture/imagecanvas.h"
#include "imagefile/pictures.h"
#include "support/boxcheck.h"
#include "support/fakeplatform.h"
#include "text/textbox.h"

#include <QFile>
#include <QLabel>
#include <QPlainTextEdit>

#include <memory>

namespace apptest {

using platform::Answer;
using platform::Buttons;
using platform::Icon;
using imagefiletest::encoded;
using imagefiletest::patternImage;
using imagefiletest::written;
using testsupport::isFailureBox;
using testsupport::sameBoxes;

inline const QString kBusyTitle = QStringLiteral("Mirrorvane - Processing...");
inline const QString kNormalTitle = QStringLiteral("Mirrorvane - Steganography - Hide a Secret Text Message in an Image");
inline const QString kAlert = QStringLiteral("Mirrorvane Alert");

// The fake desktop, also noting what the window showed each time it pushed
// itself to the screen: the title, and the picture as it was then.
class RecordingPlatform : public testsupport::FakePlatform {
public:
    QStringList flushedTitles;
    QList<QImage> flushedPictures;

    void flushWindowSystem(QWidget* window) override
    {
        testsupport::FakePlatform::flushWindowSystem(window);
        const auto* stego1 = qobject_cast<const app::Stego1*>(window);
        flushedTitles.append(stego1 ? stego1->windowTitle() : QString());
        flushedPictures.append(stego1 ? stego1->canvas()->image().copy() : QImage());
    }
};

// A started window on the fake desktop, not shown unless a test shows it.
class WindowTest : public ::testing::Test {
protected:
    RecordingPlatform platform;
    std::unique_ptr<app::Stego1> window;

    void SetUp() override { start(); }

    void start()
    {
        window = std::make_unique<app::Stego1>(platform);
        ASSERT_TRUE(window->Form_Load());
    }

    template <typename T = QWidget>
    T* child(const QString& name) const
    {
        T* found = window->findChild<T*>(name);
        EXPECT_NE(found, nullptr) << "no " << name.toStdString();
        return found;
    }

    QString status() const { return window->label4()->text(); }
    QString text() const { return text::textBoxText(window->text1()); }
    void setText(const QString& crlfText) { text::setTextBoxText(window->text1(), crlfText); }
    QImage picture() const { return window->canvas()->image().copy(); }
    void usePicture(int width, int height) { window->canvas()->setImage(patternImage(width, height)); }

    // Forgets what the fake recorded so far, so checks see only what follows.
    void forget()
    {
        platform.boxes.clear();
        platform.dialogs.clear();
        platform.flushedTitles.clear();
        platform.flushedPictures.clear();
        platform.processEventsCalls = 0;
    }

    // Runs `command` with `file` as the file dialog's answer.
    void withFile(void (app::Stego1::*command)(), const QString& file)
    {
        platform.dialogAnswers = {file};
        (window.get()->*command)();
    }

    // `image` with `message` hidden in it, written to `path` as a BMP; returns the path.
    static QString messagePicture(const QString& path, const QImage& image, const std::string& message)
    {
        return written(path, encoded(imagefiletest::carrying(image, message), "BMP"));
    }

    void hide(const QString& message)
    {
        setText(message);
        window->Command1_Click();
    }

    // Hides `message` in the working picture, leaving it unsaved: the most a
    // failing command could lose.  What the fake recorded is forgotten.
    void hideUnsaved(const QString& message = QStringLiteral("unsaved message"))
    {
        hide(message);
        ASSERT_EQ(window->imageChanged(), 1) << qPrintable(status());
        forget();
    }
};

}  // namespace apptest
