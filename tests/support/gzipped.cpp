#include "support/gzipped.h"

#include <zlib.h>

QByteArray Gzipped(const QByteArray& bytes)
{
    z_stream z {};
    // 16 over the window bits: a gzip header and trailer rather than zlib's.
    if (deflateInit2(&z, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 16 + MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        return {};
    QByteArray packed(qsizetype(deflateBound(&z, uLong(bytes.size()))), '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.constData()));
    z.avail_in = uInt(bytes.size());
    z.next_out = reinterpret_cast<Bytef*>(packed.data());
    z.avail_out = uInt(packed.size());
    const bool ended = deflate(&z, Z_FINISH) == Z_STREAM_END;
    packed.resize(qsizetype(z.total_out));
    deflateEnd(&z);
    return ended ? packed : QByteArray();
}
