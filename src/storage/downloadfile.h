#pragma once
// The one place where a download's bytes reach disk: the temporary file that takes the real name
// once the body is whole (see partfile.h). The crawl opens it empty when the record is planned
// (its folders made then, when missing) and keeps it open across the pieces of a ranged transfer;
// every piece is one unbuffered write, with no copy of its own. Every write, truncation and close
// tells whether it worked: a body that failed must never replace a file.
//   DownloadFile file;
//   file.start(PartFilePath(localPath));
//   if (!file.truncate()) ...       // when the record is planned
//   if (!file.write(piece)) ...     // as the bytes arrive
//   if (!file.close()) ...          // before the file is committed, deleted or started afresh

#include "platform/filesystem.h"

#include <QByteArrayView>
#include <QFile>
#include <QString>

class DownloadFile {
public:
    // Names the file the next bytes go to, closing the one before; nothing is opened yet.
    void start(const QString& path);
    // Appends bytes to the file, creating it and its folders first when needed.
    IoStatus write(QByteArrayView bytes);
    // Empties the file (creating it): the transfer starts again from the first byte.
    IoStatus truncate();
    // Closes the file; a failed flush or close is reported as a failed write would be.
    IoStatus close();
    const QString& path() const { return m_path; }

private:
    IoStatus open(QIODevice::OpenMode extra);

    QString m_path;
    QFile m_file;
};
