#pragma once
// The options of the list pages of a folder's files or images: the pages' name, the extensions
// listed, the sub-folders, and how many files a page holds.

#include "cli/argumentreader.h"

// The options that take the next argument as their value; every other "--" argument is a switch.
extern const QStringList ListValueOptions;

// Reads the options of a folder's list, of images when images; false when one is unknown or its
// value is refused.
bool ReadListOptions(ArgumentReader& r, bool images);
