#include "boxes.h"

#include <QDir>
#include <QStringList>

namespace platform {

QString alertTitle()
{
    return QStringLiteral("Mirrorvane Alert");
}

MessageBox okBox(const QString& title, Icon icon, const QString& text)
{
    return {title, text, icon, Buttons::Ok, Answer::Ok};
}

MessageBox fileFailureBox(const QString& sentence, const QString& path, const QString& reason)
{
    return okBox(alertTitle(), Icon::Warning,
                 QStringList{sentence, QDir::toNativeSeparators(path), reason}.join(kCrLf));
}

QString characterList(const std::vector<char32_t>& characters)
{
    QStringList parts;
    for (const char32_t c : characters)
        parts.append(QString::fromUcs4(&c, 1));
    return parts.join(QLatin1Char(' '));
}

}  // namespace platform
