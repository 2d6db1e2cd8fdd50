#include "stego1.h"

#include "picture/imagecanvas.h"
#include "picture/imagecommands.h"
#include "picture/pictureview.h"
#include "platform/boxes.h"
#include "shell/aboutbox.h"
#include "shell/prompts.h"
#include "stego/codepage.h"
#include "stego/body.h"
#include "stego/message.h"
#include "stego/sentences.h"
#include "text/textbox.h"
#include "text/textcommands.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QCloseEvent>
#include <QDir>
#include <QDropEvent>
#include <QFile>
#include <QFileInfo>
#include <QFrame>
#include <QGuiApplication>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QLayout>
#include <QLocale>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QWindow>

#include <exception>
#include <utility>
#include <string_view>

// Resources of a static library are registered by hand, from the global namespace.
static void initMirrorvaneResources()
{
    Q_INIT_RESOURCE(mirrorvane);
}

namespace app {

namespace {

const QString kStartTitle = QStringLiteral("Steganography - Hide a Secret Text Message in an Image");
const QString kBusyTitle = QStringLiteral("Mirrorvane - Processing...");
const QString kNormalTitle = QStringLiteral("Mirrorvane - Steganography - Hide a Secret Text Message in an Image");
const QString kApplicationTitle = QStringLiteral("Mirror Vane");
const QString kTooMuchText = QStringLiteral("Too Much Text!");
const QString kCrLf = QStringLiteral("\r\n");

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

