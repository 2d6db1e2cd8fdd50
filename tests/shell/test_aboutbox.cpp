// The About box: its captions and layout as shown, how it closes, and the
// System Info button on desktops with and without an information tool.

#include "shell/aboutbox.h"
#include "support/fakeplatform.h"

#include <QApplication>
#include <QFontMetrics>
#include <QIcon>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>

namespace {

template <typename T>
T* control(const QWidget& box, const char* name)
{
    T* widget = box.findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(widget, nullptr) << name;
    return widget;
}

QString labelText(const QWidget& box, const char* name)
{
    const QLabel* label = control<QLabel>(box, name);
    return label ? label->text() : QString();
}

QIcon solidIcon(QColor colour)
{
    QPixmap pixmap(32, 32);
    pixmap.fill(colour);
    return QIcon(pixmap);
}

QColor iconCentre(const QWidget& box)
{
    const QLabel* picIcon = control<QLabel>(box, "picIcon");
    if (!picIcon)
        return {};
    const QImage image = picIcon->pixmap().toImage();
    return image.pixelColor(image.width() / 2, image.height() / 2);
}

class AboutBox : public ::testing::Test {
protected:
    testsupport::FakePlatform fake;
    QWidget owner;
};

TEST_F(AboutBox, CaptionsAtLoad)
{
    shell::frmAbout box(fake, &owner);

    EXPECT_EQ(box.windowTitle(), QStringLiteral("About Mirror Vane"));
    EXPECT_EQ(labelText(box, "lblTitle"), QStringLiteral("Mirror Vane"));
    EXPECT_EQ(labelText(box, "lblVersion"), QStringLiteral("Version 1.2.1"));

    const QStringList description = labelText(box, "lblDescription").split(QLatin1Char('\n'));
    ASSERT_EQ(description.size(), 4);
    EXPECT_TRUE(description.at(1).contains(QStringLiteral("Dunmarrow"))) << description.at(1).toStdString();
    EXPECT_TRUE(description.at(1).contains(QStringLiteral("2007 - 2009"))) << description.at(1).toStdString();
    EXPECT_EQ(description.at(2), QStringLiteral("www.dunmarrow.example"));
    EXPECT_EQ(description.at(3), QStringLiteral("www.lockharbour.example"));

    const QString disclaimer = labelText(box, "lblDisclaimer");
    EXPECT_TRUE(disclaimer.startsWith(QStringLiteral("Warning: "))) << disclaimer.toStdString();
    EXPECT_TRUE(disclaimer.contains(QStringLiteral("not encryption"))) << disclaimer.toStdString();

    EXPECT_EQ(control<QPushButton>(box, "cmdOK")->text(), QStringLiteral("OK"));
    EXPECT_EQ(control<QPushButton>(box, "cmdSysInfo")->text(), QStringLiteral("&System Info..."));
}

struct Placement {
    const char* name;
    QRect geometry;
    bool bold;
    bool italic;
};

TEST_F(AboutBox, ControlsSitWhereTheLayoutPutsThemInArial825)
{
    shell::frmAbout box(fake, &owner);
    EXPECT_EQ(box.size(), QSize(382, 237));
    EXPECT_EQ(box.minimumSize(), box.maximumSize()) << "the box is not resizable";

    // Twips divided by 15.
    const Placement placements[] = {
        {"lblTitle", {70, 16, 259, 32}, true, false},
        {"lblVersion", {70, 52, 259, 15}, true, false},
        {"lblDescription", {70, 75, 259, 78}, true, false},
        {"lblDisclaimer", {9, 175, 266, 55}, false, true},
        {"cmdOK", {283, 175, 84, 23}, false, false},
        {"cmdSysInfo", {284, 205, 83, 23}, false, false},
    };
    for (const Placement& p : placements) {
        const QWidget* widget = control<QWidget>(box, p.name);
        ASSERT_NE(widget, nullptr);
        EXPECT_EQ(widget->geometry(), p.geometry) << p.name;
        EXPECT_EQ(widget->font().family(), QStringLiteral("Arial")) << p.name;
        EXPECT_DOUBLE_EQ(widget->font().pointSizeF(), 8.25) << p.name;
        EXPECT_EQ(widget->font().bold(), p.bold) << p.name;
        EXPECT_EQ(widget->font().italic(), p.italic) << p.name;
    }

    // The icon lives in the top left corner, clear of the title block.
    const QWidget* picIcon = control<QWidget>(box, "picIcon");
    ASSERT_NE(picIcon, nullptr);
    EXPECT_LT(picIcon->geometry().right(), 70);
    EXPECT_LT(picIcon->geometry().bottom(), 163);
}

TEST_F(AboutBox, TextsFitTheirLabelsWithoutClipping)
{
    shell::frmAbout box(fake, &owner);

    const QLabel* description = control<QLabel>(box, "lblDescription");
    ASSERT_NE(description, nullptr);
    const QFontMetrics bold(description->font());
    for (const QString& line : description->text().split(QLatin1Char('\n')))
        EXPECT_LE(bold.horizontalAdvance(line), description->width()) << line.toStdString();
    EXPECT_LE(4 * bold.lineSpacing(), description->height());

    const QLabel* disclaimer = control<QLabel>(box, "lblDisclaimer");
    ASSERT_NE(disclaimer, nullptr);
    EXPECT_LE(disclaimer->heightForWidth(disclaimer->width()), disclaimer->height());
}

TEST_F(AboutBox, SeparatorIsAGreyLineOverAWhiteOne)
{
    shell::frmAbout box(fake, &owner);
    QWidget* line = control<QWidget>(box, "Line1");
    ASSERT_NE(line, nullptr);
    // Grey from 90 twips, white from 105, both to 5654; rows 2445 and 2460.
    EXPECT_EQ(line->geometry(), QRect(6, 163, 371, 2));

    const QImage image = line->grab().toImage();
    const int last = image.width() - 1;
    EXPECT_EQ(image.pixelColor(0, 0), QColor(128, 128, 128));
    EXPECT_EQ(image.pixelColor(last, 0), QColor(128, 128, 128));
    EXPECT_NE(image.pixelColor(0, 1), QColor(Qt::white)) << "the white line starts a pixel further right";
    EXPECT_EQ(image.pixelColor(1, 1), QColor(Qt::white));
    EXPECT_EQ(image.pixelColor(last, 1), QColor(Qt::white));
}

TEST_F(AboutBox, ShowsTheMainWindowsIconOrElseTheApplicationsOwn)
{
    const QIcon previous = QApplication::windowIcon();
    QApplication::setWindowIcon(solidIcon(Qt::blue));

    owner.setWindowIcon(solidIcon(Qt::red));
    {
        shell::frmAbout box(fake, &owner);
        EXPECT_EQ(iconCentre(box), QColor(Qt::red));
    }
    {
        shell::frmAbout box(fake, nullptr);
        EXPECT_EQ(iconCentre(box), QColor(Qt::blue));
    }

    QApplication::setWindowIcon(previous);
}

// Runs showAbout and, once the box is up, hands it to `act`.  A box that does
// not close is closed by force after a while, and the test fails.
void withModalBox(platform::Platform& fake, QWidget* owner, const std::function<void(QDialog&)>& act)
{
    bool seen = false;
    QObject context;  // cancels the timers should showAbout return without waiting
    QTimer::singleShot(0, &context, [&] {
        auto* box = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr) << "showAbout returned before showing a modal box";
        seen = true;
        EXPECT_EQ(box->objectName(), QStringLiteral("frmAbout"));
        EXPECT_EQ(box->parentWidget(), owner);
        EXPECT_TRUE(box->isModal());
        act(*box);
    });
    bool forced = false;
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, &context, [&] {
        if (QWidget* stuck = QApplication::activeModalWidget()) {
            forced = true;
            stuck->close();
        }
    });
    guard.start(10000);
    shell::showAbout(fake, owner);
    EXPECT_TRUE(seen);
    EXPECT_FALSE(forced) << "the box did not close";
}

