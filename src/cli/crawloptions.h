#pragma once
// The options of a new crawl and of a resumed one: what the crawl fetches, how it uses the network
// and which links it looks for, read into the settings the window's crawl dialogs store.

#include "cli/argumentreader.h"

// The options that take the next argument as their value; every other "--" argument is a switch.
extern const QStringList CrawlValueOptions;
extern const QStringList ResumeValueOptions;

// Read the options of each command, in order; false when one is unknown or its value is refused.
bool ReadCrawlOptions(ArgumentReader& r);
bool ReadResumeOptions(ArgumentReader& r);
