#pragma once

#include "quorlinrelease.h"

#include <QIcon>
#include <QString>
#include <QStringList>
#include <QUrl>

class QApplication;
class QCoreApplication;

namespace Startup {

// The shop page the logo opens (packaging/release.cmake).
inline const QUrl kShopUrl{QStringLiteral(QUORLIN_RELEASE_SHOP_URL)};

// The skin's path in a folder: the folder, a forward slash, "1.she".
QString skinPath(const QString &programDir);

// The folders the skin is looked for in, in turn: the program's folder, then the data
// folder of an installed program (/usr/share/quorlin for /usr/bin/quorlin).
QStringList skinFolders(const QString &programDir);

// Applies the first "1.she" of skinFolders() that exists and can be read as a style sheet;
// otherwise does nothing. Returns whether a skin was applied.
bool applySkin(QApplication &app, const QString &programDir);

// Qt's own texts (message box buttons, text-box context menus) in Simplified Chinese, like
// the rest of the window: installs Qt's translation from its translations folder, and over
// it the message boxes' details button texts. Where the translation is missing Qt's English
// texts stay (but for that button). Returns whether the translation was installed.
bool installQtTranslation(QCoreApplication &app);

// One line for standard error when no installed font can draw Chinese text, so that the
// window's captions would show as empty boxes: it names the font packages to install.
// Empty when a font is there. Needs the application object.
QString missingChineseFontWarning();

// What the program sets up once, before its window is built: a CJK serif standing in for
// the SimSun the two send buttons ask for, what a screen reader is told of the window's
// controls, Shift+F10 for the context menu (ContextMenuKey), and, on X, the handover of
// large copies to other programs. Needs the
// application object; called by main and by the suites' window rig (later calls do
// nothing).
void prepareProcess();

// The window's icon at 16, 32 and 48 pixels.
QIcon windowIcon();

} // namespace Startup
