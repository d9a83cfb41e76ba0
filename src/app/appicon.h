#pragma once
// The program's own icon for its windows, in every size the window system asks for.

#include <QIcon>

QIcon AppIcon();
