#include "commandline.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFileInfo>
#include <QRegularExpression>

#include <cstdio>

namespace CommandLine {

namespace {

// What QGuiApplication, QApplication and the platform plugins take off the command line.
const char *const kQtValueOptions[] = {
    "platform",        "platformpluginpath",
    "platformtheme",   "plugin",
    "qwindowgeometry", "geometry",
    "qwindowtitle",    "title",
    "qwindowicon",     "icon",
    "display",         "name",
    "visual",          "session",
    "style",           "stylesheet",
    "qmljsdebugger",
};
const char *const kQtFlagOptions[] = {
    "reverse", "widgetcount", "nograb", "dograb", "sync", "testability",
};

void print(std::FILE *stream, const QString &text)
{
    const QByteArray bytes = text.toLocal8Bit();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
    std::fflush(stream);
}

} // namespace

void addQtGuiOptions(QCommandLineParser &parser)
{
    // Qt reads "-platform xcb" as one word with its value, so single-dash words are
    // whole option names here; -h and -v still work, being names of their own.
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    for (const char *name : kQtValueOptions) {
        QCommandLineOption option(QString::fromLatin1(name), QString(), QStringLiteral("value"));
        option.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(option);
    }
    for (const char *name : kQtFlagOptions) {
        QCommandLineOption option(QString::fromLatin1(name));
        option.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(option);
    }
}

QStringList arguments(int argc, char *argv[])
{
    QStringList list;
    for (int i = 0; i < argc; ++i)
        list.append(QString::fromLocal8Bit(argv[i]));
    return list;
}

Outcome parse(QCommandLineParser &parser, const QStringList &arguments)
{
    // Qt's own help option also offers --help-all with Qt's options; these programs keep
    // Qt's options out of sight, so their help is one list.
    parser.addOption(
        QCommandLineOption({QStringLiteral("h"), QStringLiteral("?"), QStringLiteral("help")},
                           QStringLiteral("Displays this help and exits.")));
    parser.addVersionOption();
    Outcome outcome;
    if (!parser.parse(arguments)) {
        outcome.action = Action::Refuse;
        outcome.error = parser.errorText();
        return outcome;
    }
    if (parser.isSet(QStringLiteral("help"))) {
        outcome.action = Action::ShowHelp;
        return outcome;
    }
    if (parser.isSet(QStringLiteral("version"))) {
        outcome.action = Action::ShowVersion;
        return outcome;
    }
    const QStringList extra = parser.positionalArguments();
    if (!extra.isEmpty()) {
        outcome.action = Action::Refuse;
        outcome.error = QStringLiteral("Unexpected argument '%1'.").arg(extra.first());
    }
    return outcome;
}

QString helpText(const QCommandLineParser &parser, const QString &program)
{
    // The usage line names the program as it is called, without its folder (and without an
    // application object Qt does not know the name at all).
    QString text = parser.helpText();
    static const QRegularExpression usage(QStringLiteral("^Usage: (\\S+)"));
    const QString name = QFileInfo(program).fileName();
    const QRegularExpressionMatch m = usage.match(text);
    if (m.hasMatch() && !name.isEmpty())
        text.replace(m.capturedStart(1), m.capturedLength(1), name);
    return text;
}

int report(const QCommandLineParser &parser, const Outcome &outcome, const QString &program)
{
    const QString name = QFileInfo(program).fileName();
    switch (outcome.action) {
    case Action::Run:
        return -1;
    case Action::ShowHelp:
        print(stdout, helpText(parser, program));
        return 0;
    case Action::ShowVersion:
        // "name version", the program named as it is called, as command-line tools do.
        print(stdout,
              name + QLatin1Char(' ') + QCoreApplication::applicationVersion() + QLatin1Char('\n'));
        return 0;
    case Action::Refuse:
        print(stderr, name + QStringLiteral(": ") + outcome.error + QStringLiteral("\n\n") +
                          helpText(parser, program));
        return kUsageError;
    }
    return -1;
}

int handle(QCommandLineParser &parser, const QStringList &arguments)
{
    const Outcome outcome = parse(parser, arguments);
    return report(parser, outcome, arguments.value(0));
}

} // namespace CommandLine
