#pragma once
// The two names under which every setting is stored; ProductName also prefixes the record files
// and is the main window's caption when idle.

#include <QString>

inline const QString MakerName = QStringLiteral("Quillmark");
inline const QString ProductName = QStringLiteral("Fetchwright");
