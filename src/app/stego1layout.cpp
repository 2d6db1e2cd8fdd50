// The window's controls, their layout and look, and the start-up that
// colours them.

#include "stego1.h"
#include "windowenvironment.h"

#include "picture/imagecanvas.h"
#include "picture/imagecommands.h"
#include "picture/pictureview.h"
#include "platform/boxes.h"
#include "text/textbox.h"
#include "text/textcommands.h"
#include "windowtitles.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QFrame>
#include <QGuiApplication>
#include <QIcon>
#include <QLabel>
#include <QLayout>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QWindow>

// Resources of a static library are registered by hand, from the global namespace.
static void initMirrorvaneResources()
{
    Q_INIT_RESOURCE(mirrorvane);
}

namespace app {

namespace {

const QColor kAmber(254, 185, 17);  // 0x11B9FE as the program's BBGGRR colours write it

constexpr int kClientWidth = 697;
constexpr int kClientHeight = 490;

QFont arial(double points, bool bold = false)
{
    QFont font(QStringLiteral("Arial"));
    font.setPointSizeF(points);
    font.setBold(bold);
    font.setStrikeOut(false);
    font.setUnderline(false);
    return font;
}

void setBackground(QWidget* widget, const QColor& colour)
{
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Window, colour);
    widget->setPalette(palette);
    widget->setAutoFillBackground(true);
}

// A panel: a box with a single-line border.  The line is grey so that it
// shows on the black background set at start-up.
QFrame* makePanel(QWidget* parent, const char* name, const QRect& geometry)
{
    auto* panel = new QFrame(parent);
    panel->setObjectName(QString::fromLatin1(name));
    panel->setFrameStyle(QFrame::Box | QFrame::Plain);
    panel->setLineWidth(1);
    QPalette palette = panel->palette();
    palette.setColor(QPalette::WindowText, QColor(128, 128, 128));
    panel->setPalette(palette);
    panel->setGeometry(geometry);
    return panel;
}

// Places `widget` relative to the inside of its parent's border, as controls
// inside a panel are measured.
void placeInside(QWidget* widget, const QRect& geometry)
{
    QPoint origin;
    if (const auto* frame = qobject_cast<const QFrame*>(widget->parentWidget()))
        origin = frame->contentsRect().topLeft();
    widget->setGeometry(geometry.translated(origin));
}

QLabel* makeLabel(QWidget* panel, const char* name, const QString& caption, const QRect& geometry)
{
    auto* label = new QLabel(caption, panel);
    label->setObjectName(QString::fromLatin1(name));
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label->setTextFormat(Qt::PlainText);
    label->setFont(arial(8.25));
    placeInside(label, geometry);
    return label;
}

// The status line speaks as a status bar: its name is the sentence it shows,
// and QLabel reports each new sentence as a name change, which screen
// readers announce for a status bar.
const char* const kStatusLineProperty = "mirrorvaneStatusLine";

class StatusLineAccessible : public QAccessibleWidget {
public:
    explicit StatusLineAccessible(QWidget* label) : QAccessibleWidget(label, QAccessible::StatusBar) {}

    QString text(QAccessible::Text kind) const override
    {
        if (kind == QAccessible::Name)
            return static_cast<const QLabel*>(widget())->text();
        return QAccessibleWidget::text(kind);
    }
};

QAccessibleInterface* statusLineAccessible(const QString& key, QObject* object)
{
    if (key == QLatin1String("QLabel") && object && object->property(kStatusLineProperty).toBool())
        return new StatusLineAccessible(static_cast<QWidget*>(object));
    return nullptr;
}

void describe(QWidget* widget, const QString& name, const QString& description)
{
    widget->setAccessibleName(name);
    widget->setAccessibleDescription(description);
}

QPushButton* makeButton(QWidget* parent, const char* name, const QString& caption, const QRect& geometry)
{
    auto* button = new QPushButton(caption, parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setAutoDefault(false);
    button->setDefault(false);
    button->setFont(arial(9));
    placeInside(button, geometry);
    return button;
}

// Labels take the text box's colours, as the window's look is made at start-up.
// They are not filled: a panel title is as wide as its panel's outside and
// would paint over the border, which the panel's own black shows through anyway.
void takeTextBoxColours(QLabel* label, const QPlainTextEdit* textBox)
{
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, textBox->palette().color(QPalette::Text));
    palette.setColor(QPalette::Window, textBox->palette().color(QPalette::Base));
    label->setPalette(palette);
}


}  // namespace