    // The window takes exactly the client area plus the menu bar while it
    // shows, and the user cannot resize it.
    layout()->setSizeConstraint(QLayout::SetFixedSize);
    setAcceptDrops(true);
}

Stego1::~Stego1() = default;

void Stego1::createControls(QWidget* client)
{
    Picture4 = new QLabel(client);
    Picture4->setObjectName(QStringLiteral("Picture4"));
    showLogoForScale();
    Picture4->setGeometry(0, 8, 210, 58);
    Picture4->installEventFilter(this);

    QFrame* picture9 = makePanel(client, "Picture9", {360, 8, 329, 57});
    makeLabel(picture9, "Label5", QStringLiteral("Edit Text"), {0, 0, 329, 17});

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

    QFrame* picture5 = makePanel(client, "Picture5", {8, 368, 209, 57});
    makeLabel(picture5, "Label1", QStringLiteral("Picture, Image, Photo File"), {0, 0, 209, 17});
    QFrame* picture6 = makePanel(client, "Picture6", {232, 368, 225, 57});
    makeLabel(picture6, "Label2", QStringLiteral("Steganography"), {0, 0, 225, 17});
    QFrame* picture7 = makePanel(client, "Picture7", {472, 368, 217, 57});
    makeLabel(picture7, "Label3", QStringLiteral("Text File"), {0, 0, 217, 17});

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

    auto* picture3 = new QWidget(client);
    picture3->setObjectName(QStringLiteral("Picture3"));
    picture3->setGeometry(432, 440, 33, 41);
    // The empty box lies under the status line's longer sentences.
    Label4->raise();

    QFrame* picture8 = makePanel(client, "Picture8", {472, 440, 217, 41});

    // The buttons lie in front of the panels, so they are made after them.
    QPushButton* command4 = makeButton(client, "Command4", QStringLiteral("Open Image"), {16, 392, 89, 25});
    QPushButton* command5 = makeButton(client, "Command5", QStringLiteral("Save Image"), {112, 392, 97, 25});
    QPushButton* command1 = makeButton(client, "Command1", QStringLiteral("Hide Text"), {240, 392, 97, 25});
    QPushButton* command2 = makeButton(client, "Command2", QStringLiteral("Get Text"), {352, 392, 97, 25});
    QPushButton* command3 = makeButton(client, "Command3", QStringLiteral("Open Text"), {480, 392, 97, 25});
    QPushButton* command6 = makeButton(client, "Command6", QStringLiteral("Save Text"), {584, 392, 97, 25});
    QPushButton* command9 = makeButton(client, "Command9", QStringLiteral("Copy"), {384, 32, 73, 25});
    QPushButton* command10 = makeButton(client, "Command10", QStringLiteral("Clear"), {488, 32, 73, 25});
    QPushButton* command11 = makeButton(client, "Command11", QStringLiteral("Paste"), {592, 32, 73, 25});
    QPushButton* command8 = makeButton(picture8, "Command8", QStringLiteral("Upgrade"), {7, 7, 97, 25});
    QPushButton* command7 = makeButton(client, "Command7", QStringLiteral("Exit"), {584, 448, 97, 25});

    connect(command1, &QPushButton::clicked, this, &Stego1::Command1_Click);
    connect(command2, &QPushButton::clicked, this, &Stego1::Command2_Click);
    connect(command3, &QPushButton::clicked, this, &Stego1::Command3_Click);
    connect(command4, &QPushButton::clicked, this, &Stego1::Command4_Click);
    connect(command5, &QPushButton::clicked, this, &Stego1::Command5_Click);
    connect(command6, &QPushButton::clicked, this, &Stego1::Command6_Click);
    connect(command7, &QPushButton::clicked, this, &Stego1::Command7_Click);
    connect(command8, &QPushButton::clicked, this, &Stego1::Command8_Click);
    connect(command9, &QPushButton::clicked, this, &Stego1::Command9_Click);
    connect(command10, &QPushButton::clicked, this, &Stego1::Command10_Click);
    connect(command11, &QPushButton::clicked, this, &Stego1::Command11_Click);

    const QList<QWidget*> focusOrder{command4, command5, command1, command2, command3, command6, command9,
                                     command10, command11, Text1, command8, command7, VScroll1, HScroll1};
    for (qsizetype i = 1; i < focusOrder.size(); ++i)
        QWidget::setTabOrder(focusOrder[i - 1], focusOrder[i]);
    for (QPushButton* button : {command1, command2, command3, command4, command5, command6, command7, command8,
                                command9, command10, command11})
        button->installEventFilter(this);

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

void Stego1::createMenus()
{
    QMenuBar* bar = menuBar();
    // Inside the window on every desktop, so that the client area below it is
    // the same everywhere.
    bar->setNativeMenuBar(false);

    struct Entry {
        const char* name;
        const char* caption;  // nullptr for a separator
        void (Stego1::*handler)();
    };
    const auto addMenu = [&](const char* name, const QString& caption, std::initializer_list<Entry> entries) {
        QMenu* menu = bar->addMenu(caption);
        menu->setObjectName(QString::fromLatin1(name));
        for (const Entry& entry : entries) {
            QAction* action = entry.caption ? menu->addAction(QString::fromLatin1(entry.caption))
                                            : menu->addSeparator();
            action->setObjectName(QString::fromLatin1(entry.name));
            if (entry.handler)
                connect(action, &QAction::triggered, this, entry.handler);
        }
        m_topMenus.append(menu->menuAction());
    };

    addMenu("mnuFile", QStringLiteral("File"),
            {{"mnuFileLoadImage", "Open Image", &Stego1::mnuFileLoadImage_Click},
             {"mnuFileSaveImage", "Save Image", &Stego1::mnuFileSaveImage_Click},
             {"mnub1", nullptr, nullptr},
             {"mnuFileLoadText", "Open Text", &Stego1::mnuFileLoadText_Click},
             {"mnuFileSaveText", "Save Text", &Stego1::mnuFileSaveText_Click},
             {"mnub2", nullptr, nullptr},
             {"mnuFileExit", "Exit (Close)", &Stego1::mnuFileExit_Click}});
    addMenu("mnuEdit", QStringLiteral("Edit"),
            {{"mnuEditCopyText", "Copy Text", &Stego1::mnuEditCopyText_Click},
             {"mnuEditPasteText", "Paste Text", &Stego1::mnuEditPasteText_Click},
             {"mnuEditClearText", "Clear Text", &Stego1::mnuEditClearText_Click}});
    addMenu("mnuStego", QStringLiteral("Stego"),
            {{"mnuStegoHideText", "Hide Text in Image", &Stego1::mnuStegoHideText_Click},
             {"mnuStegoGetText", "Get Text from Image", &Stego1::mnuStegoGetText_Click}});
    addMenu("mnuCrypto", QStringLiteral("Crypto"),
            {{"mnuCryptoEncrypt", "Encrypt Text", &Stego1::mnuCryptoEncrypt_Click},
             {"mnuCryptoDecrypt", "Decrypt Text", &Stego1::mnuCryptoDecrypt_Click}});
    addMenu("mnuTools", QStringLiteral("Tools"),
            {{"mnuToolsHide", "Hide File in a Picture Image", &Stego1::mnuToolsHide_Click},
             {"mnuToolsLaunchLH", "Lockharbour", &Stego1::mnuToolsLaunchLH_Click},
             {"mnuToolsLaunchPSafe", "Dezazuvo Davo", &Stego1::mnuToolsLaunchPSafe_Click},
             {"mnuToolsLHExplorer", "Harbour Explorer", &Stego1::mnuToolsLHExplorer_Click},
             {"mnuToolsForensics", "Data Forensics", &Stego1::mnuToolsForensics_Click},
             {"mnuToolsShred", "Shred File", &Stego1::mnuToolsShred_Click},
             {"mnuToolsEmail", "Launch Email Client", &Stego1::mnuToolsEmail_Click},
             {"mnub4", nullptr, nullptr},
             {"mnuToolsSelfDec", "Create Self Decrypting Message", &Stego1::mnuToolsSelfDec_Click},
             {"mnuToolsGenPass", "Generate Secure Password", &Stego1::mnuToolsGenPass_Click},
             {"mnub5", nullptr, nullptr},
             {"mnuToolsShortcut", "Create Desktop Shortcut", nullptr}});

    // Options carries no command and has no drop-down: a bare entry on the bar.
    QAction* options = bar->addAction(QStringLiteral("Options"));
    options->setObjectName(QStringLiteral("mnuOptions"));
    m_topMenus.append(options);

    addMenu("mnuHelp", QStringLiteral("Help"),
            {{"mnuHelpHelp", "Online Help", &Stego1::mnuHelpHelp_Click},
             {"mnuHelpAbout", "About Mirrorvane", &Stego1::mnuHelpAbout_Click},
             {"mnub3", nullptr, nullptr},
             {"mnuHelpUpgrade", "Upgrade", &Stego1::mnuHelpUpgrade_Click}});
}

void Stego1::setMenusVisible(bool visible)
{
    for (QAction* menu : std::as_const(m_topMenus))
        menu->setVisible(visible);
    // With every menu hidden the bar itself goes, so nothing is left for Alt
    // or a click to open, and the window shrinks by the bar's height.
    menuBar()->setVisible(visible);
    // The new outer height takes effect now, not on the next turn of the event loop.
    layout()->activate();
}

bool Stego1::Form_Load()
{
    QString folder = m_platform.documentsFolder();
    if (folder.isEmpty())
        folder = m_platform.environmentVariable(QStringLiteral("USERPROFILE")).value_or(QString());
    m_commonDialog1.folder = folder;
    m_dialog2.folder = folder;

    m_view->layoutPictureView();

    if (m_platform.displayBitsPerPixel() < 32) {
        m_platform.messageBox(
            platform::okBox(platform::alertTitle(), platform::Icon::Information,
                            QStringLiteral("You must run your display resolution at 32 bits per pixel to use Mirrorvane!")),
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

    for (const char* name : {"Picture1", "Picture2", "Picture3", "Picture5", "Picture6", "Picture7", "Picture8",
                             "Picture9"})
        setBackground(findChild<QWidget*>(QString::fromLatin1(name)), Qt::black);
    for (const char* name : {"Label1", "Label2", "Label3", "Label4", "Label5"})
        takeTextBoxColours(findChild<QLabel*>(QString::fromLatin1(name)), Text1);
    Label4->clear();

    setMenusVisible(false);
    findChild<QPushButton*>(QStringLiteral("Command4"))->setFocus();
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

bool Stego1::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == Picture4) {
        // A double click is press, release, double-click, release: its
        // second release must not toggle the bar back.
        if (event->type() == QEvent::MouseButtonDblClick) {
            m_logoDoubleClicked = true;
        } else if (event->type() == QEvent::MouseButtonRelease) {
            const auto* mouse = static_cast<QMouseEvent*>(event);
            const bool second = std::exchange(m_logoDoubleClicked, false);
            if (!second && mouse->button() == Qt::LeftButton && Picture4->rect().contains(mouse->position().toPoint()))
                Picture4_Click();
        }
    }
    // Return and keypad Enter press the focused button as Space does; no
    // button is the window's default.
    if (event->type() == QEvent::KeyPress) {
        auto* button = qobject_cast<QPushButton*>(watched);
        const auto* key = static_cast<QKeyEvent*>(event);
        if (button && (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter)) {
            if (!key->isAutoRepeat() && button->isEnabled())
                button->click();
            return true;
        }
    }
    // A file dropped on the text box would otherwise be pasted as its address.
    const QEvent::Type type = event->type();
    if (watched == Text1->viewport() && (type == QEvent::DragEnter || type == QEvent::DragMove || type == QEvent::Drop)) {
        auto* drop = static_cast<QDropEvent*>(event);
        QString path;
        if (acceptFileDrag(drop, &path)) {
            if (type == QEvent::Drop)
                openDroppedFile(path);
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

// --- Drag and drop ---

bool Stego1::acceptFileDrag(QDropEvent* event, QString* path)
{
    // Only what Open Image or Open Text could have been given: one local
    // file, not a folder, several files or a web address.
    const QMimeData* mime = event->mimeData();
    if (!mime || !mime->hasUrls())
        return false;
    const QList<QUrl> urls = mime->urls();
    if (urls.size() != 1 || !urls.constFirst().isLocalFile())
        return false;
    const QString file = urls.constFirst().toLocalFile();
    if (file.isEmpty() || QFileInfo(file).isDir())
        return false;
    // A drop taken as a move tells the file manager to delete the user's file.
    if (!(event->possibleActions() & Qt::CopyAction))
        return false;
    event->setDropAction(Qt::CopyAction);
    event->accept();
    if (path)
        *path = file;
    return true;
}

void Stego1::dragEnterEvent(QDragEnterEvent* event)
{
    if (!acceptFileDrag(event))
        event->ignore();
}

void Stego1::dragMoveEvent(QDragMoveEvent* event)
{
    if (!acceptFileDrag(event))
        event->ignore();
}

void Stego1::dropEvent(QDropEvent* event)
{
    QString path;
    if (acceptFileDrag(event, &path))
        openDroppedFile(path);
    else
        event->ignore();
}

void Stego1::openCommandLineFile(const QByteArray& argument)
{
    // A name that does not survive the trip through QString would open some
    // other file, or none.
    const QString path = QFile::decodeName(argument);
    if (QFile::encodeName(path) != argument) {
        QMetaObject::invokeMethod(
            this,
            [this, path] {
                const QString reason = QStringLiteral("Its name is not valid in this system's encoding.");
                m_platform.messageBox(
                    platform::fileFailureBox(QStringLiteral("The file could not be opened:"), path, reason), this);
            },
            Qt::QueuedConnection);
        return;
    }
    openDroppedFile(QDir::current().absoluteFilePath(path));
}

// A ".txt" file (the name tested as Open Text tests it) goes to Open Text
// wherever it lands, any other file to Open Image, with the Open Image
// question first while a hidden message is unsaved.  The command runs once
// the drop has returned: the drag source waits for the drop, and a box shown
// inside it would hold the file manager's drag until the box was closed.
void Stego1::openDroppedFile(const QString& path)
{
    QMetaObject::invokeMethod(
        this,
        [this, path] {
            if (text::isTextFileName(path)) {
                text::TextCommandContext context{m_platform, this, Text1, Label4, m_commonDialog1};
                text::openTextFile(context, path);
                return;
            }
            picture::PictureCommandContext context{m_platform,      this,           *m_view,   Label4,
                                                   ImageChanged,    LoadedImagePath, m_commonDialog1, m_dialog2,
                                                   [this] { ReadMessage(); }};
            picture::openImageFile(context, path, /*confirm*/ true);
        },
        Qt::QueuedConnection);
}

void Stego1::closeEvent(QCloseEvent* event)
{
    // Exit clears the flag before it closes, so only the close box and the
    // window manager reach the question here.
    if (!confirmExit()) {
        event->ignore();
        return;
    }
    ImageChanged = 0;
    event->accept();
}

bool Stego1::confirmExit()
{
    if (ImageChanged != 1)
        return true;
    const platform::MessageBox question{
        platform::alertTitle(),
        QStringLiteral("Are You Sure Tou Wish To Exit?") + kCrLf + kCrLf + QStringLiteral("You Have Changed The Image But") +
            kCrLf + QStringLiteral("Have Not Saved These Changes!") + kCrLf + kCrLf +
            QStringLiteral("Click YES to EXIT Or NO To CANCEL"),
        platform::Icon::Question, platform::Buttons::YesNo, platform::Answer::No};
    return m_platform.messageBox(question, this) == platform::Answer::Yes;
}

void Stego1::SetBusyCaption(std::int16_t state)
{
    if (state == 1)
        setWindowTitle(kBusyTitle);
    else if (state == 0)
        setWindowTitle(kNormalTitle);
    else
        return;
    // No turn of the event loop comes before the pixel work, so the title is
    // pushed to the screen here.
    m_platform.flushWindowSystem(this);
}

// --- Hide Text and Get Text ---

void Stego1::Command1_Click()
{
    try {
        Label4->clear();
        HideResult.clear();
        if (Text1->document()->isEmpty()) {
            Label4->setText(QStringLiteral("There is no text to hide in the image."));
            return;
        }
        std::string body;
        if (!takeBody(body))
            return;
        if (stego::cutShortAt(body)) {
            m_platform.messageBox(platform::okBox(platform::alertTitle(), platform::Icon::Warning,
                                                  QString::fromStdString(stego::cutShortSentence())),
                                  this);
            Label4->setText(QStringLiteral("The text was not hidden in the image."));
            return;
        }
        HideMessage(body);
        if (HideResult.isEmpty()) {
            Label4->setText(QStringLiteral("The text message is now hidden in image."));
            ImageChanged = 1;
        } else {
            Label4->setText(QStringLiteral("Too much text to hide in the image!"));
            HideResult.clear();
        }
    } catch (const std::exception&) {
        // Out of memory for a copy of a huge text: the command ends and the program goes on.
        if (windowTitle() == kBusyTitle)
            SetBusyCaption(0);
    }
}

// The text of `Text1` as the body to hide, with CR LF line breaks: its
// Windows-1252 bytes, or after the user's Yes its UTF-8.  False when the text
// is not hidden; the status line says so.
bool Stego1::takeBody(std::string& body)
{
    const QString raw = Text1->document()->toRawText();
    stego::EncodeResult encoded = text::rawTextWindows1252(raw);
    if (encoded.ok()) {
        body = stego::windows1252Body(std::move(encoded.bytes));
        return true;
    }
    const QString characters = platform::characterList(encoded.unencodable);
    // A lone surrogate, which only a damaged paste leaves, has no UTF-8 either.
    const bool loneSurrogate = std::any_of(encoded.unencodable.begin(), encoded.unencodable.end(),
                                           [](char32_t c) { return c >= 0xD800 && c <= 0xDFFF; });
    if (loneSurrogate) {
        m_platform.messageBox(platform::okBox(platform::alertTitle(), platform::Icon::Warning,
                                              QStringLiteral("These characters cannot be hidden in an image: ") + characters),
                              this);
    } else if (m_platform.messageBox({platform::alertTitle(), QString::fromStdString(stego::utf8Question(characters.toStdString())),
                                      platform::Icon::Question, platform::Buttons::YesNo, platform::Answer::No},
                                     this)
               == platform::Answer::Yes) {
        // The box's own form of the text, its line breaks made CR LF on the way.
        body = *stego::utf16ToUtf8(
            std::u16string_view(reinterpret_cast<const char16_t*>(raw.utf16()), static_cast<std::size_t>(raw.size())),
            stego::kUtf8Mark, true);
        return true;
    }
    Label4->setText(QStringLiteral("The text has characters that cannot be hidden in the image."));
    return false;
}

void Stego1::HideMessage(const std::string& textBytes)
{
    SetBusyCaption(1);
    const stego::HideReport report = stego::hideBytes(m_canvas->surface(), textBytes);
    if (report.outcome == stego::HideOutcome::Hidden) {
        m_canvas->pixelsChanged();
        SetBusyCaption(0);
        return;
    }
    const std::string excess = stego::formatExcess(report.excess, QLocale().decimalPoint().toStdString());
    const bool utf8 = stego::bodyEncoding(textBytes) == stego::BodyEncoding::Utf8;
    m_platform.messageBox({kApplicationTitle, QString::fromStdString(stego::tooMuchTextSentence(excess, utf8)),
                           platform::Icon::Critical, platform::Buttons::Ok, platform::Answer::Ok},
                          this);
    SetBusyCaption(0);
    HideResult = kTooMuchText;
}

void Stego1::Command2_Click()
{
    try {
        Label4->clear();
        HideResult.clear();
        if (ReadMessage() && Text1->document()->isEmpty())
            Label4->setText(QStringLiteral("There is no hidden text in this image to display."));
    } catch (const std::exception&) {
        if (windowTitle() == kBusyTitle)
            SetBusyCaption(0);
    }
}

bool Stego1::ReadMessage()
{
    SetBusyCaption(1);
    const stego::ReadResult result = stego::readMessage(m_canvas->constSurface());
    if (result.outcome == stego::ReadOutcome::NoStartMarker) {
        Label4->setText(QString::fromUtf8(stego::kNoMessageSentence));
        SetBusyCaption(0);
        return true;
    }
    const bool utf8 = stego::bodyEncoding(result.text) == stego::BodyEncoding::Utf8;
    const std::string_view found = stego::bodyText(result.text, utf8 ? stego::BodyEncoding::Utf8 : stego::BodyEncoding::Windows1252);
    const bool tooLong = result.outcome == stego::ReadOutcome::Found && !text::fitsTextBox(found, utf8);
    if (result.outcome == stego::ReadOutcome::Found && !tooLong) {
        if (utf8)
            text::replaceTextBoxText(Text1, QString::fromUtf8(found.data(), static_cast<qsizetype>(found.size())));
        else
            text::setTextBoxWindows1252(Text1, found);
    }

    SetBusyCaption(0);
    if (tooLong) {
        // A text too long to show is still examined, on its bytes: the
        // notice says what the file offered next will hold.
        stego::EncryptedTextScanner scanner(utf8);
        scanner.feed(found);
        if (scanner.encrypted())
            showEncryptedNotice();
        text::TextCommandContext context{m_platform, this, Text1, Label4, m_commonDialog1};
        text::offerToSaveHiddenText(context, found, utf8);
        return false;
    }
    // Input that arrived during the scan is handled now, before the text is examined.
    m_platform.processEvents();

    // The markers hold no line break, so the box's own form of the text
    // answers as its CR LF form would, without converting a million characters.
    const QString t = Text1->document()->toRawText();
    if (stego::isEncryptedText(
            std::u16string_view(reinterpret_cast<const char16_t*>(t.utf16()), static_cast<std::size_t>(t.size()))))
        showEncryptedNotice();
    else
        Text1->viewport()->update();
    return true;
}

void Stego1::showEncryptedNotice()
{
    QStringList lines;
    for (const std::string& line : stego::encryptedTextNotice())
        lines.append(QString::fromStdString(line));
    lines.insert(lines.size() - 1, QString());
    m_platform.messageBox({platform::alertTitle(), lines.join(kCrLf), platform::Icon::Information,
                           platform::Buttons::Ok, platform::Answer::Ok},
                          this);
}

// --- Commands that live in other modules ---

void Stego1::Command3_Click()
{
    text::TextCommandContext context{m_platform, this, Text1, Label4, m_commonDialog1};
    text::openText(context);
}

void Stego1::Command4_Click()
{
    picture::PictureCommandContext context{m_platform, this,           *m_view,   Label4,
                                           ImageChanged, LoadedImagePath, m_commonDialog1, m_dialog2,
                                           [this] { ReadMessage(); }};
    picture::openImage(context);
}

void Stego1::Command5_Click()
{
    picture::PictureCommandContext context{m_platform, this,           *m_view,   Label4,
                                           ImageChanged, LoadedImagePath, m_commonDialog1, m_dialog2,
                                           [this] { ReadMessage(); }};
    picture::saveImage(context);
}

void Stego1::Command6_Click()
{
    text::TextCommandContext context{m_platform, this, Text1, Label4, m_commonDialog1};
    text::saveText(context);
}

void Stego1::mnuFileExit_Click()
{
    if (!confirmExit())
        return;
    ImageChanged = 0;
    close();
}

void Stego1::mnuEditCopyText_Click()
{
    text::TextCommandContext context{m_platform, this, Text1, Label4, m_commonDialog1};
    text::copyText(context);
}

void Stego1::mnuEditPasteText_Click()
{
    text::TextCommandContext context{m_platform, this, Text1, Label4, m_commonDialog1};
    text::pasteText(context);
}

void Stego1::mnuEditClearText_Click()
{
    text::TextCommandContext context{m_platform, this, Text1, Label4, m_commonDialog1};
    text::clearText(context);
}

void Stego1::mnuCryptoEncrypt_Click() { shell::upgradePrompt(m_platform, this, shell::Feature::EncryptText); }
void Stego1::mnuCryptoDecrypt_Click() { shell::upgradePrompt(m_platform, this, shell::Feature::DecryptText); }
void Stego1::mnuToolsHide_Click() { shell::upgradePrompt(m_platform, this, shell::Feature::HideFile); }
void Stego1::mnuToolsLaunchLH_Click() { shell::upgradePrompt(m_platform, this, shell::Feature::Lockharbour); }
void Stego1::mnuToolsLaunchPSafe_Click() { shell::upgradePrompt(m_platform, this, shell::Feature::DezazuvoDavo); }
void Stego1::mnuToolsLHExplorer_Click()
{
    shell::upgradePrompt(m_platform, this, shell::Feature::HarbourExplorer);
}
void Stego1::mnuToolsForensics_Click() { shell::upgradePrompt(m_platform, this, shell::Feature::DataForensics); }
void Stego1::mnuToolsShred_Click() { shell::upgradePrompt(m_platform, this, shell::Feature::ShredFile); }
void Stego1::mnuToolsEmail_Click() { shell::launchEmailClient(m_platform, this); }
void Stego1::mnuToolsSelfDec_Click() { shell::upgradePrompt(m_platform, this, shell::Feature::SelfDecrypting); }
void Stego1::mnuToolsGenPass_Click() { shell::upgradePrompt(m_platform, this, shell::Feature::GeneratePassword); }
void Stego1::mnuHelpHelp_Click() { shell::onlineHelp(m_platform, this); }
void Stego1::mnuHelpAbout_Click() { shell::showAbout(m_platform, this); }
void Stego1::mnuHelpUpgrade_Click() { shell::upgrade(m_platform, this); }

// --- Forwarders ---

void Stego1::Command7_Click() { mnuFileExit_Click(); }
void Stego1::Command8_Click()
{
    Label4->clear();
    mnuHelpUpgrade_Click();
}
void Stego1::Command9_Click() { mnuEditCopyText_Click(); }
void Stego1::Command10_Click() { mnuEditClearText_Click(); }
void Stego1::Command11_Click() { mnuEditPasteText_Click(); }
void Stego1::mnuFileLoadImage_Click() { Command4_Click(); }
void Stego1::mnuFileSaveImage_Click() { Command5_Click(); }
void Stego1::mnuFileLoadText_Click() { Command3_Click(); }
void Stego1::mnuFileSaveText_Click() { Command6_Click(); }
void Stego1::mnuStegoHideText_Click() { Command1_Click(); }
void Stego1::mnuStegoGetText_Click() { Command2_Click(); }

// --- The picture view and the menu bar ---

void Stego1::Picture4_Click()
{
    setMenusVisible(!m_topMenus.constFirst()->isVisible());
}

void Stego1::HScroll1_Change() { m_view->hScrollChanged(); }
void Stego1::VScroll1_Change() { m_view->vScrollChanged(); }

}  // namespace app
