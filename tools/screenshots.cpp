// Saves PNG pictures of the main window and of the login dialog, rendered offscreen:
//   screenshots <folder>
#include "app/Application.h"
#include "app/TfLogin.h"
#include "app/TfPrincipal.h"

#include <QDir>
#include <QLineEdit>
#include <QPixmap>
#include <cstdio>

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", QByteArrayLiteral("offscreen"));
    abd::Aplicacao app(argc, argv);
    const QString folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("screenshots");
    QDir().mkpath(folder);

    abd::TfPrincipal main;
    main.show();
    app.processEvents();
    const QString mainFile = folder + QStringLiteral("/principal.png");
    main.grab().save(mainFile);

    abd::TfLogin login(&main);
    login.eServidor->setText(QStringLiteral("127.0.0.1"));
    login.eBancoDados->setText(QStringLiteral("LORTU"));
    login.eUsuario->setText(QStringLiteral("SYSDBA"));
    login.eSenha->setText(QStringLiteral("pomelarix"));
    login.show();
    app.processEvents();
    const QString loginFile = folder + QStringLiteral("/login.png");
    login.grab().save(loginFile);
    std::printf("%s\n%s\n", qPrintable(mainFile), qPrintable(loginFile));
    return 0;
}
