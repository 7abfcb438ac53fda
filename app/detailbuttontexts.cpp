#include "detailbuttontexts.h"

#include <QCoreApplication>

#include <cstring>

void DetailButtonTexts::install()
{
    static bool installed = false;
    if (installed || !QCoreApplication::instance())
        return;
    installed = true;
    QCoreApplication::installTranslator(new DetailButtonTexts(QCoreApplication::instance()));
}

QString DetailButtonTexts::translate(const char *context, const char *sourceText,
                                     const char *disambiguation, int n) const
{
    Q_UNUSED(disambiguation);
    Q_UNUSED(n);
    if (!context || !sourceText || std::strcmp(context, "QMessageBox") != 0)
        return QString();
    if (std::strcmp(sourceText, "Show Details...") == 0)
        return QStringLiteral("显示详细信息…");
    if (std::strcmp(sourceText, "Hide Details...") == 0)
        return QStringLiteral("隐藏详细信息…");
    return QString();
}
