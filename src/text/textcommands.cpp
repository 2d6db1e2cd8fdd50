#include "textcommands.h"

namespace text {
// Placeholder until the text commands land.
void openText(TextCommandContext&) {}
void openTextFile(TextCommandContext&, const QString&) {}
void saveText(TextCommandContext&) {}
void clearText(TextCommandContext&) {}
void copyText(TextCommandContext&) {}
void pasteText(TextCommandContext&) {}
QString decodeTextFile(const QByteArray&) { return {}; }
QString pasteWarning(qsizetype) { return {}; }
}  // namespace text