Stego1::Stego1(platform::Platform& platform, QWidget* parent) : QMainWindow(parent), m_platform(platform)
{
    initMirrorvaneResources();
    setObjectName(QStringLiteral("Stego1"));
    setWindowTitle(kStartTitle);
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);

    QIcon icon;
    for (const int size : {16, 24, 32, 48, 256})
        icon.addFile(QStringLiteral(":/mirrorvane/mirrorvane-%1.png").arg(size), QSize(size, size));
    setWindowIcon(icon);
    // Boxes shown before the window (the display refusal) carry the icon too.
    if (QGuiApplication::windowIcon().isNull())
        QGuiApplication::setWindowIcon(icon);

    static const bool statusLineFactoryInstalled = [] {
        QAccessible::installFactory(statusLineAccessible);
        return true;
    }();
    Q_UNUSED(statusLineFactoryInstalled);

    auto* client = new QWidget(this);
    client->setObjectName(QStringLiteral("client"));
    client->setFixedSize(kClientWidth, kClientHeight);
    setCentralWidget(client);
    createControls(client);
    createMenus();
    m_env = std::make_unique<WindowEnvironment>(m_platform, this, Text1, Label4, *m_view, [this] { ReadMessage(); });

    // The window takes exactly the client area plus the menu bar while it
    // shows, and the user cannot resize it.
    layout()->setSizeConstraint(QLayout::SetFixedSize);
    setAcceptDrops(true);
}

Stego1::~Stego1() = default;

std::int16_t Stego1::imageChanged() const
{
    return m_env->picture.ImageChanged;
}

const QString& Stego1::loadedImagePath() const
{
    return m_env->picture.LoadedImagePath;
}

const platform::FileDialog& Stego1::commonDialog1() const
{
    return m_env->CommonDialog1;
}

const platform::FileDialog& Stego1::dialog2() const
{
    return m_env->Dialog2;
}

