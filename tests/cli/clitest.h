#pragma once

// The fixture of the CLI tests: a scratch folder, pictures made on the spot
// and the real binary run on byte arguments.

#include "clirunner.h"

#include "picture/imageio.h"

#include <QFile>
#include <QImage>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace clitest {

class Cli : public ::testing::Test {
protected:
    std::string path(const std::string& name) const { return m_dir.path().toStdString() + "/" + name; }

    static Outcome run(std::vector<std::string> args, const QByteArray& input = {}, Stream out = Stream::Pipe)
    {
        return launch({.args = std::move(args), .input = input, .out = out});
    }

    // Low bits vary from pixel to pixel, so a lost or shifted bit shows.
    static QImage pattern(int width, int height)
    {
        QImage image(width, height, QImage::Format_RGB32);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                image.setPixel(x, y, qRgb((x * 37 + y) & 0xFF, (y * 11 + x * 3) & 0xFF, (x * y) & 0xFF));
        return image;
    }

    std::string save(const QImage& image, const std::string& name) const
    {
        EXPECT_TRUE(image.save(QString::fromStdString(path(name)))) << name;
        return path(name);
    }

    static QByteArray read(const std::string& file)
    {
        QFile f(QString::fromStdString(file));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    std::string write(const std::string& name, const QByteArray& bytes) const
    {
        QFile f(QString::fromStdString(path(name)));
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
        return path(name);
    }

    QTemporaryDir m_dir;
};

}  // namespace clitest
