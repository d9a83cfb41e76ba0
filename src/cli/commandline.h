#pragma once
// The command line of fetchwright-cli, read into settings to store and an action to take. Every
// input is checked before anything is stored, with the messages the dialogs give, so a rejected
// command line changes no file and no setting. Every value but a credential is taken without blanks
// and line breaks around it, and numbers are read by the rules the dialogs' boxes follow.
//   fetchwright-cli crawl http://example.org/ ~/sites --depth 2 --exts ".gif;.jpg"

#include "cli/command.h"

#include <QStringList>

// args without the program name.
Command ParseCommandLine(const QStringList& args);
