#pragma once
// What every dialog works with: the settings store it loads from and saves to, the crawl state
// whose stop flag tells the main window whether a crawl is to start, and the shared folder picker.

class SettingsStore;
struct CrawlState;
class DirDialog;

struct DialogEnvironment {
    SettingsStore& settings;
    CrawlState& crawl;
    DirDialog& folderPicker;
};
