#include "startup.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFile>

namespace Startup {

QString skinPath(const QString &programDir)
{
    return programDir + QStringLiteral("/1.she");
}

bool applySkin(QApplication &app, const QString &programDir)
{
    QFile file(skinPath(programDir));
    if (!file.open(QIODevice::ReadOnly))
        return false;
    app.setStyleSheet(QString::fromUtf8(file.readAll()));
    return true;
}

void openShop()
{
    QDesktopServices::openUrl(kShopUrl);
}

} // namespace Startup
