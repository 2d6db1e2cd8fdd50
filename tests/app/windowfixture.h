#pragma once

#include "app/stego1.h"
#include "picture/imagecanvas.h"
#include "support/fakeplatform.h"
#include "text/textbox.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QString>

#include <gtest/gtest.h>

#include <memory>

namespace apptest {

inline const QString kStartTitle = QStringLiteral("Steganography - Hide a Secret Text Message in an Image");
inline const QString kBusyTitle = QStringLiteral("Mirrorvane - Processing...");
inline const QString kNormalTitle =
    QStringLiteral("Mirrorvane - Steganography - Hide a Secret Text Message in an Image");

// The fake desktop, also noting what the window showed each time it pushed
// itself to the screen: the title, and whether the picture was still as it
// was when the command began.
class RecordingPlatform : public testsupport::FakePlatform {
public:
    struct Flush {
        QString title;
        QImage picture;
    };
    QList<Flush> flushes;

    void flushWindowSystem(QWidget* window) override
    {
        testsupport::FakePlatform::flushWindowSystem(window);
        const auto* stego1 = qobject_cast<const app::Stego1*>(window);
        flushes.append({window ? window->windowTitle() : QString(),
                        stego1 ? stego1->canvas()->image().copy() : QImage()});
    }
    QStringList flushedTitles() const
    {
        QStringList titles;
        for (const Flush& flush : flushes)
            titles.append(flush.title);
        return titles;
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

    template <typename T>
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

    // Replaces the working picture with one of the given size and varied pixels.
    void usePicture(int width, int height)
    {
        QImage image(width, height, QImage::Format_RGB32);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                image.setPixel(x, y, qRgb((x * 37 + y) & 255, (y * 91 + x * 3) & 255, (x * y + 17) & 255));
        window->canvas()->setImage(image);
    }
};

}  // namespace apptest
