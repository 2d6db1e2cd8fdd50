// Draws the program's artwork: the window icon at every size, the maker's
// logo and the built-in start-up picture.  The PNG files it writes are
// committed next to it; run it again only to change the artwork:
//   cmake --build <dir> --target mirrorvane-artwork
//   <dir>/bin/mirrorvane-artwork src/app/resources

#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <numbers>

namespace {

const QColor kAmber(254, 185, 17);

// A small deterministic generator, so the artwork is the same on every run.
class Random {
public:
    explicit Random(std::uint32_t seed) : m_state(seed) {}
    std::uint32_t next()
    {
        m_state ^= m_state << 13;
        m_state ^= m_state >> 17;
        m_state ^= m_state << 5;
        return m_state;
    }
    double uniform() { return static_cast<double>(next() % 1000000u) / 1000000.0; }

private:
    std::uint32_t m_state;
};

// Smooth value noise in 0..1 from a lattice of random values.
class Noise {
public:
    explicit Noise(std::uint32_t seed)
    {
        Random random(seed);
        for (double& v : m_lattice)
            v = random.uniform();
    }
    double at(double x, double y) const
    {
        const int x0 = static_cast<int>(std::floor(x));
        const int y0 = static_cast<int>(std::floor(y));
        const double fx = smooth(x - x0);
        const double fy = smooth(y - y0);
        const double a = lattice(x0, y0) + (lattice(x0 + 1, y0) - lattice(x0, y0)) * fx;
        const double b = lattice(x0, y0 + 1) + (lattice(x0 + 1, y0 + 1) - lattice(x0, y0 + 1)) * fx;
        return a + (b - a) * fy;
    }
    double fractal(double x, double y, int octaves) const
    {
        double sum = 0, amplitude = 0.5, total = 0;
        for (int i = 0; i < octaves; ++i) {
            sum += amplitude * at(x, y);
            total += amplitude;
            x *= 2.03;
            y *= 2.03;
            amplitude *= 0.5;
        }
        return sum / total;
    }

private:
    static double smooth(double t) { return t * t * (3 - 2 * t); }
    double lattice(int x, int y) const { return m_lattice[static_cast<unsigned>((x & 63) + 64 * (y & 63))]; }
    double m_lattice[64 * 64];
};

int clampByte(double v)
{
    return v < 0 ? 0 : v > 255 ? 255 : static_cast<int>(v + 0.5);
}

QColor mix(const QColor& a, const QColor& b, double t)
{
    t = t < 0 ? 0 : t > 1 ? 1 : t;
    return QColor(clampByte(a.red() + (b.red() - a.red()) * t), clampByte(a.green() + (b.green() - a.green()) * t),
                  clampByte(a.blue() + (b.blue() - a.blue()) * t));
}

// The vane: a diamond split along its axis into a bright and a mirrored dark
// half, on a round dark ground with an amber rim.
QImage drawIcon(int size)
{
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(size / 256.0, size / 256.0);

    QRadialGradient ground(QPointF(100, 90), 170);
    ground.setColorAt(0, QColor(40, 52, 70));
    ground.setColorAt(1, QColor(8, 10, 16));
    painter.setPen(QPen(kAmber, size < 32 ? 16 : 10));
    painter.setBrush(ground);
    painter.drawEllipse(QRectF(10, 10, 236, 236));

    // The vane: a bright half and its darker reflection about the centre line.
    const auto half = [&painter](qreal tipX, QPointF fillFrom, QPointF fillTo, QColor from, QColor to) {
        QPainterPath path;
        path.moveTo(128, 34);
        path.lineTo(tipX, 128);
        path.lineTo(128, 222);
        path.closeSubpath();
        QLinearGradient fill(fillFrom, fillTo);
        fill.setColorAt(0, from);
        fill.setColorAt(1, to);
        painter.setBrush(fill);
        painter.drawPath(path);
    };
    painter.setPen(Qt::NoPen);
    half(200, {128, 34}, {200, 200}, QColor(255, 226, 140), kAmber);
    half(56, {56, 60}, {128, 220}, QColor(120, 170, 200), QColor(30, 70, 110));

    if (size >= 32) {
        painter.setPen(QPen(QColor(255, 255, 255, 200), 4));
        painter.drawLine(QPointF(128, 40), QPointF(128, 216));
    }
    return image;
}

// The maker's logo: the emblem, the name in amber and a thin rule, on black;
// `scale` 2 draws it for displays scaled to 200 %.
QImage drawLogo(int scale)
{
    QImage image(210 * scale, 58 * scale, QImage::Format_RGB32);
    image.fill(Qt::black);
    QPainter painter(&image);
    painter.scale(scale, scale);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);

