// SPDX-License-Identifier: MIT
#include "window/frmkestran.h"
#include "window/quitonsignals.h"
#include "window/startup.h"

#include <QApplication>
#include <QIcon>

namespace {

// Qt's defaults, where the operator has not chosen: the event loop of Qt's
// own rather than glib's, and images sent to the X server rather than
// shared with it, whose every repaint waits for the server to be done with
// the last. For a window this small both cost less: an exchange driven by
// clicks took 356-398 us of CPU a row with both, against 462-755 us
// without (bench/desktop, bench/README.md).
void preferLighterQtDefaults()
{
    for (const char* name : {"QT_NO_GLIB", "QT_XCB_NO_MITSHM"}) {
        if (!qEnvironmentVariableIsSet(name))
            qputenv(name, "1");
    }
}

} // namespace

int main(int argc, char** argv)
{
    preferLighterQtDefaults();
    QCoreApplication::setApplicationName(QStringLiteral("KESTRAN"));
    QCoreApplication::setApplicationVersion(QStringLiteral(KESTRAN_VERSION));
    const kestran::window::CommandLine commandLine = kestran::window::readCommandLine(argc, argv);

    kestran::window::QtArguments qtArguments = kestran::window::argumentsForQt(argc, argv);
    int qtCount = static_cast<int>(qtArguments.pointers.size()) - 1;
    kestran::window::guardDisplay();
    QApplication app(qtCount, qtArguments.pointers.data());
    kestran::window::displayReached();
    QIcon icon;
    for (const int size : {16, 32, 48})
        icon.addFile(QStringLiteral(":/kestran/kestran-%1.png").arg(size), QSize(size, size));
    QApplication::setWindowIcon(icon);
    kestran::window::quitOnSignals();

    kestran::window::FrmKestran frmKestran(commandLine.port, commandLine.logFile);
    int status = 1;
    if (frmKestran.load()) {
        frmKestran.show();
        status = app.exec();
    } else {
        status = frmKestran.endedWith().value_or(1);
    }
    // A signal may end the start-up message's wait too, and says how it ended.
    return kestran::window::endingSignal() ? 128 + kestran::window::endingSignal() : status;
}
