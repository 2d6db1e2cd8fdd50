#include "output.h"

#include "localeencoding.h"

#include <QDir>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include <fcntl.h>
#include <unistd.h>

namespace cli {

namespace {

int g_outError = 0;  // errno of the first failed write to standard output

bool isControl(char32_t c)
{
    return c < 0x20 || c == 0x7F || (c >= 0x80 && c <= 0x9F);
}

void appendHex(QString& out, unsigned value)
{
    out += QString::fromLatin1(hexEscape(value));
}

}  // namespace

void guardStandardDescriptors()
{
    for (int fd = 0; fd <= 2; ++fd) {
        if (fcntl(fd, F_GETFD) != -1 || errno != EBADF)
            continue;
        // Read-only for output and write-only for input: every use fails
        // with "Bad file descriptor", as it would have on the closed one.
        const int opened = open("/dev/null", fd == 0 ? O_WRONLY : O_RDONLY);
        if (opened != -1 && opened != fd) {
            dup2(opened, fd);
            close(opened);
        }
    }
}

// Standard output is written with our own buffer rather than stdio's:
// glibc drops its buffered bytes when a write fails, so a write that a
// signal interrupts (EINTR) could not be retried.
namespace {

constexpr std::size_t kOutBufferBytes = std::size_t(1) << 16;
std::string g_outBuffer;

void writeAllOut(const char* data, std::size_t size)
{
    while (size > 0 && g_outError == 0) {
        const ssize_t put = ::write(STDOUT_FILENO, data, size);
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0) {
            g_outError = put < 0 ? errno : EIO;
            break;
        }
        data += put;
        size -= static_cast<std::size_t>(put);
    }
}

}  // namespace

void writeOut(std::string_view bytes)
{
    if (bytes.empty() || g_outError != 0)
        return;
    if (g_outBuffer.size() + bytes.size() > kOutBufferBytes)
        flushOut();
    if (bytes.size() >= kOutBufferBytes)
        writeAllOut(bytes.data(), bytes.size());
    else
        g_outBuffer.append(bytes);
}

void flushOut()
{
    writeAllOut(g_outBuffer.data(), g_outBuffer.size());
    g_outBuffer.clear();
}

QString finishOut()
{
    flushOut();
    // Closed once: Linux frees the descriptor even when close says EINTR.
    if (::close(STDOUT_FILENO) != 0 && errno != EINTR && g_outError == 0)
        g_outError = errno;
    return g_outError == 0 ? QString() : QString::fromLocal8Bit(std::strerror(g_outError));
}

void complainLine(std::string_view line)
{
    std::string whole;
    whole.reserve(kProgram.size() + 2 + line.size() + 1);
    whole.append(kProgram).append(": ").append(line).append("\n");
    std::fwrite(whole.data(), 1, whole.size(), stderr);
}

void complainLine(const QString& line)
{
    complainLine(line.toStdString());
}

StandardOutputDevice::StandardOutputDevice()
{
    open(QIODevice::WriteOnly | QIODevice::Unbuffered);
}

qint64 StandardOutputDevice::writeData(const char* data, qint64 size)
{
    writeOut(std::string_view(data, static_cast<std::size_t>(size)));
    if (g_outError != 0) {
        setErrorString(QString::fromLocal8Bit(std::strerror(g_outError)));
        return -1;
    }
    return size;
}

bool isTerminal(int descriptor)
{
    return isatty(descriptor) == 1;
}

QString escapeControls(const QString& text)
{
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        if (isControl(c.unicode()))
            appendHex(out, c.unicode());
        else
            out += c;
    }
    return out;
}

QString shown(const QString& name)
{
    return QLatin1Char('"') + escapeControls(QDir::toNativeSeparators(name)) + QLatin1Char('"');
}

QString shownBytes(std::string_view name)
{
    QString out = QStringLiteral("\"");
    for (const char byte : name) {
        const auto b = static_cast<unsigned char>(byte);
        if (b < 0x20 || b >= 0x7F)
            appendHex(out, b);
        else
            out += QLatin1Char(byte);
    }
    return out + QLatin1Char('"');
}

std::string terminalEscapeNote()
{
    const std::string what = localeEncoding().empty()
                                 ? "control characters of the message are"
                                 : "control characters of the message and characters " + localeEncoding() + " lacks are";
    return what + " shown as \\xHH, the hidden byte; redirect standard output to get them as they are";
}

std::string hexEscape(unsigned value)
{
    static constexpr char kDigits[] = "0123456789ABCDEF";
    return {'\\', 'x', kDigits[(value >> 4) & 0xF], kDigits[value & 0xF]};
}

std::string escapeForTerminal(std::string_view codes, std::u16string_view text, bool utf8, bool& escaped)
{
    // A locale of another encoding gets its own bytes, and the hidden byte
    // of a character it has not got, escaped like a control.
    if (const std::array<std::string, 256>* locale = utf8 ? localeCharacters() : nullptr) {
        std::string bytes;
        bytes.reserve(codes.size());
        for (std::size_t i = 0; i < codes.size(); ++i) {
            const auto byte = static_cast<unsigned char>(codes[i]);
            const char32_t c = text[i];
            const std::string& encoded = (*locale)[byte];
            if (encoded.empty() || (isControl(c) && c != '\t' && c != '\n' && c != '\r')) {
                bytes += hexEscape(byte);
                escaped = true;
            } else {
                bytes += encoded;
            }
        }
        return bytes;
    }
    std::u16string out;
    out.reserve(codes.size());
    for (std::size_t i = 0; i < codes.size(); ++i) {
        const auto byte = static_cast<unsigned char>(codes[i]);
        const char32_t c = utf8 ? text[i] : byte;
        if (isControl(c) && c != '\t' && c != '\n' && c != '\r') {
            for (const char e : hexEscape(byte))
                out += static_cast<char16_t>(e);
            escaped = true;
        } else {
            out += utf8 ? text[i] : static_cast<char16_t>(byte);
        }
    }
    if (utf8)
        return QString::fromUtf16(out.data(), static_cast<qsizetype>(out.size())).toStdString();
    // Raw bytes stay bytes: only escapes were added.
    std::string bytes(out.size(), '\0');
    for (std::size_t i = 0; i < out.size(); ++i)
        bytes[i] = static_cast<char>(out[i]);
    return bytes;
}

}  // namespace cli
