#pragma once
// bytes packed as one gzip file, as a server keeps a .gz file.

#include <QByteArray>

QByteArray Gzipped(const QByteArray& bytes);
