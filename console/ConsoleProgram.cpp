#include "console/ConsoleProgram.h"

#include "console/ConsoleHost.h"
#include "firebird/ClientLibrary.h"
#include "firebird/Errors.h"
#include "firebird/ParamBlocks.h"
#include "upgrade/RunSession.h"
#include "upgrade/StopSignals.h"
#include "upgrade/Translations.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <optional>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace abd {

namespace {

void Error(const QString& text) {
    std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
    std::fflush(stderr);
}

const char* kDescription =
    "Atualiza o banco de dados do Lortu para a versão 5, como o botão Atualizar da janela: conta as conexões "
    "do servidor e recusa enquanto houver alguma, lê a versão, faz o backup, aplica as versões 2 a 5 e "
    "compacta "
    "o banco. Cada linha que a janela mostraria sai na saída padrão, precedida do nome do seu painel; as "
    "falhas, "
    "como a caixa de erro as mostraria, saem na saída de erro.\n"
    "\n"
    "A senha nunca vem da linha de comando: vem da variável de ambiente ISC_PASSWORD ou é pedida no "
    "terminal, "
    "sem eco.\n"
    "\n"
    "Códigos de saída:\n"
    "  0  concluído, ou o banco já estava na versão 5\n"
    "  1  outra falha (servidor inacessível, login recusado, uma consulta)\n"
    "  2  opções inválidas, ou nenhuma senha disponível\n"
    "  3  recusado: há usuários conectados ao servidor\n"
    "  4  uma versão falhou: o banco ficou na versão anterior\n"
    "  5  o backup ou a compactação falhou\n"
    "  Com --ensaio: 0 se todas as versões seriam aplicadas, 4 se uma falharia, 5 se o backup ou a\n"
    "     restauração do ensaio falhou; os outros como acima\n"
    "  128 + sinal  interrompido por SIGTERM (143), SIGINT (130) ou SIGHUP (129); a saída padrão fechada "
    "(um\n"
    "               pager encerrado, uma sessão SSH que caiu) conta como SIGHUP (129)";

/// The result of asking for the password on the terminal.
struct Prompted {
    std::optional<QString> password; // none: no terminal
    int signal = 0;                  // a signal came while waiting
    bool ended = false;              // end of input or a hang-up before Enter: nothing is tried
};

/// Asks for the password on the controlling terminal, without echo; a stop signal ends the wait.
Prompted AskPassword(const LoginValues& login) {
    Prompted result;
    const int tty = ::open("/dev/tty", O_RDWR | O_CLOEXEC | O_NOCTTY);
    if (tty < 0)
        return result;
    termios saved{};
    const bool terminal = ::tcgetattr(tty, &saved) == 0;
    // Ctrl+Z and Ctrl+\ would leave the terminal without echo: they do nothing while the password is asked.
    struct sigaction ignore {
    }, savedStop{}, savedQuit{};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    ::sigaction(SIGTSTP, &ignore, &savedStop);
    ::sigaction(SIGQUIT, &ignore, &savedQuit);
    if (terminal) {
        termios quiet = saved;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        ::tcsetattr(tty, TCSAFLUSH, &quiet);
    }
    const QByteArray prompt = QStringLiteral("Senha de %1 em %2: ").arg(login.Usuario, login.Servidor).toLocal8Bit();
    [[maybe_unused]] ssize_t w = ::write(tty, prompt.constData(), static_cast<size_t>(prompt.size()));
    QByteArray typed;
    for (;;) {
        pollfd fds[2] = {{tty, POLLIN, 0}, {StopSignals::PendingFd(), POLLIN, 0}};
        if (::poll(fds, fds[1].fd >= 0 ? 2 : 1, -1) < 0)
            continue;
        if (fds[1].revents & POLLIN) {
            char s = 0;
            if (::read(fds[1].fd, &s, 1) == 1) {
                result.signal = static_cast<unsigned char>(s);
                break;
            }
        }
        if (!(fds[0].revents & (POLLIN | POLLHUP | POLLERR)))
            continue;
        char c = 0;
        if (::read(tty, &c, 1) != 1) {
            // End of input (Ctrl+D) or a terminal that hung up: the part typed so far is not a password.
            result.ended = true;
            break;
        }
        if (c == '\n' || c == '\r') {
            result.password = QString::fromLocal8Bit(typed);
            break;
        }
        typed += c;
    }
    if (terminal)
        ::tcsetattr(tty, TCSAFLUSH, &saved);
    ::sigaction(SIGTSTP, &savedStop, nullptr);
    ::sigaction(SIGQUIT, &savedQuit, nullptr);
    w = ::write(tty, "\n", 1);
    ::close(tty);
    return result;
}

/// An option's value, held to the login dialog's length.
bool Fill(QString& field, const QCommandLineParser& parser, const QCommandLineOption& option, int maxLength,
          bool server = false) {
    if (!parser.isSet(option))
        return true;
    field = parser.value(option);
    const QString name = QStringLiteral("--") + option.names().constFirst();
    // A server of blanks alone names no server.
    if (field.isEmpty() || (server && ParseServer(field).Host.isEmpty())) {
        Error(QStringLiteral("%1 não pode ficar vazio.").arg(name));
        return false;
    }
    if (field.size() > maxLength) {
        Error(QStringLiteral("%1 aceita no máximo %2 caracteres.").arg(name).arg(maxLength));
        return false;
    }
    return true;
}

} // namespace