    // Emblem: three rising bars inside a ring, a stylised marrow of stacked stones.
    painter.setPen(QPen(kAmber, 2.5));
    painter.setBrush(Qt::NoBrush);
    painter.drawEllipse(QRectF(6, 6, 46, 46));
    painter.setPen(Qt::NoPen);
    const QColor shades[] = {QColor(150, 100, 10), QColor(210, 150, 15), kAmber};
    for (int i = 0; i < 3; ++i) {
        painter.setBrush(shades[i]);
        const double height = 12.0 + 8.0 * i;
        painter.drawRoundedRect(QRectF(15 + 10.0 * i, 42 - height, 8, height), 2, 2);
    }

    QFont name(QStringLiteral("Arial"));
    name.setPixelSize(25);
    name.setBold(true);
    name.setLetterSpacing(QFont::AbsoluteSpacing, 0.5);
    painter.setFont(name);
    painter.setPen(kAmber);
    painter.drawText(QRectF(60, 4, 148, 32), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("Dunmarrow"));

    painter.setPen(QPen(QColor(120, 120, 120), 1));
    painter.drawLine(QPointF(61, 38.5), QPointF(204, 38.5));

    QFont tag(QStringLiteral("Arial"));
    tag.setPixelSize(11);
    painter.setFont(tag);
    painter.setPen(QColor(200, 200, 200));
    painter.drawText(QRectF(61, 40, 146, 16), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("SOFTWARE"));
    return image;
}