void pressKey(QWidget& target, int key)
{
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
    QApplication::sendEvent(&target, &press);
}

TEST_F(AboutBox, OkIsTheDefaultAndTheCancelButton)
{
    {
        shell::frmAbout box(fake, &owner);
        EXPECT_TRUE(control<QPushButton>(box, "cmdOK")->isDefault());
        EXPECT_FALSE(control<QPushButton>(box, "cmdSysInfo")->isDefault());
    }

    const std::pair<const char*, int> closingKeys[] = {
        {"Escape", Qt::Key_Escape}, {"Enter", Qt::Key_Return}, {"keypad Enter", Qt::Key_Enter}};
    for (const auto& [name, key] : closingKeys) {
        SCOPED_TRACE(name);
        withModalBox(fake, &owner, [key = key](QDialog& box) { pressKey(box, key); });
    }
    withModalBox(fake, &owner, [](QDialog& box) { control<QPushButton>(box, "cmdOK")->click(); });
    EXPECT_TRUE(fake.startedPrograms.isEmpty());
    EXPECT_TRUE(fake.boxes.isEmpty());
}

struct SysInfoRow {
    const char* name;
    QStringList installed;  // candidates present on PATH
    bool startSucceeds;
    QString expectedStart;  // empty: nothing may start
    bool expectBox;
};