int RunConsole(int argc, char** argv) {
    // The handlers come first: from here on a signal ends the program in order, never half-way.
    StopSignals::InstallHandlers();
    // A closed output (a pager quit, a dropped SSH session) is a failed write that the program answers, not a
    // signal that kills it half-way.
    std::signal(SIGPIPE, SIG_IGN);
    QCoreApplication app(argc, argv);
    // The records of the runs live in the same data folder as the window's.
    QCoreApplication::setApplicationName(QStringLiteral("atualizar-banco-dados"));
    QCoreApplication::setApplicationVersion(QStringLiteral(ABD_VERSION));
    InstallQtTranslations(app);

    QCommandLineParser parser;
    parser.setApplicationDescription(QString::fromUtf8(kDescription));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    const LoginValues defaults = UpgradeRun::DefaultLogin();
    const QCommandLineOption servidor(QStringLiteral("servidor"),
                                      QStringLiteral("IP ou nome do servidor (padrão: %1).").arg(defaults.Servidor),
                                      QStringLiteral("servidor"));
    const QCommandLineOption bancoDados(
        QStringLiteral("banco-dados"),
        QStringLiteral("Apelido ou pasta e nome do banco de dados (padrão: %1).").arg(defaults.BancoDados),
        QStringLiteral("banco"));
    const QCommandLineOption usuario(QStringLiteral("usuario"),
                                     QStringLiteral("Usuário (padrão: %1).").arg(defaults.Usuario),
                                     QStringLiteral("usuario"));
    const QCommandLineOption semBackup(QStringLiteral("sem-backup"), QStringLiteral("Não faz o backup antes das versões."));
    const QCommandLineOption semCompactar(QStringLiteral("sem-compactar"), QStringLiteral("Não compacta o banco no fim."));
    const QCommandLineOption ensaio(
        QStringLiteral("ensaio"),
        QStringLiteral("Ensaia a atualização numa cópia do banco de dados, mesmo com usuários conectados: o banco só "
                       "é lido (um backup sem coleta de lixo), as versões são aplicadas numa restauração dele, "
                       "apagada no fim, e um resumo diz o que cada versão faria e quanto a atualização levaria."));
    parser.addOptions({servidor, bancoDados, usuario, semBackup, semCompactar, ensaio});

    if (!parser.parse(app.arguments())) {
        Error(parser.errorText() + QStringLiteral("\nUse --help para ver as opções."));
        return kStatusUsage;
    }
    if (parser.isSet(help)) {
        std::printf("%s", parser.helpText().toLocal8Bit().constData());
        return kStatusConcluded;
    }
    if (parser.isSet(version)) {
        std::printf("atualizar-banco-dados-console %s\n", qPrintable(QCoreApplication::applicationVersion()));
        return kStatusConcluded;
    }
    if (!parser.positionalArguments().isEmpty()) {
        Error(QStringLiteral("Argumento desconhecido: %1\nUse --help para ver as opções.")
                  .arg(parser.positionalArguments().constFirst()));
        return kStatusUsage;
    }

    LoginValues login = defaults;
    if (!Fill(login.Servidor, parser, servidor, 31, true) ||
        !Fill(login.BancoDados, parser, bancoDados, 70) || !Fill(login.Usuario, parser, usuario, 31))
        return kStatusUsage;
    login.Senha = qEnvironmentVariable("ISC_PASSWORD");
    if (login.Senha.isEmpty()) {
        const Prompted typed = AskPassword(login);
        if (typed.signal)
            return 128 + typed.signal;
        if (typed.ended) {
            Error(QStringLiteral("Nenhuma senha: a entrada terminou antes do Enter. Nada foi feito."));
            return kStatusUsage;
        }
        if (!typed.password) {
            Error(QStringLiteral("Nenhuma senha: defina a variável de ambiente ISC_PASSWORD ou execute o programa "
                                 "num terminal, onde ela é pedida."));
            return kStatusUsage;
        }
        login.Senha = *typed.password;
    }
    if (login.Senha.isEmpty() || login.Senha.size() > 32) {
        Error(QStringLiteral("A senha deve ter de 1 a 32 caracteres."));
        return kStatusUsage;
    }

    ConsoleHost host(!parser.isSet(semBackup), !parser.isSet(semCompactar));
    RunSession session(host);
    int signalled = 0;
    QObject::connect(&StopSignals::Instance(), &StopSignals::Received, &session, [&](int signal) {
        if (!session.Running())
            return;
        if (!signalled) {
            signalled = signal;
            Error(QStringLiteral("%1 recebido: a atualização para assim que puder; um backup ou uma restauração em "
                                 "andamento vai até o fim.")
                      .arg(StopSignals::Name(signal)));
        }
        session.RequestStop(QStringLiteral("sinal ") + StopSignals::Name(signal));
    });
    // Nobody reads the output any more: the program ends as for a hang-up.
    host.OnOutputGone = [&] {
        if (!session.Running())
            return;
        if (!signalled) {
            signalled = SIGHUP;
            Error(QStringLiteral(
                "A saída padrão foi fechada: a atualização para assim que puder, como para SIGHUP; "
                "um backup ou uma restauração em andamento vai até o fim."));
        }
        session.RequestStop(QStringLiteral("saída padrão fechada"));
    };
    session.OnAbandon = [&](const QString& text) {
        Error(text);
        return signalled ? 128 + signalled : kStatusFailed;
    };
    QObject::connect(&session, &RunSession::Finished, &app, [&](std::exception_ptr error) {
        if (!error) {
            QCoreApplication::exit(host.Refused() ? kStatusRefused : kStatusConcluded);
            return;
        }
        Error(ErrorBoxText(error));
        // The stop wins where it is what ended the run; a failure that a stage met on its own while the stop
        // waited for it (a restore that failed) keeps its own status.
        if (session.Run().StopActed())
            QCoreApplication::exit(128 + (signalled ? signalled : SIGTERM));
        else if (session.Run().Phase() == RunPhase::Steps)
            QCoreApplication::exit(kStatusStepFailed);
        else if (session.Run().Phase() == RunPhase::Backup || session.Run().Phase() == RunPhase::Compaction)
            QCoreApplication::exit(kStatusStageFailed);
        else
            QCoreApplication::exit(kStatusFailed);
    });
    session.Start(login, parser.isSet(ensaio) ? RunSession::Kind::Rehearsal : RunSession::Kind::Upgrade);
    const int status = QCoreApplication::exec();
    // The connection's last close, as the window's end does: what a stopped or failed step left is rolled back.
    try {
        session.CloseConnection();
    } catch (...) {
        Error(ErrorBoxText(std::current_exception()));
    }
    ClientLibrary::Shutdown();
    return status;
}

} // namespace abd
