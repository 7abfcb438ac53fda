#include "startup.h"

#include <QApplication>
#include <QFile>
#include <QFont>
#include <QLibraryInfo>
#include <QTranslator>

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

bool installQtTranslation(QCoreApplication &app)
{
    auto *translator = new QTranslator(&app);
    if (!translator->load(QStringLiteral("qtbase_zh_CN"),
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath)) ||
        !QCoreApplication::installTranslator(translator)) {
        delete translator;
        return false;
    }
    return true;
}

void prepareFonts()
{
    static bool done = false;
    if (done)
        return;
    done = true;
    QFont::insertSubstitutions(QStringLiteral("SimSun"), {QStringLiteral("Noto Serif CJK SC"),
                                                          QStringLiteral("Noto Sans CJK SC")});
    QFont::insertSubstitutions(QStringLiteral("宋体"), {QStringLiteral("SimSun")});
}

QIcon windowIcon()
{
    QIcon icon;
    for (int size : {16, 32, 48})
        icon.addFile(QStringLiteral(":/icons/quorlin-%1.png").arg(size), QSize(size, size));
    return icon;
}

} // namespace Startup
