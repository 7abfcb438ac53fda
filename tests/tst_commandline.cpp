// The command line of both programs: --help and --version answer (with no display for the
// console), unknown options and stray arguments end with the usage and status 2, Qt's own
// options still reach Qt, and starting with no option runs the program as before; without
// a font for Chinese the console says so in one line and opens its window all the same.
#include "commandline.h"
#include "quorlinversion.h"

#include <QCommandLineParser>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

namespace {

enum class Program
{
    Console,
    Simulator
};

QString path(Program program)
{
    return program == Program::Console ? QStringLiteral(QUORLIN_PROGRAM)
                                       : QStringLiteral(QUORLIN_SIM_PROGRAM);
}

// An environment with no window system at all: no X display, no Wayland, no platform.
QProcessEnvironment noDisplay()
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("DISPLAY"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    return env;
}

} // namespace

class TstCommandLine : public QObject
{
    Q_OBJECT
private slots:
    void parse_data();
    void parse();
    void programAnswers_data();
    void programAnswers();
    void noOptionStartsAsBefore_data();
    void noOptionStartsAsBefore();
};

void TstCommandLine::parse_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("action");
    QTest::addColumn<QString>("error"); // a part of the error text, for Refuse

    const int run = int(CommandLine::Action::Run);
    const int help = int(CommandLine::Action::ShowHelp);
    const int version = int(CommandLine::Action::ShowVersion);
    const int refuse = int(CommandLine::Action::Refuse);
    QTest::newRow("nothing: start as usual") << QStringList{} << run << QString();
    QTest::newRow("-h") << QStringList{"-h"} << help << QString();
    QTest::newRow("--help") << QStringList{"--help"} << help << QString();
    QTest::newRow("-?") << QStringList{"-?"} << help << QString();
    QTest::newRow("-v") << QStringList{"-v"} << version << QString();
    QTest::newRow("--version") << QStringList{"--version"} << version << QString();
    QTest::newRow("help wins over version")
        << QStringList{"--version", "--help"} << help << QString();
    QTest::newRow("unknown long option")
        << QStringList{"--bogus"} << refuse << QStringLiteral("'bogus'");
    QTest::newRow("unknown single letter") << QStringList{"-x"} << refuse << QStringLiteral("'x'");
    QTest::newRow("unknown option beside --help")
        << QStringList{"--help", "--bogus"} << refuse << QStringLiteral("'bogus'");
    QTest::newRow("stray argument") << QStringList{"COM3"} << refuse << QStringLiteral("'COM3'");
    QTest::newRow("Qt's -platform with its value")
        << QStringList{"-platform", "offscreen"} << run << QString();
    QTest::newRow("Qt's --platform=value")
        << QStringList{"--platform=offscreen"} << run << QString();
    QTest::newRow("Qt's -style=value") << QStringList{"-style=fusion"} << run << QString();
    QTest::newRow("Qt's -display with its value")
        << QStringList{"-display", ":0"} << run << QString();
    QTest::newRow("Qt's -reverse flag") << QStringList{"-reverse"} << run << QString();
    QTest::newRow("Qt's -platform without its value")
        << QStringList{"-platform"} << refuse << QStringLiteral("platform");
    QTest::newRow("Qt's option, then an unknown one")
        << QStringList{"-platform", "offscreen", "--bogus"} << refuse << QStringLiteral("'bogus'");
}

void TstCommandLine::parse()
{
    QFETCH(QStringList, args);
    QFETCH(int, action);
    QFETCH(QString, error);
    QCommandLineParser parser;
    CommandLine::addQtGuiOptions(parser);
    const CommandLine::Outcome outcome =
        CommandLine::parse(parser, QStringList{QStringLiteral("/usr/bin/quorlin")} + args);
    QCOMPARE(int(outcome.action), action);
    if (action == int(CommandLine::Action::Refuse))
        QVERIFY2(outcome.error.contains(error),
                 qPrintable(QStringLiteral("error text: ") + outcome.error));
    // Qt's own options never show in the help.
    const QString help = CommandLine::helpText(parser, QStringLiteral("/usr/bin/quorlin"));
    QVERIFY2(help.startsWith(QStringLiteral("Usage: quorlin [options]")), qPrintable(help));
    QVERIFY2(!help.contains(QStringLiteral("platform")), qPrintable(help));
}

