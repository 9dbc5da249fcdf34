#include "app/Application.h"
#include "app/TfPrincipal.h"

int main(int argc, char** argv) {
    abd::Aplicacao app(argc, argv);
    abd::TfPrincipal fPrincipal;
    fPrincipal.show();
    return app.exec();
}
