#include "codec/gzipreader.h"

#include <zlib.h>

#include <array>

namespace {

// Plain bytes handed on at a time: bounds what one call may unpack before take is asked.
constexpr uInt PlainChunk = 64 * 1024;

} // namespace

struct GzipReader::Stream {
    z_stream z {};
    bool open = false;
};

bool StartsAsGzip(QByteArrayView bytes)
{
    return bytes.size() >= 2 && uchar(bytes[0]) == 0x1f && uchar(bytes[1]) == 0x8b;
}

GzipReader::GzipReader()
    : m_stream(std::make_unique<Stream>())
{
    // 16 over the window bits: a gzip header and trailer, whose CRC is checked.
    m_stream->open = inflateInit2(&m_stream->z, 16 + MAX_WBITS) == Z_OK;
    m_broken = !m_stream->open;
    m_stopped = m_broken;
}

GzipReader::~GzipReader()
{
    if (m_stream->open)
        inflateEnd(&m_stream->z);
}

bool GzipReader::add(QByteArrayView piece, const std::function<bool(QByteArrayView)>& take)
{
    z_stream& z = m_stream->z;
    std::array<Bytef, PlainChunk> plain;
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(piece.data()));
    z.avail_in = uInt(piece.size());
    bool outputFull = false;
    while (!m_stopped && (z.avail_in > 0 || outputFull)) {
        z.next_out = plain.data();
        z.avail_out = PlainChunk;
        const int result = inflate(&z, Z_NO_FLUSH);
        outputFull = z.avail_out == 0;
        const qsizetype produced = qsizetype(PlainChunk - z.avail_out);
        if (result != Z_OK && result != Z_STREAM_END && result != Z_BUF_ERROR) {
            // After a member's end, bytes that start no other member end the file (as gzip takes
            // them), rather than breaking it.
            m_broken = !m_betweenMembers;
            m_stopped = true;
        }
        if (produced > 0) {
            m_betweenMembers = false;
            if (!take({ reinterpret_cast<const char*>(plain.data()), produced }))
                m_stopped = true;
        }
        if (result == Z_STREAM_END) {
            // A file of several members (gzip's concatenation) goes on with the next.
            m_betweenMembers = true;
            if (inflateReset(&z) != Z_OK)
                m_stopped = true;
        }
        if (result == Z_BUF_ERROR)
            break; // it wants more input
    }
    z.next_in = nullptr;
    z.avail_in = 0;
    return !m_stopped;
}
