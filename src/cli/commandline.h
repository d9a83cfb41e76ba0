#pragma once
// The command line of fetchwright-cli, read into settings to store and an action to take. Every
// input is checked before anything is stored, with the messages the dialogs give, so a rejected
// command line changes no file and no setting. Every value but a credential is taken without blanks
// and line breaks around it, and numbers are read by the rules the dialogs' boxes follow.
//   fetchwright-cli crawl http://example.org/ ~/sites --depth 2 --exts ".gif;.jpg"

#include <QList>
#include <QString>
#include <QStringList>
#include <utility>

struct Command {
    enum Kind { Help, Crawl, Resume, ListDownloads, ListDir, ListImages, Invalid };
    Kind kind = Invalid;
    QString address; // crawl: the top address; resume: the site to pick (may be empty)
    QString folder; // crawl and resume: the save folder (with its final separator); lists: the folder
    QList<std::pair<QString, QString>> settings; // key, value, in the order the dialogs store them
    bool createFolder = false; // the save folder is missing and is to be created
    bool yes = false; // answer OK to the resume-list question
    bool noOpen = false; // write list pages without opening them
    QString error; // why the command line was refused
};

// args without the program name.
Command ParseCommandLine(const QStringList& args);
