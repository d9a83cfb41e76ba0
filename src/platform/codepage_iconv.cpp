// The code page's exact conversions over iconv (glibc's CP932); src/CMakeLists.txt names this variant
// in the platform list, and codepage.cpp holds the rules built on them.
#include "platform/codepage.h"

#include <cerrno>
#include <iconv.h>
#include <memory>

namespace {

struct IconvCloser {
    void operator()(void* handle) const { iconv_close(static_cast<iconv_t>(handle)); }
};
using IconvHandle = std::unique_ptr<void, IconvCloser>;

IconvHandle openIconv(const char* to, const char* from)
{
    iconv_t handle = iconv_open(to, from);
    if (handle == reinterpret_cast<iconv_t>(-1))
        return nullptr;
    return IconvHandle(handle);
}

// Opened once per thread: a text that needs substitutes is converted one character at a time.
void* toPage()
{
    thread_local const IconvHandle handle = openIconv("CP932", "UTF-8");
    return handle.get();
}

void* fromPage()
{
    thread_local const IconvHandle handle = openIconv("UTF-8", "CP932");
    return handle.get();
}

// Converts all of input; returns false at the first sequence the target cannot hold.
bool convertAll(void* handle, QByteArrayView input, QByteArray& output)
{
    if (!handle)
        return false;
    iconv(static_cast<iconv_t>(handle), nullptr, nullptr, nullptr, nullptr);
    char* in = const_cast<char*>(input.data());
    size_t inLeft = size_t(input.size());
    QByteArray buffer(qsizetype(inLeft * 2 + 16), Qt::Uninitialized);
    char* out = buffer.data();
    size_t outLeft = size_t(buffer.size());
    while (inLeft > 0) {
        if (iconv(static_cast<iconv_t>(handle), &in, &inLeft, &out, &outLeft) == size_t(-1)) {
            if (errno == E2BIG) {
                const qsizetype used = out - buffer.data();
                buffer.resize(buffer.size() * 2);
                out = buffer.data() + used;
                outLeft = size_t(buffer.size() - used);
                continue;
            }
            return false;
        }
    }
    buffer.resize(out - buffer.data());
    output = buffer;
    return true;
}

} // namespace

std::optional<QByteArray> EncodeCodePageExactly(QStringView text)
{
    QByteArray encoded;
    QByteArray back;
    if (!convertAll(toPage(), text.toUtf8(), encoded) || !convertAll(fromPage(), encoded, back))
        return std::nullopt;
    // Compared as text: a surrogate without its partner went into UTF-8 as "?" and fails here.
    if (QString::fromUtf8(back) != text)
        return std::nullopt;
    return encoded;
}

std::optional<QString> DecodeCodePageExactly(QByteArrayView bytes)
{
    QByteArray utf8;
    if (!convertAll(fromPage(), bytes, utf8))
        return std::nullopt;
    return QString::fromUtf8(utf8);
}

QString DecodeEucJp(QByteArrayView bytes)
{
    const IconvHandle handle = openIconv("UTF-8", "EUC-JP");
    if (!handle)
        return QString(bytes.size(), QChar(QChar::ReplacementCharacter));
    // A byte the code page does not define is one U+FFFD, and the rest is read on from the next.
    QString text;
    char* in = const_cast<char*>(bytes.data());
    size_t inLeft = size_t(bytes.size());
    QByteArray buffer(qsizetype(inLeft * 3 / 2 + 16), Qt::Uninitialized);
    while (inLeft > 0) {
        char* out = buffer.data();
        size_t outLeft = size_t(buffer.size());
        const size_t converted = iconv(static_cast<iconv_t>(handle.get()), &in, &inLeft, &out, &outLeft);
        text += QString::fromUtf8(buffer.data(), out - buffer.data());
        if (converted != size_t(-1) || errno == E2BIG)
            continue;
        text += QChar(QChar::ReplacementCharacter);
        ++in;
        --inLeft;
    }
    return text;
}