void TstCommandLine::programAnswers_data()
{
    QTest::addColumn<Program>("program");
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("out"); // a pattern stdout must match in full ("" : empty)
    QTest::addColumn<QString>("err"); // a pattern stderr must match in full ("" : empty)

    const QString version = QRegularExpression::escape(QStringLiteral(QUORLIN_VERSION));
    const QString consoleHelp =
        QStringLiteral("Usage: quorlin \\[options\\]\\n.*Qt's own options \\(-platform, -style, "
                       "[^\\n]*\\) pass through to Qt\\.\\n.*-h, -\\?, --help.*-v, --version.*");
    const QString simHelp =
        QStringLiteral("Usage: quorlin-sim \\[options\\]\\n.*--speed <factor>.*--no-announce.*"
                       "--quiet.*-v, --version.*");

    QTest::newRow("quorlin --help, no display")
        << Program::Console << QStringList{"--help"} << 0 << consoleHelp << QString();
    QTest::newRow("quorlin -h, no display")
        << Program::Console << QStringList{"-h"} << 0 << consoleHelp << QString();
    QTest::newRow("quorlin --version, no display")
        << Program::Console << QStringList{"--version"} << 0
        << QStringLiteral("quorlin %1\\n").arg(version) << QString();
    QTest::newRow("quorlin -v, no display")
        << Program::Console << QStringList{"-v"} << 0
        << QStringLiteral("quorlin %1\\n").arg(version) << QString();
    QTest::newRow("quorlin --bogus: usage, status 2")
        << Program::Console << QStringList{"--bogus"} << 2 << QString()
        << QStringLiteral("quorlin: Unknown option 'bogus'\\.\\n\\n") + consoleHelp;
    QTest::newRow("quorlin with a stray argument: usage, status 2")
        << Program::Console << QStringList{"/dev/ttyUSB0"} << 2 << QString()
        << QStringLiteral("quorlin: Unexpected argument '/dev/ttyUSB0'\\.\\n\\n") + consoleHelp;
    QTest::newRow("quorlin -platform offscreen --version")
        << Program::Console << QStringList{"-platform", "offscreen", "--version"} << 0
        << QStringLiteral("quorlin %1\\n").arg(version) << QString();

    QTest::newRow("quorlin-sim --help")
        << Program::Simulator << QStringList{"--help"} << 0 << simHelp << QString();
    QTest::newRow("quorlin-sim --version")
        << Program::Simulator << QStringList{"--version"} << 0
        << QStringLiteral("quorlin-sim %1\\n").arg(version) << QString();
    QTest::newRow("quorlin-sim --bogus: usage, status 2")
        << Program::Simulator << QStringList{"--bogus"} << 2 << QString()
        << QStringLiteral("quorlin-sim: Unknown option 'bogus'\\.\\n\\n") + simHelp;
    QTest::newRow("quorlin-sim --speed without its value: usage, status 2")
        << Program::Simulator << QStringList{"--speed"} << 2 << QString()
        << QStringLiteral("quorlin-sim: Missing value after '--speed'\\.\\n\\n") + simHelp;
    QTest::newRow("quorlin-sim with a stray argument: usage, status 2")
        << Program::Simulator << QStringList{"fast"} << 2 << QString()
        << QStringLiteral("quorlin-sim: Unexpected argument 'fast'\\.\\n\\n") + simHelp;
    QTest::newRow("quorlin-sim --speed out of range: status 2")
        << Program::Simulator << QStringList{"--speed", "0"} << 2 << QString()
        << QStringLiteral("quorlin-sim: --speed wants a number from 0.001 to 1000000\\n");
}

void TstCommandLine::programAnswers()
{
    QFETCH(Program, program);
    QFETCH(QStringList, args);
    QFETCH(int, status);
    QFETCH(QString, out);
    QFETCH(QString, err);

    QProcess process;
    process.setProcessEnvironment(noDisplay());
    process.start(path(program), args);
    QVERIFY2(process.waitForStarted(5000), qPrintable(process.errorString()));
    if (!process.waitForFinished(10000)) {
        process.kill();
        process.waitForFinished(2000);
        QFAIL("the program did not end within 10 s");
    }
    const QString stdOut = QString::fromLocal8Bit(process.readAllStandardOutput());
    const QString stdErr = QString::fromLocal8Bit(process.readAllStandardError());
    const QString shown = QStringLiteral("status %1\n--- stdout:\n%2--- stderr:\n%3")
                              .arg(process.exitCode())
                              .arg(stdOut, stdErr);
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QVERIFY2(process.exitCode() == status, qPrintable(shown));
    const auto matches = [](const QString &pattern, const QString &text) {
        if (pattern.isEmpty())
            return text.isEmpty();
        const QRegularExpression re(QRegularExpression::anchoredPattern(pattern),
                                    QRegularExpression::DotMatchesEverythingOption);
        return re.match(text).hasMatch();
    };
    QVERIFY2(matches(out, stdOut), qPrintable(shown));
    QVERIFY2(matches(err, stdErr), qPrintable(shown));
}