class SystemInfo : public ::testing::TestWithParam<SysInfoRow> {
protected:
    testsupport::FakePlatform fake;
    QWidget owner;
};

TEST_P(SystemInfo, StartsTheFirstInstalledToolOrSaysThereIsNone)
{
    const SysInfoRow& row = GetParam();
    for (const QString& name : row.installed)
        fake.programsOnPath.insert(name, QStringLiteral("/usr/bin/") + name);
    fake.startSucceeds = row.startSucceeds;

    shell::frmAbout box(fake, &owner);
    box.show();
    control<QPushButton>(box, "cmdSysInfo")->click();

    if (row.expectedStart.isEmpty()) {
        EXPECT_TRUE(fake.startedPrograms.isEmpty());
    } else {
        ASSERT_EQ(fake.startedPrograms.size(), 1) << "one attempt, no fallback to the next tool";
        EXPECT_EQ(fake.startedPrograms.constFirst(), QStringList{row.expectedStart});
    }
    if (row.expectBox) {
        ASSERT_EQ(fake.boxes.size(), 1);
        const platform::MessageBox& message = fake.boxes.constFirst();
        EXPECT_EQ(message.title, QStringLiteral("Mirror Vane"));
        EXPECT_EQ(message.text, QStringLiteral("System Information Is Unavailable At This Time"));
        EXPECT_EQ(message.icon, platform::Icon::None);
        EXPECT_EQ(message.buttons, platform::Buttons::Ok);
    } else {
        EXPECT_TRUE(fake.boxes.isEmpty());
    }
    EXPECT_TRUE(box.isVisible()) << "the About box stays open";
    EXPECT_EQ(box.result(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Desktops, SystemInfo,
    ::testing::Values(
        SysInfoRow{"KdeToolPreferredWhenAllAreInstalled",
                   {"kinfocenter", "hardinfo2", "hardinfo", "gnome-system-monitor"}, true,
                   "/usr/bin/kinfocenter", false},
        SysInfoRow{"NewerHardinfoBeforeTheOld", {"hardinfo", "hardinfo2"}, true, "/usr/bin/hardinfo2", false},
        SysInfoRow{"LastCandidateAlone", {"gnome-system-monitor"}, true, "/usr/bin/gnome-system-monitor", false},
        SysInfoRow{"UnrelatedProgramsDoNotCount", {"xterm", "msinfo32"}, true, {}, true},
        SysInfoRow{"NoneInstalled", {}, true, {}, true},
        SysInfoRow{"FoundToolFailsToStart", {"hardinfo", "gnome-system-monitor"}, false, "/usr/bin/hardinfo", true}),
    [](const ::testing::TestParamInfo<SysInfoRow>& row) { return std::string(row.param.name); });

}  // namespace
