#pragma once
// Qt's own texts in Japanese: the standard buttons of message boxes ("キャンセル"), the text boxes'
// context menus and the folder views, so that nothing English stands beside the window's captions.
// The catalogue comes from the system's Qt translations (Debian: qt6-translations-l10n).

class QCoreApplication;

// Installs Qt's Japanese catalogue into app; false when the system has none.
bool LoadQtTranslations(QCoreApplication& app);
