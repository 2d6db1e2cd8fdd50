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

MessageBox okBox(const QString& title, Icon icon, const QString& text)
{
    return Box(title, icon).text(text);
}

MessageBox fileFailureBox(const QString& sentence, const QString& path, const QString& reason)
{
    return Box(alertTitle(), Icon::Warning).lines({sentence, QDir::toNativeSeparators(path), reason});
}

QString characterList(const std::vector<char32_t>& characters)
{
    QStringList parts;
    for (const char32_t c : characters)
        parts.append(QString::fromUcs4(&c, 1));
    return parts.join(QLatin1Char(' '));
}

}  // namespace platform
