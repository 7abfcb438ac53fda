#pragma once

#include <QIcon>
#include <QString>
#include <QUrl>

class QApplication;
class QCoreApplication;

namespace Startup {

// The shop page the logo opens. A reserved placeholder domain until there is a real shop.
inline const QUrl kShopUrl{QStringLiteral("https://shop.example.com/quorlin")};

// The skin's path: the program's folder, a forward slash, "1.she".
QString skinPath(const QString &programDir);

// Applies "1.she" from the program's folder as a style sheet when it exists and can be
// read; otherwise does nothing. Returns whether a skin was applied.
bool applySkin(QApplication &app, const QString &programDir);

// Qt's own texts (message box buttons, text-box context menus) in Simplified Chinese, like
// the rest of the window: installs Qt's translation from its translations folder. Where
// it is missing Qt's English texts stay. Returns whether it was installed.
bool installQtTranslation(QCoreApplication &app);

// The two send buttons ask for SimSun; where it is missing a CJK serif stands in.
void prepareFonts();

// The window's icon at 16, 32 and 48 pixels.
QIcon windowIcon();

} // namespace Startup
