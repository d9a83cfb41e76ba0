#pragma once
// Undoes gzip (RFC 1952), piece by piece as the bytes arrive, so a compressed file is never held
// whole and a small file that unpacks to gigabytes is stopped as soon as the reader has enough.
//   GzipReader gzip;
//   gzip.add(piece, [](QByteArrayView plain) { ...; return true; });  // false: no more wanted

#include <QByteArrayView>
#include <functional>
#include <memory>

// The two bytes every gzip file starts with.
bool StartsAsGzip(QByteArrayView bytes);

class GzipReader {
public:
    GzipReader();
    ~GzipReader();
    GzipReader(const GzipReader&) = delete;
    GzipReader& operator=(const GzipReader&) = delete;

    // Unpacks piece and hands the plain bytes to take, a few kilobytes at a time; take returns false
    // when it wants no more. False once the reader has stopped: take had enough, the data is broken,
    // or what followed the end of a member was not another member (several members, gzip's
    // concatenation, are read as one file).
    bool add(QByteArrayView piece, const std::function<bool(QByteArrayView)>& take);
    // Whether what was added is broken (not gzip, or a damaged stream).
    bool broken() const { return m_broken; }

private:
    struct Stream;
    std::unique_ptr<Stream> m_stream;
    bool m_stopped = false;
    bool m_betweenMembers = false; // a member has ended and the next has given nothing yet
    bool m_broken = false;
};
