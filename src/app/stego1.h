#pragma once

#include "platform/platform.h"

#include <QMainWindow>

namespace app {

// The main window.  Placeholder until the window lands.
class Stego1 : public QMainWindow {
    Q_OBJECT
public:
    explicit Stego1(platform::Platform& platform, QWidget* parent = nullptr);

private:
    platform::Platform& m_platform;
};

}  // namespace app
