#include "storage/downloadfile.h"

#include "storage/localpath.h"

void DownloadFile::start(const QString& path)
{
    // A file still open here was given up by its caller (a body is closed and checked before it
    // is committed), so how it closes tells nothing.
    m_file.close();
    m_path = path;
}

IoStatus DownloadFile::open(QIODevice::OpenMode extra)
{
    if (m_file.isOpen())
        return IoStatus::success();
    m_file.setFileName(m_path);
    // An emptied file is written from its start: appending would cost a look at its size.
    const QIODevice::OpenMode mode = QIODevice::WriteOnly | QIODevice::Unbuffered | extra
        | (extra & QIODevice::Truncate ? QIODevice::NotOpen : QIODevice::Append);
    if (m_file.open(mode))
        return IoStatus::success();
    // Folders are made only when the file cannot be opened without them, so a file in a folder
    // that exists costs one open and no look-ups.
    MakeFolders(m_path);
    if (m_file.open(mode))
        return IoStatus::success();
    return FileFailure(m_file, m_path);
}

IoStatus DownloadFile::write(QByteArrayView bytes)
{
    if (bytes.isEmpty())
        return IoStatus::success();
    const IoStatus status = open({});
    if (!status)
        return status;
    return WriteFully(m_file, m_path, bytes);
}

IoStatus DownloadFile::truncate()
{
    // A file not open yet is emptied as it opens. It is the body's temporary file, kept out of a
    // user's sight where the system marks hidden files.
    if (!m_file.isOpen()) {
        const IoStatus status = open(QIODevice::Truncate);
        if (status)
            MarkHidden(m_path, true);
        return status;
    }
    if (!m_file.resize(0))
        return FileFailure(m_file, m_path);
    return IoStatus::success();
}

IoStatus DownloadFile::close()
{
    if (!m_file.isOpen())
        return IoStatus::success();
    m_file.close();
    // A close that failed leaves its error; one that succeeded clears it.
    if (m_file.error() != QFileDevice::NoError)
        return FileFailure(m_file, m_path);
    return IoStatus::success();
}
