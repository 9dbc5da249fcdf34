#include "app/Program.h"

#include "app/Application.h"
#include "app/TfPrincipal.h"
#include "firebird/ClientLibrary.h"
#include "upgrade/StopSignals.h"

#include <cstdio>

namespace abd {

int RunProgram(int argc, char** argv, const std::function<void(TfPrincipal&)>& started) {
    // The handlers come first: from here on a signal ends the program in order, never half-way.
    StopSignals::InstallHandlers();
    Aplicacao app(argc, argv);
    TfPrincipal fPrincipal;
    QObject::connect(&StopSignals::Instance(), &StopSignals::Received, &fPrincipal,
                     [&](int signal) {
                         // Whoever sent the signal is not there to answer a box.
                         SetEnding();
                         fPrincipal.RequestEnd(QStringLiteral("sinal ") + StopSignals::Name(signal));
                     });
    // A server that stopped answering: the window may be gone already, the text goes to standard error.
    fPrincipal.Session().OnAbandon = [&](const QString& text) {
        std::fprintf(stderr, "%s: %s\n", qPrintable(AppTitle()), text.toLocal8Bit().constData());
        std::fflush(stderr);
        return 1;
    };
    fPrincipal.show();
    if (started)
        started(fPrincipal);
    const int result = app.exec();
    // The connection's last close; a failure there is still shown.
    RunGuarded([&] { fPrincipal.EndSession(); });
    ClientLibrary::Shutdown();
    return result;
}

} // namespace abd
