#include "boxes.h"

#include <QDir>
#include <QStringList>

namespace platform {

QString alertTitle()
{
    return QStringLiteral("Mirrorvane Alert");
}

Box::Box(const QString& title, Icon icon) : m_box{title, QString(), icon, Buttons::Ok, Answer::Ok} {}

Box& Box::text(const QString& text)
{
    m_box.text = text;
    return *this;
}

Box& Box::lines(const QStringList& lines)
{
    return text(lines.join(kCrLf));
}

Box& Box::buttons(Buttons buttons, Answer byDefault)
{
    m_box.buttons = buttons;
    m_box.defaultButton = byDefault;
    return *this;
}

MessageBox fileFailureBox(const QString& subject, const QString& path, const fileio::Failure& failure)
{
    QString sentence = subject;
    switch (failure.kind) {
    case fileio::FailureKind::Unreadable:
    case fileio::FailureKind::Refused:
    case fileio::FailureKind::OutOfMemory:
        sentence += QStringLiteral(" could not be opened:");
        break;
    case fileio::FailureKind::Unwritable:
        sentence += QStringLiteral(" could not be saved:");
        break;
    }
    return Box(alertTitle(), Icon::Warning).lines({sentence, QDir::toNativeSeparators(path), failure.reason});
}

QString characterList(const std::vector<char32_t>& characters)
{
    QStringList parts;
    for (const char32_t c : characters)
        parts.append(QString::fromUcs4(&c, 1));
    return parts.join(QLatin1Char(' '));
}

}  // namespace platform
