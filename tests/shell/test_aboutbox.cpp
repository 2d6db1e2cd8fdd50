// The About box: its captions and layout as shown, how it closes, and the
// System Info button on desktops with and without an information tool.

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

TEST(AboutBox, CaptionsLayoutIconAndSeparatorAtLoad)
{
    testsupport::FakePlatform fake;
    QWidget owner;
    QPixmap red(32, 32);
    red.fill(Qt::red);
    owner.setWindowIcon(QIcon(red));
    shell::frmAbout box(fake, &owner);
    EXPECT_EQ(box.windowTitle(), QStringLiteral("About Mirror Vane"));
    EXPECT_EQ(box.size(), QSize(382, 237));
    EXPECT_EQ(box.minimumSize(), box.maximumSize()) << "the box is not resizable";

    // Geometry in twips divided by 15; the null captions are checked below.
    const struct {
        const char* name;
        const char* caption;
        QRect geometry;
        bool bold;
        bool italic;
    } rows[] = {
        {"lblTitle", "Mirror Vane", {70, 16, 259, 32}, true, false},
        {"lblVersion", "Version 1.2.1", {70, 52, 259, 15}, true, false},
        {"lblDescription", nullptr, {70, 75, 259, 78}, true, false},
        {"lblDisclaimer", nullptr, {9, 175, 266, 55}, false, true},
        {"cmdOK", "OK", {283, 175, 84, 23}, false, false},
        {"cmdSysInfo", "&System Info...", {284, 205, 83, 23}, false, false},
        {"picIcon", nullptr, {16, 16, 32, 32}, false, false},
        {"Line1", nullptr, {6, 163, 371, 2}, false, false},  // grey from 90 twips, white from 105, to 5654
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const QWidget* widget = control(box, row.name);
        ASSERT_NE(widget, nullptr);
        if (row.caption) {
            EXPECT_EQ(widget->property("text").toString(), QString::fromLatin1(row.caption));
        }
        EXPECT_EQ(widget->geometry(), row.geometry);
        EXPECT_EQ(widget->font().family(), QStringLiteral("Arial"));
        EXPECT_DOUBLE_EQ(widget->font().pointSizeF(), 8.25);
        EXPECT_EQ(widget->font().bold(), row.bold);
        EXPECT_EQ(widget->font().italic(), row.italic);
    }
    EXPECT_TRUE(control<QPushButton>(box, "cmdOK")->isDefault());
    EXPECT_FALSE(control<QPushButton>(box, "cmdSysInfo")->isDefault());

    // Each description line and the wrapped disclaimer fit without clipping.
    const QLabel* description = control<QLabel>(box, "lblDescription");
    const QStringList lines = description->text().split(QLatin1Char('\n'));
    ASSERT_EQ(lines.size(), 4);
    EXPECT_TRUE(lines[1].contains(QStringLiteral("Dunmarrow"))) << lines[1].toStdString();
    EXPECT_TRUE(lines[1].contains(QStringLiteral("2007 - 2009"))) << lines[1].toStdString();
    EXPECT_EQ(lines[2], QStringLiteral("www.dunmarrow.example"));
    EXPECT_EQ(lines[3], QStringLiteral("www.lockharbour.example"));
    const QFontMetrics bold(description->font());
    for (const QString& line : lines)
        EXPECT_LE(bold.horizontalAdvance(line), description->width()) << line.toStdString();
    EXPECT_LE(4 * bold.lineSpacing(), description->height());
    const QLabel* disclaimer = control<QLabel>(box, "lblDisclaimer");
    EXPECT_TRUE(disclaimer->text().startsWith(QStringLiteral("Warning: "))) << disclaimer->text().toStdString();
    EXPECT_TRUE(disclaimer->text().contains(QStringLiteral("not encryption")));
    EXPECT_LE(disclaimer->heightForWidth(disclaimer->width()), disclaimer->height());

    // The program's icon is the main window's.
    const QImage icon = control<QLabel>(box, "picIcon")->pixmap().toImage();
    EXPECT_EQ(icon.pixelColor(icon.width() / 2, icon.height() / 2), QColor(Qt::red));

    // The separator: a grey line over a white one.
    const QImage etched = control(box, "Line1")->grab().toImage();
    const int last = etched.width() - 1;
    EXPECT_EQ(etched.pixelColor(0, 0), QColor(128, 128, 128));
    EXPECT_EQ(etched.pixelColor(last, 0), QColor(128, 128, 128));
    EXPECT_NE(etched.pixelColor(0, 1), QColor(Qt::white)) << "the white line starts a pixel further right";
    EXPECT_EQ(etched.pixelColor(1, 1), QColor(Qt::white));
    EXPECT_EQ(etched.pixelColor(last, 1), QColor(Qt::white));
}

// Enter and Escape are the dialog's own business once OK is the default
// button; what is ours is that showAbout waits on a modal box until OK closes it.
TEST(AboutBox, ShownModallyOverTheOwnerUntilOkClosesIt)
{
    testsupport::FakePlatform fake;
    QWidget owner;
    bool seen = false;
    bool forced = false;
    QObject context;  // cancels the timers should showAbout return without waiting
    QTimer::singleShot(0, &context, [&] {
        auto* box = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr) << "showAbout returned before showing a modal box";
        seen = true;
        EXPECT_EQ(box->objectName(), QStringLiteral("frmAbout"));
        EXPECT_EQ(box->parentWidget(), &owner);
        control<QPushButton>(*box, "cmdOK")->click();
    });
    // A box that does not close is closed by force, and the test fails.
    QTimer::singleShot(10000, &context, [&] {
        if (QWidget* stuck = QApplication::activeModalWidget()) {
            forced = true;
            stuck->close();
        }
    });
    shell::showAbout(fake, &owner);
    EXPECT_TRUE(seen);
    EXPECT_FALSE(forced) << "the box did not close";
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
        {"the last candidate alone", {"gnome-system-monitor"}, true, "gnome-system-monitor"},
        {"unrelated programs do not count", {"xterm", "msinfo32"}, true, {}},
        {"a tool that fails to start has no fallback", {"hardinfo", "gnome-system-monitor"}, false, "hardinfo"},
    };
    const platform::MessageBox unavailable{QStringLiteral("Mirror Vane"),
                                           QStringLiteral("System Information Is Unavailable At This Time"),
                                           platform::Icon::None, platform::Buttons::Ok, platform::Answer::Ok};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.why);
        testsupport::FakePlatform fake;
        QWidget owner;
        for (const QString& name : row.installed)
            fake.programsOnPath.insert(name, QStringLiteral("/usr/bin/") + name);
        fake.startSucceeds = row.startSucceeds;
        shell::frmAbout box(fake, &owner);
        box.show();
        control<QPushButton>(box, "cmdSysInfo")->click();

        QStringList started;
        for (const QStringList& command : fake.startedPrograms)
            started.append(command.join(u' '));
        EXPECT_EQ(started.join(QStringLiteral(", ")).toStdString(),
                  row.started.isEmpty() ? std::string() : "/usr/bin/" + row.started.toStdString());
        const bool toolRuns = !row.started.isEmpty() && row.startSucceeds;
        EXPECT_TRUE(testsupport::sameBoxes(fake.boxes, toolRuns ? QList<platform::MessageBox>{}
                                                                 : QList<platform::MessageBox>{unavailable}));
        EXPECT_TRUE(box.isVisible()) << "the About box stays open";
        EXPECT_EQ(box.result(), 0);
    }
}

}  // namespace
