#pragma once

// The window's own title bar, for desktops where Qt would draw the
// decoration itself (a Wayland compositor without server-side decorations).
// Qt's decoration there always offers minimise and maximise, which the
// fixed window has nowhere else; this bar has what the window manager's
// frame shows on X11: the icon, the title and the close box.

#include <QWidget>

class QMainWindow;
class QToolButton;

namespace app {

class TitleBar : public QWidget {
    Q_OBJECT
public:
    // A bar along the top of `window`, which must leave room for it.
    explicit TitleBar(QWidget* window);

    static constexpr int kHeight = 30;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    QToolButton* m_close;
};

// For a `window` just shown: when Qt draws its decoration, the window goes
// frameless and gets a TitleBar instead; elsewhere nothing changes.  Called
// before the event loop runs, so the compositor never shows the first frame.
void replaceQtDecoration(QMainWindow* window);

}  // namespace app
