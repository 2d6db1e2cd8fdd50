#include "aboutbox.h"

#include "platform/boxes.h"
#include "shell/prompts.h"

#include <mirrorvane/version.h>

#include <QApplication>
#include <QFont>
#include <QIcon>
#include <QLabel>
#include <QPainter>
#include <QPushButton>

#include <array>

namespace shell {

namespace {

const QString kAppTitle = QStringLiteral("Mirror Vane");

// The layout is kept in twips, the unit the box was designed in; 15 twips
// make one pixel at 96 dpi.
constexpr int kTwipsPerPixel = 15;

constexpr int pixels(int twips)
{
    return (twips + kTwipsPerPixel / 2) / kTwipsPerPixel;
}

QRect twipsRect(int left, int top, int width, int height)
{
    return {pixels(left), pixels(top), pixels(width), pixels(height)};
}

enum class Style { Regular, Bold, Italic };

QFont boxFont(Style style)
{
    QFont font(QStringLiteral("Arial"));
    font.setPointSizeF(8.25);
    font.setBold(style == Style::Bold);
    font.setItalic(style == Style::Italic);
    return font;
}

// The etched separator: a shadow line with a highlight a pixel below and to
// the right of it, both ending at the same column, in the palette's colours
// (grey and white in a light one), so that a dark palette gets no white rule.
class EtchedLine : public QWidget {
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        const int last = width() - 1;
        painter.setPen(palette().color(QPalette::Dark));
        painter.drawLine(0, 0, last, 0);
        painter.setPen(palette().color(QPalette::Light));
        painter.drawLine(1, 1, last, 1);
    }
};

QLabel* addLabel(QWidget* parent, const char* name, Style style, QRect geometry)
{
    auto* label = new QLabel(parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setFont(boxFont(style));
    label->setGeometry(geometry);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label->setTextFormat(Qt::PlainText);
    return label;
}

QPushButton* addButton(QWidget* parent, const char* name, const QString& caption, QRect geometry)
{
    auto* button = new QPushButton(caption, parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setFont(boxFont(Style::Regular));
    button->setGeometry(geometry);
    return button;
}

// The program's own icon: the one its main window carries.
QIcon programIcon(const QWidget* owner)
{
    if (owner) {
        const QIcon icon = owner->window()->windowIcon();
        if (!icon.isNull())
            return icon;
    }
    return QApplication::windowIcon();
}

}  // namespace

frmAbout::frmAbout(platform::Platform& platform, QWidget* owner)
    : QDialog(owner, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint
                         | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      m_platform(platform)
{
    setObjectName(QStringLiteral("frmAbout"));
    setFont(boxFont(Style::Regular));
    setFixedSize(pixels(5730), pixels(3555));

    const QIcon icon = programIcon(owner);
    setWindowIcon(icon);
    auto* picIcon = new QLabel(this);
    picIcon->setObjectName(QStringLiteral("picIcon"));
    picIcon->setGeometry(twipsRect(240, 240, 480, 480));
    picIcon->setPixmap(icon.pixmap(picIcon->size(), devicePixelRatioF()));

    m_lblTitle = addLabel(this, "lblTitle", Style::Bold, twipsRect(1050, 240, 3885, 480));
    m_lblVersion = addLabel(this, "lblVersion", Style::Bold, twipsRect(1050, 780, 3885, 225));
    m_lblDescription = addLabel(this, "lblDescription", Style::Bold, twipsRect(1050, 1125, 3885, 1170));

    // Grey from 90 and white from 105 twips, both to 5654, at 2445 and 2460.
    auto* line = new EtchedLine(this);
    line->setObjectName(QStringLiteral("Line1"));
    line->setGeometry(pixels(90), pixels(2445), pixels(5654) - pixels(90), 2);

    m_lblDisclaimer = addLabel(this, "lblDisclaimer", Style::Italic, twipsRect(135, 2625, 3990, 825));
    m_lblDisclaimer->setWordWrap(true);

    QPushButton* ok = addButton(this, "cmdOK", QStringLiteral("OK"), twipsRect(4245, 2625, 1260, 345));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &frmAbout::cmdOK_Click);
    QPushButton* sysInfo =
        addButton(this, "cmdSysInfo", QStringLiteral("&System Info..."), twipsRect(4260, 3075, 1245, 345));
    connect(sysInfo, &QPushButton::clicked, this, &frmAbout::cmdSysInfo_Click);
    ok->setFocus();

    Form_Load();
}

void frmAbout::Form_Load()
{
    setWindowTitle(QStringLiteral("About ") + kAppTitle);
    m_lblVersion->setText(QStringLiteral("Version %1.%2.%3")
                              .arg(mirrorvane::kVersionMajor)
                              .arg(mirrorvane::kVersionMinor)
                              .arg(mirrorvane::kVersionPatch));
    m_lblTitle->setText(kAppTitle);
    m_lblDescription->setText(QStringList{
        QStringLiteral("Hides a secret text message in a picture."),
        QStringLiteral("Copyright \u00A9 2007 - 2009 Dunmarrow Software"),
        QString::fromLatin1(kMakerHost),
        QString::fromLatin1(kCompanionHost),
    }.join(QLatin1Char('\n')));
    m_lblDisclaimer->setText(QStringLiteral("Warning: hiding a text is not encryption. Anyone with a steganography tool "
                                            "can find and read a hidden message, so never hide anything that must "
                                            "stay secret."));
}

void frmAbout::cmdOK_Click()
{
    accept();
}

void frmAbout::cmdSysInfo_Click()
{
    StartSysInfo();
}

void frmAbout::StartSysInfo()
{
    // This desktop has no registry entry for such a tool: the first of these
    // that is installed stands for it, in order of how much they show.
    static const std::array<const char*, 4> candidates = {"kinfocenter", "hardinfo2", "hardinfo",
                                                          "gnome-system-monitor"};
    for (const char* name : candidates) {
        const QString path = m_platform.findProgram(QString::fromLatin1(name));
        if (path.isEmpty())
            continue;
        if (m_platform.startProgram(path, {}))
            return;
        break;
    }
    m_platform.messageBox(
        platform::Box(kAppTitle, platform::Icon::None).text(QStringLiteral("System Information Is Unavailable At This Time")),
        this);
}

void showAbout(platform::Platform& platform, QWidget* owner)
{
    frmAbout box(platform, owner);
    box.exec();
}

}  // namespace shell