// A photo-like landscape: evening sky, a sun, two mountain ranges, a lake
// mirroring them, a shore with trees and grass, and film grain, so that
// every channel's low bits vary as in a real photograph.  `scale` 2 samples
// the same scene at twice the resolution, for displays scaled to 200 %.
QImage drawStartUpPicture(int scale)
{
    constexpr int kSize = 256;
    QImage image(kSize * scale, kSize * scale, QImage::Format_RGB32);
    const Noise noise(20240611u);
    const Noise detail(977u);
    Random grain(4242u);

    constexpr double kHorizon = 150;  // the lake's far shore
    constexpr double kShore = 205;    // the near shore
    const double sunX = 178, sunY = 70;

    const auto far = [&](double x) { return 112 - 38 * noise.fractal(x / 60.0, 3.5, 5); };
    const auto near = [&](double x) { return 138 - 34 * noise.fractal(x / 45.0 + 7.0, 9.5, 5); };

    const auto above = [&](double x, double y) -> QColor {
        // Sky: deep blue at the top, warm towards the horizon, glowing round the sun.
        const double t = y / kHorizon;
        QColor sky = mix(QColor(28, 48, 112), QColor(250, 150, 90), std::pow(t, 1.6));
        const double sunDistance = std::hypot(x - sunX, y - sunY);
        sky = mix(sky, QColor(255, 236, 170), std::exp(-sunDistance / 30.0) * 0.9);
        if (sunDistance < 11)
            sky = QColor(255, 248, 215);
        const double cloud = noise.fractal(x / 40.0 + 20, y / 14.0, 4);
        if (y < 100 && cloud > 0.56)
            sky = mix(sky, QColor(250, 200, 190), (cloud - 0.56) * 3.5);
        if (y > far(x)) {
            const double shade = detail.fractal(x / 12.0, y / 12.0, 3);
            sky = mix(QColor(96, 92, 140), QColor(150, 120, 150), shade);
        }
        if (y > near(x)) {
            const double shade = detail.fractal(x / 8.0 + 30, y / 8.0, 4);
            sky = mix(QColor(30, 60, 48), QColor(70, 100, 60), shade);
            if (y < near(x) + 3)
                sky = mix(sky, QColor(220, 150, 90), 0.4);  // sunlit ridge
        }
        return sky;
    };

    for (int py = 0; py < image.height(); ++py) {
        for (int px = 0; px < image.width(); ++px) {
            // The scene's coordinates at the centre of this pixel.
            const double x = (px + 0.5) / scale - 0.5;
            const double y = (py + 0.5) / scale - 0.5;
            QColor c;
            if (y < kHorizon) {
                c = above(x, y);
            } else if (y < kShore) {
                // The lake mirrors what lies above the far shore, rippled and darkened.
                const double ripple = 2.5 * std::sin(y * 0.9 + 3 * noise.at(x / 10.0, y / 3.0));
                const double mirrorY = 2 * kHorizon - y;
                c = mix(above(x + ripple, mirrorY), QColor(20, 50, 80), 0.35 + (y - kHorizon) / 180.0);
                if (std::abs(x - sunX + ripple) < 10 - (y - kHorizon) / 8.0)
                    c = mix(c, QColor(255, 220, 150), 0.5);
            } else {
                // Shore: grass, earth and flowers.
                const double g = detail.fractal(x / 6.0, y / 6.0, 4);
                c = mix(QColor(62, 96, 30), QColor(140, 150, 60), g);
                if (noise.at(x / 9.0 + 50, y / 9.0) > 0.72)
                    c = mix(c, QColor(120, 80, 40), 0.6);
                if (grain.uniform() > 0.985)
                    c = (grain.next() & 1) ? QColor(230, 60, 80) : QColor(250, 240, 120);
            }
            // Film grain, a little different in every channel.
            const double lift = 1.0 - 0.25 * std::hypot(x - 128.0, y - 128.0) / 181.0;  // vignette
            const int r = clampByte(c.red() * lift + (grain.uniform() - 0.5) * 12);
            const int gr = clampByte(c.green() * lift + (grain.uniform() - 0.5) * 12);
            const int b = clampByte(c.blue() * lift + (grain.uniform() - 0.5) * 12);
            image.setPixel(px, py, qRgb(r, gr, b));
        }
    }

    // Pines along the near shore, in front of the lake.
    QPainter painter(&image);
    painter.scale(scale, scale);
    painter.setRenderHint(QPainter::Antialiasing);
    Random trees(31u);
    for (int i = 0; i < 14; ++i) {
        const double x = 6 + i * 18 + trees.uniform() * 10;
        if (x > 150 && x < 205)
            continue;  // keep the sun's reflection clear
        const double height = 26 + trees.uniform() * 30;
        const double base = kShore + 4 + trees.uniform() * 6;
        QPainterPath pine;
        pine.moveTo(x, base - height);
        pine.lineTo(x + height * 0.22, base);
        pine.lineTo(x - height * 0.22, base);
        pine.closeSubpath();
        painter.setPen(Qt::NoPen);
        painter.setBrush(mix(QColor(14, 40, 26), QColor(40, 70, 40), trees.uniform()));
        painter.drawPath(pine);
        painter.setBrush(QColor(60, 40, 24));
        painter.drawRect(QRectF(x - 1.5, base, 3, 6));
    }
    return image;
}

bool save(const QImage& image, const QDir& folder, const QString& name)
{
    const QString path = folder.filePath(name);
    if (image.save(path, "PNG"))
        return true;
    std::fprintf(stderr, "Could not write %s\n", qPrintable(QDir::toNativeSeparators(path)));
    return false;
}

}  // namespace

int main(int argc, char* argv[])
{
    QGuiApplication application(argc, argv);
    const QDir folder(argc > 1 ? QString::fromLocal8Bit(argv[1]) : QDir::currentPath());
    bool ok = true;
    for (const int size : {16, 24, 32, 48, 256})
        ok = save(drawIcon(size), folder, QStringLiteral("mirrorvane-%1.png").arg(size)) && ok;
    ok = save(drawLogo(1), folder, QStringLiteral("logo.png")) && ok;
    ok = save(drawLogo(2), folder, QStringLiteral("logo@2x.png")) && ok;
    ok = save(drawStartUpPicture(1), folder, QStringLiteral("startup.png")) && ok;
    ok = save(drawStartUpPicture(2), folder, QStringLiteral("startup@2x.png")) && ok;
    return ok ? 0 : 1;
}
