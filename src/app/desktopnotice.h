#pragma once
// How the end of a crawl is told while the window is in the background: a message from the
// desktop's tray where the desktop shows them, and the taskbar entry asking for attention.

#include <QString>

class QWidget;

// Shows text on the desktop for window; clicking the message brings the window to the front.
void NotifyOnDesktop(QWidget* window, const QString& text);
