#pragma once
// What fetchwright-cli --help prints: the commands and options, each option's range and default as
// the window's rules and dialogs have them.

#include <QString>

QString HelpText();
