#pragma once

#include <QString>
#include <QStringList>

class QCommandLineParser;

// The command line both programs share: --help and --version, and a clear refusal of
// anything they do not know. The parse needs no application object, so a window program
// can answer --help and --version before it reaches the window system.
namespace CommandLine {

enum class Action
{
    Run,         // no option asks to stop: start as usual
    ShowHelp,    // -h, -?, --help
    ShowVersion, // -v, --version
    Refuse,      // an unknown option, a missing value or an argument nobody takes
};

struct Outcome
{
    Action action = Action::Run;
    QString error; // what was wrong, for Refuse
};

// Exit status for a command line the program cannot use, as the shell's own tools use it.
constexpr int kUsageError = 2;

// The options Qt's GUI start-up reads from the command line itself (-platform, -style,
// -display, ...), hidden from the help. A window program adds them so that its parse, which
// runs before the window system is reached, accepts them; Qt takes them off afterwards.
void addQtGuiOptions(QCommandLineParser &parser);

// The program's arguments, its own path first, as the system passed them.
QStringList arguments(int argc, char *argv[]);

// Reads the arguments (the program's path first). Adds --help and --version to the parser.
// Neither program takes positional arguments.
Outcome parse(QCommandLineParser &parser, const QStringList &arguments);

// The help, with the usage line naming the program.
QString helpText(const QCommandLineParser &parser, const QString &program);

// Prints what the outcome asks for: the help or the version on standard output, or the
// error and the usage on standard error. Returns the exit status (0, or kUsageError), or
// -1 when the program should go on and run.
int report(const QCommandLineParser &parser, const Outcome &outcome, const QString &program);

// parse() then report(), for main(): the exit status, or -1 to run.
int handle(QCommandLineParser &parser, const QStringList &arguments);

} // namespace CommandLine
