// The About box: captions that fit, shown modally until OK, and System Info.

#include "shell/aboutbox.h"
#include "support/boxcheck.h"
#include "support/fakeplatform.h"

#include <QApplication>
#include <QFontMetrics>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

namespace {

template <typename T = QWidget>
T* control(const QWidget& box, const char* name)
{
    T* widget = box.findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(widget, nullptr) << name;
    return widget;
}

// The captions composed at load must fit their labels in the box's font.
TEST(AboutBox, CaptionsFitAndTheIconIsTheOwners)
{
    testsupport::FakePlatform fake;
    QWidget owner;
    QPixmap red(32, 32);
    red.fill(Qt::red);
    owner.setWindowIcon(QIcon(red));
    shell::frmAbout box(fake, &owner);

    const QLabel* description = control<QLabel>(box, "lblDescription");
    const QStringList lines = description->text().split(QLatin1Char('\n'));
    const QFontMetrics bold(description->font());
    for (const QString& line : lines)
        EXPECT_LE(bold.horizontalAdvance(line), description->width()) << line.toStdString();
    EXPECT_LE(4 * bold.lineSpacing(), description->height());
    EXPECT_EQ(lines.size(), 4);
    const QLabel* disclaimer = control<QLabel>(box, "lblDisclaimer");
    EXPECT_LE(disclaimer->heightForWidth(disclaimer->width()), disclaimer->height());

    const QImage icon = control<QLabel>(box, "picIcon")->pixmap().toImage();
    EXPECT_EQ(icon.pixelColor(icon.width() / 2, icon.height() / 2), QColor(Qt::red));
}

TEST(AboutBox, ShownModallyOverTheOwnerUntilOkClosesIt)
{
    testsupport::FakePlatform fake;
    QWidget owner;
    bool seen = false;
    QObject context;  // cancels the timers should showAbout return without waiting
    QTimer::singleShot(0, &context, [&] {
        auto* box = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr) << "showAbout returned before showing a modal box";
        seen = true;
        EXPECT_EQ(box->objectName(), QStringLiteral("frmAbout"));
        EXPECT_EQ(box->parentWidget(), &owner);
        QPushButton* ok = control<QPushButton>(*box, "cmdOK");
        EXPECT_TRUE(ok->isDefault());
        ok->click();
    });
    shell::showAbout(fake, &owner);
    EXPECT_TRUE(seen);
    EXPECT_TRUE(fake.startedPrograms.isEmpty() && fake.boxes.isEmpty());
}

TEST(AboutBox, SystemInfoStartsTheFirstInstalledToolOrSaysThereIsNone)
{
    const struct {
        const char* why;
        QStringList installed;  // candidates present on PATH
        bool startSucceeds;
        QString started;  // empty: nothing may start
    } rows[] = {
        {"the KDE tool is preferred when all are installed",
         {"kinfocenter", "hardinfo2", "hardinfo", "gnome-system-monitor"}, true, "kinfocenter"},
        {"the newer hardinfo before the old", {"hardinfo", "hardinfo2"}, true, "hardinfo2"},
        {"unrelated programs do not count", {"xterm", "msinfo32"}, true, {}},
        {"a tool that fails to start has no fallback", {"hardinfo", "gnome-system-monitor"}, false, "hardinfo"},
    };
    const platform::MessageBox unavailable{QStringLiteral("Mirror Vane"),
                                           QStringLiteral("System Information Is Unavailable At This Time"),
                                           platform::Icon::None, platform::Buttons::Ok, platform::Answer::Ok};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.why);
        testsupport::FakePlatform fake;
        for (const QString& name : row.installed)
            fake.programsOnPath.insert(name, QStringLiteral("/usr/bin/") + name);
        fake.startSucceeds = row.startSucceeds;
        shell::frmAbout box(fake, nullptr);
        box.show();
        control<QPushButton>(box, "cmdSysInfo")->click();

        EXPECT_EQ(fake.startedPrograms, row.started.isEmpty() ? QList<QStringList>{}
                                                              : QList<QStringList>{{"/usr/bin/" + row.started}});
        const bool toolRuns = !row.started.isEmpty() && row.startSucceeds;
        EXPECT_TRUE(testsupport::sameBoxes(fake.boxes, toolRuns ? QList<platform::MessageBox>{}
                                                                 : QList<platform::MessageBox>{unavailable}));
        EXPECT_TRUE(box.isVisible()) << "the About box stays open";
        EXPECT_EQ(box.result(), 0);
    }
}

}  // namespace
