#include "serial/qtserialport.h"
#include "window/frmkestran.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QIcon>

#include <cstdio>

namespace {

// --help and --version must work without a display, so the command line is
// read before the GUI application exists.
QString portFromCommandLine(int argc, char** argv)
{
    QCoreApplication reading(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Serial terminal for framed commands: type STX01DRS,02,0001CRLF "
                       "to send 0x02, 01DRS,02,0001, CR, LF."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument(QStringLiteral("PORT"),
                                 QStringLiteral("Serial port to open (default: %1).")
                                     .arg(kestran::serial::defaultPortName()),
                                 QStringLiteral("[PORT]"));
    parser.process(reading);
    const QStringList ports = parser.positionalArguments();
    if (ports.size() > 1) {
        std::fprintf(stderr, "kestran: one port at most, got %lld\n",
                     static_cast<long long>(ports.size()));
        parser.showHelp(2);
    }
    return ports.isEmpty() ? kestran::serial::defaultPortName() : ports.first();
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication::setApplicationName(QStringLiteral("KESTRAN"));
    QCoreApplication::setApplicationVersion(QStringLiteral("1.00"));
    const QString port = portFromCommandLine(argc, argv);

    QApplication app(argc, argv);
    QIcon icon;
    icon.addFile(QStringLiteral(":/kestran/kestran-16.png"), QSize(16, 16));
    icon.addFile(QStringLiteral(":/kestran/kestran-32.png"), QSize(32, 32));
    QApplication::setWindowIcon(icon);

    kestran::window::FrmKestran frmKestran(port);
    if (!frmKestran.load())
        return frmKestran.endedWith().value_or(1);
    frmKestran.show();
    return app.exec();
}
