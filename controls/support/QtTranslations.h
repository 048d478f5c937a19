#pragma once
// Qt's own texts in Japanese, as the rest of the window: the file dialogs'
// labels and buttons ("ファイル名", "開く"...), the overwrite question, the
// standard buttons of boxes and button rows. Debian ships Qt's Japanese
// catalogue in qt6-translations-l10n (qtbase_ja.qm in Qt's translations
// folder); the program installs it at start-up whatever the desktop's
// language, since every other text of the program is Japanese.

class QTranslator;

// Loads qtbase_ja.qm from Qt's translations folder and installs it in the
// application (which owns it). Null, with Qt's texts left English, when
// the catalogue is not there.
//
// The file dialogs are Qt's own from then on, not the desktop's: only
// those speak the catalogue's language and match a filter's patterns
// whatever the letter case.
QTranslator* InstallQtTranslations();
