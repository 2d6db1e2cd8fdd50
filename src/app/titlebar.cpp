#include "titlebar.h"

#include <QGuiApplication>
#include <QMainWindow>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QToolButton>
#include <QWindow>

namespace app {

namespace {

constexpr int kMargin = 6;
constexpr int kIconSize = 16;

}  // namespace

TitleBar::TitleBar(QWidget* window) : QWidget(window), m_close(new QToolButton(this))
{
    setObjectName(QStringLiteral("titleBar"));
    setGeometry(0, 0, window->width(), kHeight);
    m_close->setObjectName(QStringLiteral("closeBox"));
    m_close->setAutoRaise(true);
    m_close->setFocusPolicy(Qt::NoFocus);
    m_close->setIcon(style()->standardIcon(QStyle::SP_TitleBarCloseButton, nullptr, this));
    m_close->setAccessibleName(QStringLiteral("Close"));
    m_close->setToolTip(QStringLiteral("Close"));
    // The close box of the frame: the window's close event decides.
    connect(m_close, &QToolButton::clicked, window, &QWidget::close);
    connect(window, &QWidget::windowTitleChanged, this, qOverload<>(&QWidget::update));
    connect(window, &QWidget::windowIconChanged, this, qOverload<>(&QWidget::update));
}

void TitleBar::resizeEvent(QResizeEvent*)
{
    const int side = kHeight - 2 * 4;
    m_close->setGeometry(width() - kMargin - side, 4, side, side);
}

void TitleBar::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), palette().color(QPalette::Window));
    painter.setPen(palette().color(QPalette::Dark));
    painter.drawLine(0, height() - 1, width() - 1, height() - 1);

    const QWidget* window = parentWidget();
    const QRect icon(kMargin, (height() - kIconSize) / 2, kIconSize, kIconSize);
    window->windowIcon().paint(&painter, icon);
    // Centred over the whole bar, as the frames of most desktops centre it,
    // and cut short before it would reach the icon or the close box.
    const int room = width() - 2 * (m_close->width() + 2 * kMargin);
    painter.setPen(palette().color(isActiveWindow() ? QPalette::Active : QPalette::Inactive, QPalette::WindowText));
    const QString title = fontMetrics().elidedText(window->windowTitle(), Qt::ElideRight, room);
    painter.drawText(rect(), Qt::AlignCenter, title);
}

void TitleBar::mousePressEvent(QMouseEvent* event)
{
    // The compositor moves the window; a client cannot place itself there.
    if (event->button() == Qt::LeftButton && window()->windowHandle())
        window()->windowHandle()->startSystemMove();
}

void replaceQtDecoration(QMainWindow* window)
{
    QWindow* handle = window->windowHandle();
    if (!QGuiApplication::platformName().startsWith(QLatin1String("wayland")) || !handle
        || handle->frameMargins().top() <= 0)
        return;
    auto* bar = new TitleBar(window);
    window->setContentsMargins(0, TitleBar::kHeight, 0, 0);
    // On the platform window itself: the widget's setWindowFlag does not
    // reach a window already created.
    handle->setFlags(handle->flags() | Qt::FramelessWindowHint);
    bar->setGeometry(0, 0, window->width(), TitleBar::kHeight);
    bar->show();
}

}  // namespace app
