#include "app/Application.h"
#include "app/TfPrincipal.h"
#include "firebird/ClientLibrary.h"

int main(int argc, char** argv) {
    abd::Aplicacao app(argc, argv);
    abd::TfPrincipal fPrincipal;
    fPrincipal.show();
    const int result = app.exec();
    // Closing commits what is still active; a failure there is still shown.
    abd::RunGuarded([&] { fPrincipal.Upgrade().sqlcPrincipal.Close(); });
    abd::ClientLibrary::Shutdown();
    return result;
}
