#pragma once
// What a drop onto the window carries when it is a web address to start a new download with: a
// link dragged from a browser, or text that is one address.

#include <QString>

class QMimeData;

// The http or https address the drop carries; empty when it carries none.
QString DroppedAddress(const QMimeData* mime);
