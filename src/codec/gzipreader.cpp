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
        if (m_memberEnded) {
            // A file of several members (gzip's concatenation) goes on with the next; anything else
            // after the end is not read.
            m_memberEnded = false;
            if (z.avail_in < 2 || !StartsAsGzip({ z.next_in, qsizetype(z.avail_in) }) || inflateReset(&z) != Z_OK) {
                m_stopped = true;
                break;
            }
        }
        z.next_out = plain.data();
        z.avail_out = PlainChunk;
        const int result = inflate(&z, Z_NO_FLUSH);
        outputFull = z.avail_out == 0;
        const qsizetype produced = qsizetype(PlainChunk - z.avail_out);
        if (result != Z_OK && result != Z_STREAM_END && result != Z_BUF_ERROR) {
            m_broken = true;
            m_stopped = true;
        }
        if (produced > 0 && !take({ reinterpret_cast<const char*>(plain.data()), produced }))
            m_stopped = true;
        m_memberEnded = result == Z_STREAM_END;
        if (result == Z_BUF_ERROR)
            break; // it wants more input
    }
    z.next_in = nullptr;
    z.avail_in = 0;
    return !m_stopped;
}
