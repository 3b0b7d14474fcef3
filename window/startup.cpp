// SPDX-License-Identifier: MIT
#include "window/startup.h"

#include "qtoptions.h"

#include "serial/portdevice.h"
#include "serial/portmessages.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace kestran::window {

namespace {

[[noreturn]] void usageError(const QString& problem)
{
    std::fprintf(stderr, "kestran: %s\nTry 'kestran --help'.\n", qPrintable(problem));
    std::exit(2);
}

bool haveDisplay(const QCommandLineParser& parser)
{
    return parser.isSet(QStringLiteral("platform")) ||
           !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") ||
           !qEnvironmentVariableIsEmpty("DISPLAY") ||
           !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}

QtMessageHandler qtHandler = nullptr;
QStringList startMessages; // what Qt said while its platform started

void onStartMessage(QtMsgType type, const QMessageLogContext& context, const QString& text)
{
    if (type != QtFatalMsg) {
        startMessages << text;
        return;
    }
    // Qt may try Wayland before X, so the X server's refusal need not come first.
    const QString platformTrouble = startMessages.value(0);
    const QByteArray display = qgetenv("DISPLAY");
    if (!startMessages.filter(QLatin1String("connect to display")).isEmpty())
        std::fprintf(stderr,
                     "kestran: cannot reach the display \"%s\"; start KESTRAN from a "
                     "desktop session.\n",
                     display.constData());
    else
        std::fprintf(stderr, "kestran: the display cannot be used: %s\n",
                     qPrintable((platformTrouble.isEmpty() ? text : platformTrouble).simplified()));
    Q_UNUSED(context);
    std::exit(1);
}

} // namespace

CommandLine readCommandLine(int argc, char** argv)
{
    QCoreApplication reading(argc, argv);
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.setApplicationDescription(
        QStringLiteral("Serial terminal for framed commands: type STX01DRS,02,0001CRLF "
                       "to send 0x02, 01DRS,02,0001, CR, LF."));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    const QCommandLineOption listPorts(QStringLiteral("list-ports"),
                                       QStringLiteral("List the serial ports on this computer."));
    const QCommandLineOption log(QStringLiteral("log"),
                                 QStringLiteral("Append a record of the session to FILE."),
                                 QStringLiteral("FILE"));
    parser.addOptions({listPorts, log});
    for (const char* name : qtOptionsWithValue) {
        QCommandLineOption option(QString::fromLatin1(name), QString(), QStringLiteral("value"));
        option.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(option);
    }
    for (const char* name : qtSwitches) {
        QCommandLineOption option(QString::fromLatin1(name));
        option.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(option);
    }
    parser.addPositionalArgument(
        QStringLiteral("PORT"),
        QStringLiteral("Serial port to open (default: %1).").arg(serial::defaultPortName()),
        QStringLiteral("[PORT]"));
    if (!parser.parse(reading.arguments()))
        usageError(parser.errorText());
    if (parser.isSet(help))
        parser.showHelp(0);
    if (parser.isSet(version))
        parser.showVersion();
    const QStringList ports = parser.positionalArguments();
    if (parser.isSet(listPorts)) {
        if (!ports.isEmpty())
            usageError(QStringLiteral("--list-ports takes no port, got %1").arg(ports.first()));
        std::printf("%s\n", qPrintable(serial::portList(serial::serialPorts())));
        std::exit(0);
    }
    if (ports.size() > 1)
        usageError(QStringLiteral("one port at most, got %1").arg(ports.size()));
    if (parser.isSet(log) && parser.value(log).isEmpty())
        usageError(QStringLiteral("--log needs a file name"));
    if (!haveDisplay(parser)) {
        std::fprintf(stderr, "kestran: no display found; start KESTRAN from a desktop session.\n");
        std::exit(1);
    }
    return {ports.isEmpty() ? serial::defaultPortName() : ports.first(), parser.value(log)};
}

QtArguments argumentsForQt(int argc, char** argv)
{
    QtArguments arguments;
    for (int i = 0; i < argc; ++i) {
        const char* argument = argv[i];
        const char* equals = std::strchr(argument, '=');
        const char* name = argument + (std::strncmp(argument, "--", 2) == 0 ? 2 : 1);
        bool split = false;
        for (const char* option : qtOptionsWithValue)
            split = split ||
                    (i > 0 && argument[0] == '-' && equals && std::string(name, equals) == option);
        if (!split) {
            arguments.pointers.push_back(argv[i]);
            continue;
        }
        for (std::string half : {std::string(argument, equals), std::string(equals + 1)})
            arguments.pointers.push_back(arguments.split.emplace_back(std::move(half)).data());
    }
    arguments.pointers.push_back(nullptr);
    return arguments;
}

void guardDisplay()
{
    qtHandler = qInstallMessageHandler(onStartMessage);
}

void displayReached()
{
    qInstallMessageHandler(qtHandler);
    for (const QString& message : std::as_const(startMessages))
        std::fprintf(stderr, "%s\n", qPrintable(message));
    startMessages.clear();
}

} // namespace kestran::window
