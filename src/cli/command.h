#pragma once
// What a command line of fetchwright-cli asks for: the action, its address and folder, and the
// settings to store before it runs, or why the command line was refused.

#include <QList>
#include <QString>
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
