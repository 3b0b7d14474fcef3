// SPDX-License-Identifier: MIT
#include "serial/portmessages.h"
#include "serial/qtserialport.h"
#include "window/frmkestran.h"
#include "window/quitonsignals.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QIcon>

#include <cstdio>
#include <cstdlib>

namespace {

// Qt's own options, which QApplication takes from the same command line.
const char* const qtOptionsWithValue[] = {
    "platform",    "platformpluginpath", "platformtheme", "plugin",   "qwindowgeometry",
    "qwindowicon", "qwindowtitle",       "display",       "geometry", "title",
    "style",       "stylesheet",         "session"};
const char* const qtSwitches[] = {"reverse", "widgetcount", "nograb", "dograb", "sync"};

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

// --help, --version and --list-ports must work without a display, so the
// command line is read before the GUI application exists. Returns the port.
QString readCommandLine(int argc, char** argv)
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
    parser.addOption(listPorts);
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
    parser.addPositionalArgument(QStringLiteral("PORT"),
                                 QStringLiteral("Serial port to open (default: %1).")
                                     .arg(kestran::serial::defaultPortName()),
                                 QStringLiteral("[PORT]"));
    if (!parser.parse(reading.arguments()))
        usageError(parser.errorText());
    if (parser.isSet(help))
        parser.showHelp(0);
    if (parser.isSet(version))
        parser.showVersion();
    if (parser.isSet(listPorts)) {
        std::printf("%s\n", qPrintable(kestran::serial::portList()));
        std::exit(0);
    }
    const QStringList ports = parser.positionalArguments();
    if (ports.size() > 1)
        usageError(QStringLiteral("one port at most, got %1").arg(ports.size()));
    if (!haveDisplay(parser)) {
        std::fprintf(stderr, "kestran: no display found; start KESTRAN from a desktop session.\n");
        std::exit(1);
    }
    return ports.isEmpty() ? kestran::serial::defaultPortName() : ports.first();
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication::setApplicationName(QStringLiteral("KESTRAN"));
    QCoreApplication::setApplicationVersion(QStringLiteral(KESTRAN_VERSION));
    const QString port = readCommandLine(argc, argv);

    QApplication app(argc, argv);
    QIcon icon;
    for (const int size : {16, 32, 48})
        icon.addFile(QStringLiteral(":/kestran/kestran-%1.png").arg(size), QSize(size, size));
    QApplication::setWindowIcon(icon);
    kestran::window::quitOnSignals();

    kestran::window::FrmKestran frmKestran(port);
    if (!frmKestran.load())
        return frmKestran.endedWith().value_or(1);
    frmKestran.show();
    return app.exec();
}