void Stego1::createControls(QWidget* client)
{
    Picture4 = new QLabel(client);
    Picture4->setObjectName(QStringLiteral("Picture4"));
    showLogoForScale();
    Picture4->setGeometry(0, 8, 210, 58);
    Picture4->installEventFilter(this);

    Picture9 = makePanel(client, "Picture9", {360, 8, 329, 57});
    Label5 = makeLabel(Picture9, "Label5", QStringLiteral("Edit Text"), {0, 0, 329, 17});

    Picture1 = makePanel(client, "Picture1", {0, 72, 337, 281});
    m_canvas = new picture::ImageCanvas(Picture1);
    // Files named "@2x" load with a device pixel ratio of 2.
    m_canvas->setImage(QImage(QStringLiteral(":/mirrorvane/startup.png")),
                       QImage(QStringLiteral(":/mirrorvane/startup@2x.png")));
    m_canvas->setExactPos(8, 8);

    HScroll1 = new QScrollBar(Qt::Horizontal, client);
    HScroll1->setObjectName(QStringLiteral("HScroll1"));
    HScroll1->setGeometry(0, 336, 337, 17);
    VScroll1 = new QScrollBar(Qt::Vertical, client);
    VScroll1->setObjectName(QStringLiteral("VScroll1"));
    VScroll1->setGeometry(336, 72, 16, 281);
    for (QScrollBar* bar : {HScroll1, VScroll1})
        bar->setFocusPolicy(Qt::TabFocus);
    m_view = std::make_unique<picture::PictureView>(Picture1, m_canvas, HScroll1, VScroll1);

    Text1 = new text::TextBox(client);
    Text1->setObjectName(QStringLiteral("Text1"));
    Text1->setGeometry(352, 72, 345, 281);
    Text1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Text1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    Text1->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    text::adaptWrappingToLongRuns(Text1);
    Text1->setTabChangesFocus(true);
    // The single grey line of the panels; the style's own frame would be
    // drawn black on the black background.
    Text1->setFrameStyle(QFrame::Box | QFrame::Plain);
    Text1->setLineWidth(1);
    QPalette framePalette = Text1->palette();
    framePalette.setColor(QPalette::WindowText, QColor(128, 128, 128));
    Text1->setPalette(framePalette);
    Text1->setFont(arial(9.75));
    // The editor takes dropped text itself; dropped files are caught on the way in.
    Text1->viewport()->installEventFilter(this);

    Picture5 = makePanel(client, "Picture5", {8, 368, 209, 57});
    Label1 = makeLabel(Picture5, "Label1", QStringLiteral("Picture, Image, Photo File"), {0, 0, 209, 17});
    Picture6 = makePanel(client, "Picture6", {232, 368, 225, 57});
    Label2 = makeLabel(Picture6, "Label2", QStringLiteral("Steganography"), {0, 0, 225, 17});
    Picture7 = makePanel(client, "Picture7", {472, 368, 217, 57});
    Label3 = makeLabel(Picture7, "Label3", QStringLiteral("Text File"), {0, 0, 217, 17});

    Label4 = new QLabel(client);
    // Marked before its first text, which makes its accessible interface.
    Label4->setProperty(kStatusLineProperty, true);
    Label4->setText(QStringLiteral("Messages Here"));
    Label4->setObjectName(QStringLiteral("Label4"));
    Label4->setTextFormat(Qt::PlainText);
    Label4->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Label4->setFont(arial(9, true));
    // Up to the Upgrade panel: the longest sentence in bold Arial 9 needs
    // about 420 pixels.
    Label4->setGeometry(16, 448, 448, 25);

    Picture3 = new QWidget(client);
    Picture3->setObjectName(QStringLiteral("Picture3"));
    Picture3->setGeometry(432, 440, 33, 41);
    // The empty box lies under the status line's longer sentences.
    Label4->raise();

    Picture8 = makePanel(client, "Picture8", {472, 440, 217, 41});

    // The buttons lie in front of the panels, so they are made after them.
    m_command[4] = makeButton(client, "Command4", QStringLiteral("Open Image"), {16, 392, 89, 25});
    m_command[5] = makeButton(client, "Command5", QStringLiteral("Save Image"), {112, 392, 97, 25});
    m_command[1] = makeButton(client, "Command1", QStringLiteral("Hide Text"), {240, 392, 97, 25});
    m_command[2] = makeButton(client, "Command2", QStringLiteral("Get Text"), {352, 392, 97, 25});
    m_command[3] = makeButton(client, "Command3", QStringLiteral("Open Text"), {480, 392, 97, 25});
    m_command[6] = makeButton(client, "Command6", QStringLiteral("Save Text"), {584, 392, 97, 25});
    m_command[9] = makeButton(client, "Command9", QStringLiteral("Copy"), {384, 32, 73, 25});
    m_command[10] = makeButton(client, "Command10", QStringLiteral("Clear"), {488, 32, 73, 25});
    m_command[11] = makeButton(client, "Command11", QStringLiteral("Paste"), {592, 32, 73, 25});
    m_command[8] = makeButton(Picture8, "Command8", QStringLiteral("Upgrade"), {7, 7, 97, 25});
    m_command[7] = makeButton(client, "Command7", QStringLiteral("Exit"), {584, 448, 97, 25});

    connectHandler(m_command[1], &QPushButton::clicked, &Stego1::Command1_Click);
    connectHandler(m_command[2], &QPushButton::clicked, &Stego1::Command2_Click);
    connectHandler(m_command[3], &QPushButton::clicked, &Stego1::Command3_Click);
    connectHandler(m_command[4], &QPushButton::clicked, &Stego1::Command4_Click);
    connectHandler(m_command[5], &QPushButton::clicked, &Stego1::Command5_Click);
    connectHandler(m_command[6], &QPushButton::clicked, &Stego1::Command6_Click);
    connectHandler(m_command[7], &QPushButton::clicked, &Stego1::Command7_Click);
    connectHandler(m_command[8], &QPushButton::clicked, &Stego1::Command8_Click);
    connectHandler(m_command[9], &QPushButton::clicked, &Stego1::Command9_Click);
    connectHandler(m_command[10], &QPushButton::clicked, &Stego1::Command10_Click);
    connectHandler(m_command[11], &QPushButton::clicked, &Stego1::Command11_Click);

    const auto& c = m_command;
    const QList<QWidget*> focusOrder{c[4], c[5], c[1],  c[2], c[3], c[6],     c[9],
                                     c[10], c[11], Text1, c[8], c[7], VScroll1, HScroll1};
    for (qsizetype i = 1; i < focusOrder.size(); ++i)
        QWidget::setTabOrder(focusOrder[i - 1], focusOrder[i]);
    for (std::size_t n = 1; n < m_command.size(); ++n)
        m_command[n]->installEventFilter(this);

    describe(Picture4, QStringLiteral("Dunmarrow logo"), QStringLiteral("Click to show or hide the menu bar"));
    describe(Picture1, QStringLiteral("Picture"), QStringLiteral("The picture a message is hidden in or read from"));
    describe(m_canvas, QStringLiteral("Picture"), QString());
    describe(HScroll1, QStringLiteral("Scroll picture horizontally"), QString());
    describe(VScroll1, QStringLiteral("Scroll picture vertically"), QString());
    describe(Text1, QStringLiteral("Message text"),
             QStringLiteral("The text to hide in the picture, or the text found in it"));
    // No name of its own: the sentence it shows is its name.
    Label4->setAccessibleDescription(QStringLiteral("Outcome of the last command"));
}