void TstCommandLine::noOptionStartsAsBefore_data()
{
    QTest::addColumn<Program>("program");
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("platform"); // QT_QPA_PLATFORM, "" for none
    QTest::addColumn<bool>("fonts");       // false: fontconfig finds no font at all
    QTest::addColumn<int>("fontLines");    // lines naming the CJK font packages on stderr

    QTest::newRow("quorlin, offscreen")
        << Program::Console << QStringList{} << QStringLiteral("offscreen") << true << 0;
    QTest::newRow("quorlin -platform offscreen reaches Qt")
        << Program::Console << QStringList{"-platform", "offscreen"} << QString() << true << 0;
    QTest::newRow("quorlin without a CJK font: one line names the packages, the window opens")
        << Program::Console << QStringList{} << QStringLiteral("offscreen") << false << 1;
    QTest::newRow("quorlin-sim --quiet --no-announce")
        << Program::Simulator << QStringList{"--quiet", "--no-announce"} << QString() << true
        << 0;
    QTest::newRow("quorlin-sim --quiet, announced")
        << Program::Simulator << QStringList{"--quiet"} << QString() << true << 0;
}

void TstCommandLine::noOptionStartsAsBefore()
{
    QFETCH(Program, program);
    QFETCH(QStringList, args);
    QFETCH(QString, platform);
    QFETCH(bool, fonts);
    QFETCH(int, fontLines);

    // Started as after su, sudo or over ssh: no runtime folder, so the registry of simulated
    // modules falls back to the temporary folder (one of the test's own).
    QProcessEnvironment env = noDisplay();
    if (!platform.isEmpty())
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), platform);
    QTemporaryDir tmp;
    QVERIFY(tmp.isValid());
    env.remove(QStringLiteral("XDG_RUNTIME_DIR"));
    env.remove(QStringLiteral("QUORLIN_SIM_DIR"));
    env.insert(QStringLiteral("TMPDIR"), tmp.path());
    QTemporaryDir fontConfig;
    if (!fonts) {
        // A fontconfig set-up whose only font folder is empty.
        QVERIFY(fontConfig.isValid() && QDir(fontConfig.path()).mkdir(QStringLiteral("fonts")));
        QFile file(fontConfig.filePath(QStringLiteral("fonts.conf")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QStringLiteral("<?xml version=\"1.0\"?>\n<fontconfig><dir>%1</dir>"
                                  "<cachedir>%2</cachedir></fontconfig>\n")
                       .arg(fontConfig.filePath(QStringLiteral("fonts")),
                            fontConfig.filePath(QStringLiteral("cache")))
                       .toUtf8());
        file.close();
        env.insert(QStringLiteral("FONTCONFIG_FILE"), file.fileName());
    }
    QProcess process;
    process.setProcessEnvironment(env);
    process.setReadChannel(QProcess::StandardError);
    process.start(path(program), args);
    QVERIFY2(process.waitForStarted(5000), qPrintable(process.errorString()));
    // It runs until it is told to stop: it must still be running a while later.
    const bool ended = process.waitForFinished(1500);
    QString stdErr = QString::fromLocal8Bit(process.readAllStandardError());
    if (ended)
        QFAIL(qPrintable(QStringLiteral("it ended at once with status %1: %2")
                             .arg(process.exitCode())
                             .arg(stdErr)));
    if (program == Program::Simulator)
        QVERIFY2(QString::fromLocal8Bit(process.readAllStandardOutput()).startsWith("/dev/"),
                 "the simulator did not print its port's path first");
    // The font line is printed at start; on a busy machine it may come after the wait above.
    const QRegularExpression fontLine(
        QStringLiteral("^quorlin: [^\n]*font[^\n]*: install fonts-noto-cjk, fonts-wqy-microhei "
                       "or fonts-droid-fallback[^\n]*\n"),
        QRegularExpression::MultilineOption);
    const QDeadlineTimer deadline(10000);
    while (fontLines > 0 && !stdErr.contains(fontLine) && !deadline.hasExpired() &&
           process.state() == QProcess::Running) {
        process.waitForReadyRead(200);
        stdErr += QString::fromLocal8Bit(process.readAllStandardError());
    }
    process.terminate();
    if (!process.waitForFinished(5000)) {
        process.kill();
        process.waitForFinished(2000);
    }
    QVERIFY2(!stdErr.contains(QStringLiteral("Usage:")), qPrintable(stdErr));
    // It starts quietly: no word about the missing runtime folder.
    QVERIFY2(!stdErr.contains(QStringLiteral("XDG_RUNTIME_DIR")) &&
                 !stdErr.contains(QStringLiteral("QStandardPaths")),
             qPrintable(stdErr));
    QVERIFY2(stdErr.count(fontLine) == fontLines,
             qPrintable(QStringLiteral("waited for %1 line(s) naming the CJK font packages; "
                                       "stderr:\n%2")
                            .arg(fontLines)
                            .arg(stdErr)));
}

QTEST_GUILESS_MAIN(TstCommandLine)
#include "tst_commandline.moc"
