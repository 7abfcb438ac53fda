#include "startup.h"

#include "accessibility.h"
#include "contextmenukey.h"
#include "detailbuttontexts.h"
#ifdef QUORLIN_X11_COPY
#include "largecopyserver.h"
#endif

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFont>
#include <QFontDatabase>
#include <QLibraryInfo>
#include <QTranslator>

namespace Startup {

QString skinPath(const QString &programDir)
{
    return programDir + QStringLiteral("/1.she");
}

QStringList skinFolders(const QString &programDir)
{
    // The data folder is found from the program's own, as installed: a package installs
    // under /usr while the build was configured for /usr/local.
    return {programDir,
            QDir::cleanPath(programDir + QStringLiteral("/" QUORLIN_DATA_FROM_PROGRAM))};
}

bool applySkin(QApplication &app, const QString &programDir)
{
    for (const QString &folder : skinFolders(programDir)) {
        QFile file(skinPath(folder));
        if (file.open(QIODevice::ReadOnly)) {
            app.setStyleSheet(QString::fromUtf8(file.readAll()));
            return true;
        }
    }
    return false;
}

QString missingChineseFontWarning()
{
    if (!QFontDatabase::families(QFontDatabase::SimplifiedChinese).isEmpty())
        return {};
    return QStringLiteral("no installed font can draw Chinese text, so the window's captions "
                          "show as boxes: install fonts-noto-cjk, fonts-wqy-microhei or "
                          "fonts-droid-fallback (or another CJK font)");
}

bool installQtTranslation(QCoreApplication &app)
{
    auto *translator = new QTranslator(&app);
    const bool installed = translator->load(QStringLiteral("qtbase_zh_CN"),
                                            QLibraryInfo::path(QLibraryInfo::TranslationsPath)) &&
                           QCoreApplication::installTranslator(translator);
    if (!installed)
        delete translator;
    // Installed last, so asked first: its two texts win over the translation's own.
    DetailButtonTexts::install();
    return installed;
}

void prepareProcess()
{
    static bool done = false;
    if (done)
        return;
    done = true;
    QFont::insertSubstitutions(QStringLiteral("SimSun"), {QStringLiteral("Noto Serif CJK SC"),
                                                          QStringLiteral("Noto Sans CJK SC")});
    QFont::insertSubstitutions(QStringLiteral("宋体"), {QStringLiteral("SimSun")});
    Accessibility::install();
    if (QCoreApplication *app = QCoreApplication::instance())
        app->installEventFilter(new ContextMenuKey(app));
#ifdef QUORLIN_X11_COPY
    LargeCopyServer::install();
#endif
}

QIcon windowIcon()
{
    QIcon icon;
    for (int size : {16, 32, 48})
        icon.addFile(QStringLiteral(":/icons/quorlin-%1.png").arg(size), QSize(size, size));
    return icon;
}

} // namespace Startup