bool Stego1::Form_Load()
{
    QString folder = m_platform.documentsFolder();
    if (folder.isEmpty())
        folder = m_platform.environmentVariable(QStringLiteral("USERPROFILE")).value_or(QString());
    m_env->CommonDialog1.folder = folder;
    m_env->Dialog2.folder = folder;

    m_view->layoutPictureView();

    if (m_platform.displayBitsPerPixel() < 32) {
        m_platform.messageBox(
            platform::Box(platform::alertTitle(), platform::Icon::Information)
                .text(QStringLiteral("You must run your display resolution at 32 bits per pixel to use Mirrorvane!")),
            this);
        return false;
    }

    // The client area only: the menu bar keeps the desktop's colours so that its captions stay readable.
    setBackground(centralWidget(), Qt::black);

    QPalette textPalette = Text1->palette();
    textPalette.setColor(QPalette::Base, Qt::black);
    textPalette.setColor(QPalette::Text, kAmber);
    Text1->setPalette(textPalette);
    Text1->setFont(arial(12));

    for (QWidget* panel : std::initializer_list<QWidget*>{Picture1, m_canvas, Picture3, Picture5, Picture6, Picture7,
                                                          Picture8, Picture9})
        setBackground(panel, Qt::black);
    for (QLabel* label : {Label1, Label2, Label3, Label4, Label5})
        takeTextBoxColours(label, Text1);
    Label4->clear();

    setMenusVisible(false);
    m_command[4]->setFocus();
    return true;
}

void Stego1::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    if (m_placed)
        return;
    m_placed = true;
    showLogoForScale();
    if (QWindow* handle = windowHandle())
        connect(handle, &QWindow::screenChanged, this, &Stego1::showLogoForScale);
    if (const QScreen* display = screen()) {
        QRect frame = frameGeometry();
        frame.moveCenter(display->availableGeometry().center());
        move(frame.topLeft());
    }
}

// A 2x drawing on scaled displays, where the plain one would be blurred.
void Stego1::showLogoForScale()
{
    const bool scaled = devicePixelRatioF() > 1;
    Picture4->setPixmap(QPixmap(scaled ? QStringLiteral(":/mirrorvane/logo@2x.png")
                                       : QStringLiteral(":/mirrorvane/logo.png")));
}

}  // namespace app
