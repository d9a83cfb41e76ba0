#include "storage/downloadfile.h"

#include "storage/localpath.h"

void DownloadFile::start(const QString& path)
{
    close();
    m_path = path;
}

IoStatus DownloadFile::open()
{
    if (m_file.isOpen())
        return IoStatus::success();
    m_file.setFileName(m_path);
    constexpr auto mode = QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered;
    if (m_file.open(mode))
        return IoStatus::success();
    // Folders are made only when the file cannot be opened without them, so a file in a folder
    // that exists costs one open and no look-ups.
    MakeFolders(m_path);
    if (m_file.open(mode))
        return IoStatus::success();
    return IoStatus::failure(m_path, m_file.errorString());
}

IoStatus DownloadFile::write(QByteArrayView bytes)
{
    if (bytes.isEmpty())
        return IoStatus::success();
    IoStatus status = open();
    if (!status)
        return status;
    if (m_file.write(bytes.data(), bytes.size()) != bytes.size())
        return IoStatus::failure(m_path, m_file.errorString());
    return status;
}

IoStatus DownloadFile::truncate()
{
    IoStatus status = open();
    if (status && !m_file.resize(0))
        status = IoStatus::failure(m_path, m_file.errorString());
    return status;
}

void DownloadFile::close()
{
    m_file.close();
}
