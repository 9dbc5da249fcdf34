#include "app/TfLogin.h"
#include "app/TfPrincipal.h"
#include "firebird/DatabaseConnection.h"
#include "upgrade/BackupNames.h"
#include "tests/support/Relay.h"
#include "tests/support/TestServer.h"
#include "tests/upgrade/WindowDriver.h"
#include "upgrade/RunLog.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QTextBlock>
#include <QTimer>
#include <QRegularExpression>
#include <QUuid>
#include <QElapsedTimer>
#include <QScreen>
#include <QStandardPaths>
#include <QtTest>

using namespace abd;
using namespace abd::test;

class TestUpgradeRun : public QObject {
    Q_OBJECT
private slots:
    // The records of the runs go to a folder of the tests, not the user's.
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void fromVersion1WithBackupAndCompaction() {
        Lortu l;
        TfPrincipal w;
        Prepare(w);
        PinClock(w);
        Driver driver(l.db.Path());
        driver.login.Usuario = "sysdba";
        Click(w);

        const QString file = QFileInfo(l.db.Path()).fileName();
        QCOMPARE(Added(w.mAtualizar, 7),
                 (QStringList{"-----------------", "Banco dados versão 1", "", "Backup versão 1", "",
                              "002 versão atualizada com sucesso.", "003 versão atualizada com sucesso.",
                              "004 versão atualizada com sucesso.", "005 versão atualizada com sucesso.", "", "Compactar"}));
        QCOMPARE(driver.boxes.size(), 1);
        QCOMPARE(driver.boxes[0].caption, QStringLiteral("Concluído"));
        QCOMPARE(driver.boxes[0].text, QStringLiteral("Concluído"));
        QCOMPARE(driver.boxes[0].icon, QMessageBox::Information);
        QCOMPARE(w.StatusBar1->currentMessage(), QStringLiteral("Concluído."));
        QVERIFY(!w.bAtualizar->isVisible());
        QVERIFY(!w.Upgrade().sqlcPrincipal.Connected());
        // The user name reaches the connection as typed and the service manager upper-cased.
        QCOMPARE(w.Upgrade().sqlcPrincipal.Param("User_Name"), QStringLiteral("sysdba"));
        QCOMPARE(w.Upgrade().Usuario, QStringLiteral("SYSDBA"));

        // The backup pane: its lines around the server's report.
        const QString backupName = l.backupFolder + file + ".20240131.1405.versao.1.fbk";
        const QStringList backup = Lines(w.mBackup);
        QCOMPARE(backup.mid(0, 6), (QStringList{"Backup versão anterior.", "Backup versão 1", "Backup:", backupName,
                                                "31/01/2024 14:05:00.000 Início", ""}));
        QCOMPARE(backup[6], QStringLiteral("gbak:readied database %1 for backup ").arg(l.db.Path()));
        QCOMPARE(backup.mid(backup.size() - 4), (QStringList{"", "31/01/2024 14:05:00.000 Início",
                                                             "31/01/2024 14:06:01.000 Fim", "00:01:01.000 Tempo"}));
        // The compaction pane.
        const QString compactName = l.backupFolder + file + ".20240131.1407.fbk";
        const QStringList compact = Lines(w.mCompactar);
        QCOMPARE(compact.mid(0, 8), (QStringList{"Compactar: Backup Versão Atual e Restaurar", "", compactName,
                                                 "31/01/2024 14:07:02.000 Início", "", "Close Database", "", "Backup"}));
        QVERIFY(compact.contains(QStringLiteral("gbak:opened file %1 ").arg(compactName)));
        // Restored once beside the backup, opened and dropped, before it replaced the database.
        const QString scratchName = l.backupFolder + file + ".20240131.1407.verificacao.fdb";
        QVERIFY(compact.contains("Verificação do backup: restauração em " + scratchName));
        QVERIFY(compact.contains("Backup verificado: o banco restaurado abriu e foi apagado."));
        QCOMPARE(compact.mid(compact.size() - 4), (QStringList{"", "31/01/2024 14:07:02.000 Início",
                                                               "31/01/2024 14:08:03.000 Fim", "00:01:01.000 Tempo"}));
        QCOMPARE(l.BackupFiles(), (QStringList{QFileInfo(backupName).fileName(), QFileInfo(compactName).fileName()}));
        // The SQL pane: echoes and outcome lines of the four scripts.
        const QStringList sql = Lines(w.mSQL);
        QCOMPARE(sql[0], QStringLiteral("SQL: Atualizado"));
        QVERIFY(!w.mSQL->Text().contains("ERROR"));
        QVERIFY(w.mSQL->Text().contains("\n1 row processed ["));
        // The version 2 script's four messages, each echo cut at 50 characters.
        QString version2 = sql.mid(1, 10).join('\n');
        version2.replace(QRegularExpression("\\[\\d\\d:\\d\\d:\\d\\d\\.\\d\\d\\d\\]"), "[T]");
        QCOMPARE(version2, QStringLiteral("\nALTER TRIGGER TR_CLIENTE_SALDO_DELETE\nAS\nDECLA ...\nOk [T].\n"
                                          "\nUPDATE CONFIGURAR\nSET VERSAO_BANCO_DADOS = 2\nW ...\n1 row processed [T]."));
        QTRY_VERIFY(!QApplication::overrideCursor());
        QVERIFY(w.findChildren<TfLogin*>().isEmpty());
        QVERIFY(sql.contains("ALTER TRIGGER TR_HISTORICO_UPDATE_DELETE INACTIVE; ..."));

        // The record of the run holds what the four panes and the status bar showed, in order; no password.
        const QString logName = w.Session().LogFileName();
        QVERIFY(logName.startsWith(RunLog::Folder() + "/"));
        QVERIFY2(QFileInfo(logName).fileName().endsWith("_" + file + ".log"), qPrintable(logName));
        const QStringList record = RecordLines(logName);
        QCOMPARE(RecordOf(record, "atualizar"), Added(w.mAtualizar, 7));
        QCOMPARE(RecordOf(record, "backup"), Lines(w.mBackup).mid(1));
        QCOMPARE(RecordOf(record, "compactar"), Lines(w.mCompactar).mid(1));
        QCOMPARE(RecordOf(record, "sql"), Lines(w.mSQL).mid(1));
        QCOMPARE(RecordOf(record, "status"), QStringList{"Concluído."});
        QCOMPARE(RecordOf(record, "mensagem"), QStringList{"Concluído"});
        QVERIFY(record.first().startsWith("[execução] Servidor: 127.0.0.1; banco de dados: " + l.db.Path()));
        QFile raw(logName);
        QVERIFY(raw.open(QIODevice::ReadOnly));
        QVERIFY(!raw.readAll().contains(Password().toUtf8()));

        // The database afterwards.
        const TempDatabase& db = l.db;
        QCOMPARE(db.Scalar("SELECT VERSAO_BANCO_DADOS || EXPURGO FROM CONFIGURAR WHERE ID = 1;"), QStringLiteral("5N"));
        QCOMPARE(db.Scalar("SELECT SUM(RDB$TRIGGER_INACTIVE) FROM RDB$TRIGGERS WHERE RDB$TRIGGER_NAME IN "
                           "('TR_HISTORICO_UPDATE_DELETE', 'TR_CREDITO_DEBITO_UPDATE');"),
                 QStringLiteral("0"));
        QCOMPARE(db.Scalar("SELECT COUNT(*) FROM MOVIMENTO WHERE HISTORICO_ID = 11;"), QStringLiteral("0"));
        QCOMPARE(db.Scalar("SELECT CAST(SUM(SALDO) AS INTEGER) || '/' || COUNT(*) FROM CLIENTE;"), QStringLiteral("150/3"));
        QCOMPARE(db.Scalar("SELECT CREDITO_DEBITO FROM HISTORICO WHERE ID = 11;"), QStringLiteral("C"));
        QCOMPARE(db.Scalar("SELECT RDB$FIELD_POSITION + 1 FROM RDB$RELATION_FIELDS WHERE RDB$RELATION_NAME = 'CONFIGURAR' "
                           "AND RDB$FIELD_NAME = 'PORTA';"),
                 QStringLiteral("23"));
        QCOMPARE(db.Scalar("SELECT RDB$FIELD_POSITION + 1 FROM RDB$RELATION_FIELDS WHERE RDB$RELATION_NAME = 'CONFIGURAR' "
                           "AND RDB$FIELD_NAME = 'SSL';"),
                 QStringLiteral("24"));
        QCOMPARE(db.Scalar("SELECT RDB$FIELD_POSITION + 1 FROM RDB$RELATION_FIELDS WHERE RDB$RELATION_NAME = 'CONFIGURAR' "
                           "AND RDB$FIELD_NAME = 'VERSAO_BANCO_DADOS';"),
                 QStringLiteral("44"));
        QCOMPARE(db.Scalar("SELECT COUNT(*) FROM RDB$FIELDS WHERE RDB$FIELD_NAME = 'DM_CHAR_01';"), QStringLiteral("1"));
        QCOMPARE(db.Scalar("SELECT COUNT(*) FROM RDB$INDICES WHERE RDB$INDEX_NAME = 'IN_EDICAO_CODIGO_BARRAS';"),
                 QStringLiteral("1"));
    }

    void windowStaysAliveDuringARun() {
        Lortu l(SlowDeletes(1000));
        TfPrincipal w;
        Prepare(w, false, false);
        Driver driver(l.db.Path());
        // A timer of the window's thread, as a desktop's ping would be: it fires while the server works.
        QElapsedTimer sinceLast;
        qint64 longestGap = 0;
        int firesDuringRun = 0;
        bool controlsUsable = false;
        bool echoShownWhileServerWorks = false;
        QTimer ping;
        QObject::connect(&ping, &QTimer::timeout, [&] {
            if (sinceLast.isValid())
                longestGap = std::max(longestGap, sinceLast.elapsed());
            sinceLast.start();
            if (!w.RunActive())
                return;
            ++firesDuringRun;
            controlsUsable |= w.miBackup->isEnabled() || w.miCompactar->isEnabled() || w.aAtualizar->isEnabled();
            const QString sql = w.mSQL->toPlainText();
            if (sql.endsWith("\nDELETE FROM MOVIMENTO WHERE HISTORICO_ID = 11;"))
                echoShownWhileServerWorks = true;
            if (firesDuringRun == 20)
                w.resize(800, 600);
        });
        ping.start(10);
        Click(w);
        ping.stop();
        QCOMPARE(driver.boxes.size(), 1);
        QCOMPARE(driver.boxes[0].caption, QStringLiteral("Concluído"));
        // Two deletes of a second each ran meanwhile; the generous bound is for slow machines, the strict figure
        // is the benchmark's.
        QVERIFY2(longestGap < 1000, qPrintable(QString::number(longestGap)));
        QVERIFY(firesDuringRun > 50);
        QVERIFY(echoShownWhileServerWorks);
        QVERIFY(!controlsUsable);
        QCOMPARE(w.size(), QSize(800, 600));
        // After the run the menu can be used again.
        QVERIFY(w.miBackup->isEnabled() && w.miCompactar->isEnabled());
    }

    void closeDuringAVersionStep() {
        Lortu l(SlowDeletes(60000));
        TfPrincipal w;
        Prepare(w, false, false);
        Driver driver(l.db.Path());
        // Once version 4's DELETE is at the server, the window is asked to close.
        OnLine(w, Pane::Sql, "DELETE FROM MOVIMENTO", [&] {
            QMetaObject::invokeMethod(&w, [&] { QTimer::singleShot(500, &w, [&] { w.close(); }); });
        });
        QElapsedTimer elapsed;
        elapsed.start();
        Click(w);
        // The statement was cancelled, not waited for.
        QVERIFY2(elapsed.elapsed() < 30000, qPrintable(QString::number(elapsed.elapsed())));
        QVERIFY(!w.isVisible());
        QVERIFY(driver.boxes.isEmpty());
        const QStringList added = Added(w.mAtualizar, 7);
        QVERIFY(added.contains("003 versão atualizada com sucesso."));
        QVERIFY(!added.contains("004 versão atualizada com sucesso."));
        QCOMPARE(added.mid(added.size() - 2),
                 (QStringList{"004 Erro: versão não foi atualizada.", "Atualização interrompida."}));
        QVERIFY(w.mSQL->Text().contains("ERROR: operation was cancelled"));
        QVERIFY(!w.Upgrade().sqlcPrincipal.Connected());
        const QStringList record = RecordLines(w.Session().LogFileName());
        QCOMPARE(RecordOf(record, "atualizar"), added);
        QVERIFY(record.contains("[execução] Pedido de encerramento (janela fechada)."));
        // Nothing of step 4 is in the database.
        QCOMPARE(l.db.Scalar("SELECT VERSAO_BANCO_DADOS || EXPURGO FROM CONFIGURAR;"), QStringLiteral("3S"));
        QCOMPARE(l.db.Scalar("SELECT COUNT(*) FROM MOVIMENTO WHERE HISTORICO_ID = 11;"), QStringLiteral("2"));
        QCOMPARE(l.db.Scalar("SELECT CREDITO_DEBITO FROM HISTORICO WHERE ID = 11;"), QStringLiteral("D"));
    }

    void cancelChangesNothing() {
        Lortu l;
        TfPrincipal w;
        Prepare(w);
        Driver driver(l.db.Path());
        driver.cancel = true;
        const QString before = w.mAtualizar->Text() + w.mBackup->Text() + w.mSQL->Text();
        Click(w);
        QCOMPARE(w.mAtualizar->Text() + w.mBackup->Text() + w.mSQL->Text(), before);
        QVERIFY(driver.boxes.isEmpty());
        QVERIFY(w.bAtualizar->isVisible());
        QVERIFY(w.StatusBar1->currentMessage().isEmpty());
        QCOMPARE(w.Upgrade().sqlcPrincipal.Param("Database"), QStringLiteral("lortu"));
        QVERIFY(w.Upgrade().Servidor.isEmpty());
    }

    void refusedWhileSomebodyIsAttached() {
        Lortu l;
        DatabaseConnection other("x", SettingsFor(l.db.Path()));
        other.Open();
        TfPrincipal w;
        Prepare(w);
        w.move(0, 0); // the box is centred on the screen, not on the window
        {
            // A scope of its own: a driver still polling would answer the next run's dialogs.
            Driver driver(l.db.Path());
            Click(w);
            QCOMPARE(driver.boxes.size(), 1);
            QCOMPARE(driver.boxes[0].caption, QStringLiteral("Informação"));
            QCOMPARE(driver.boxes[0].text, QStringLiteral("Usuário conectado: 1\n\nSair todos."));
            QCOMPARE(driver.boxes[0].icon, QMessageBox::Information);
            const QPoint screenCentre = w.screen()->availableGeometry().center();
            QVERIFY2((driver.boxes[0].frame.center() - screenCentre).manhattanLength() <= 2,
                     qPrintable(QStringLiteral("%1,%2").arg(driver.boxes[0].frame.center().x()).arg(driver.boxes[0].frame.center().y())));
            QVERIFY(w.bAtualizar->isVisible());
            QCOMPARE(Lines(w.mAtualizar).size(), 7);
            QCOMPARE(l.db.Scalar("SELECT VERSAO_BANCO_DADOS FROM CONFIGURAR;"), QStringLiteral("1"));
        }

        // Once the other has left, the next click runs (with a new login dialog).
        other.Close();
        w.miBackup->setChecked(false);
        w.miCompactar->setChecked(false);
        Driver again(l.db.Path());
        Click(w);
        QCOMPARE(again.boxes.size(), 1);
        QCOMPARE(again.boxes[0].caption, QStringLiteral("Concluído"));
    }

    void versions_data() {
        QTest::addColumn<QString>("variant");
        QTest::addColumn<QStringList>("lines");
        QTest::newRow("version 5") << "UPDATE CONFIGURAR SET VERSAO_BANCO_DADOS = 5;"
                                   << QStringList{"-----------------", "Banco dados versão 5", "",
                                                  "Banco dados já esta atualizado."};
        QTest::newRow("version 4") << "UPDATE CONFIGURAR SET VERSAO_BANCO_DADOS = 4;"
                                   << QStringList{"-----------------", "Banco dados versão 4", "",
                                                  "005 versão atualizada com sucesso."};
        QTest::newRow("no row 1") << "UPDATE CONFIGURAR SET ID = 2;"
                                  << QStringList{"-----------------", "Banco dados versão 0", "",
                                                 "002 versão atualizada com sucesso.", "003 versão atualizada com sucesso.",
                                                 "004 versão atualizada com sucesso.", "005 versão atualizada com sucesso."};
    }
    void versions() {
        QFETCH(QString, variant);
        QFETCH(QStringList, lines);
        Lortu l(variant);
        TfPrincipal w;
        Prepare(w, false, false);
        Driver driver(l.db.Path());
        Click(w);
        QCOMPARE(Added(w.mAtualizar, 7), lines);
        QVERIFY(!w.bAtualizar->isVisible());
        const bool upToDate = lines.last().startsWith("Banco dados já");
        QCOMPARE(driver.boxes.size(), upToDate ? 0 : 1);
        QCOMPARE(w.StatusBar1->currentMessage().isEmpty(), upToDate);
        // Both menu items unchecked: the service manager was asked for the count only.
        QCOMPARE(Lines(w.mBackup).size(), 1);
        QCOMPARE(Lines(w.mCompactar).size(), 1);
        QVERIFY(l.BackupFiles().isEmpty());
        if (upToDate)
            QVERIFY(w.Upgrade().sqlcPrincipal.Connected()); // left open until the program ends
    }

    void nullBackupFolder() {
        Lortu l("UPDATE CONFIGURAR SET PASTA_BACKUP = NULL;");
        TfPrincipal w;
        Prepare(w);
        Driver driver(l.db.Path());
        Click(w);
        QCOMPARE(driver.boxes.size(), 1);
        QCOMPARE(driver.boxes[0].caption, QStringLiteral("Atualizar Banco Dados"));
        QCOMPARE(driver.boxes[0].text, QStringLiteral("Não é possível converter tipo de variant (Null) em tipo (OleStr)"));
        QCOMPARE(driver.boxes[0].icon, QMessageBox::Critical);
        QVERIFY(!w.bAtualizar->isVisible());
        QCOMPARE(Added(w.mAtualizar, 7), QStringList{"-----------------"});
        QTRY_VERIFY(!QApplication::overrideCursor());
        QVERIFY(w.findChildren<TfLogin*>().isEmpty());
    }

    void missingTriggerIsReportedAndTheStepStillCommits() {
        Lortu l("UPDATE CONFIGURAR SET VERSAO_BANCO_DADOS = 2;\nCOMMIT;\nDROP TRIGGER TR_CREDITO_DEBITO_UPDATE;");
        TfPrincipal w;
        Prepare(w, false, false);
        Driver driver(l.db.Path());
        Click(w);
        QVERIFY(Added(w.mAtualizar, 7).contains("003 versão atualizada com sucesso."));
        QVERIFY(Lines(w.mSQL).contains("ERROR: unsuccessful metadata update"));
        QVERIFY(w.mSQL->Text().contains("Trigger TR_CREDITO_DEBITO_UPDATE not found"));
        QCOMPARE(driver.boxes.last().caption, QStringLiteral("Concluído"));
        QCOMPARE(l.db.Scalar("SELECT VERSAO_BANCO_DADOS FROM CONFIGURAR;"), QStringLiteral("5"));
    }

    void failingVersion5RollsBack() {
        Lortu l("UPDATE CONFIGURAR SET VERSAO_BANCO_DADOS = 4;\nCREATE DOMAIN DM_CHAR_01 AS CHAR(1);");
        TfPrincipal w;
        Prepare(w);
        Driver driver(l.db.Path());
        Click(w);
        const QStringList added = Added(w.mAtualizar, 7);
        QCOMPARE(added.last(), QStringLiteral("005 Erro: versão não foi atualizada."));
        QVERIFY(!added.contains("Compactar"));
        QCOMPARE(driver.boxes.size(), 1);
        QVERIFY2(driver.boxes[0].text.startsWith("[Dravix][Phys][FB]unsuccessful metadata update"),
                 qPrintable(driver.boxes[0].text));
        QVERIFY(Lines(w.mSQL).contains("ERROR: unsuccessful metadata update"));
        QVERIFY(w.StatusBar1->currentMessage() != QStringLiteral("Concluído."));
        w.Upgrade().sqlcPrincipal.Close();
        QCOMPARE(l.db.Scalar("SELECT VERSAO_BANCO_DADOS FROM CONFIGURAR;"), QStringLiteral("4"));
        QCOMPARE(l.db.Scalar("SELECT COUNT(*) FROM RDB$RELATION_FIELDS WHERE RDB$RELATION_NAME = 'CONFIGURAR' AND "
                             "RDB$FIELD_NAME IN ('PORTA', 'SSL');"),
                 QStringLiteral("0"));
        QCOMPARE(l.db.Scalar("SELECT COUNT(*) FROM RDB$INDICES WHERE RDB$INDEX_NAME = 'IN_EDICAO_CODIGO_BARRAS';"),
                 QStringLiteral("0"));
        // The backup written before the steps stays.
        QCOMPARE(l.BackupFiles().size(), 1);
    }

    void restoreRefusedBecauseSomebodyAttached() {
        Lortu l;
        TfPrincipal w;
        Prepare(w, false, true);
        Driver driver(l.db.Path());
        std::unique_ptr<DatabaseConnection> intruder;
        // Somebody attaches while the compaction's backup finishes, before the restore starts.
        OnLine(w, Pane::Compactar, "gbak:closing file", [&] {
            intruder = std::make_unique<DatabaseConnection>("x", SettingsFor(l.db.Path()));
            intruder->Open();
        });
        Click(w);
        QVERIFY(intruder);
        QCOMPARE(driver.boxes.size(), 1);
        QVERIFY2(driver.boxes[0].text.contains("database might be in use"), qPrintable(driver.boxes[0].text));
        QVERIFY(!w.Upgrade().sqlcPrincipal.Connected());
        intruder->Close();
        QCOMPARE(l.db.Scalar("SELECT VERSAO_BANCO_DADOS || '/' || (SELECT COUNT(*) FROM MOVIMENTO) FROM CONFIGURAR;"),
                 QStringLiteral("5/3"));
    }

    void backupFolderNamedError() {
        Lortu l(QString(), BackupFolder(QStringLiteral("ERROR-backups")));
        TfPrincipal w;
        Prepare(w, true, false);
        Driver driver(l.db.Path());
        Click(w);
        QVERIFY(w.mBackup->Text().contains("ERROR-backups"));
        QCOMPARE(driver.boxes.size(), 1);
        QCOMPARE(driver.boxes[0].caption, QStringLiteral("Concluído"));
        QCOMPARE(l.BackupFiles().size(), 1);
    }

    void pinnedLocale() {
        Lortu l;
        {
            // Not Brazilian Portuguese: the time stamps take the locale's separators.
            TfPrincipal w;
            Prepare(w, true, false);
            PinClock(w);
            w.Upgrade().Locale = QLocale(QLocale::German, QLocale::Germany);
            Driver driver(l.db.Path());
            driver.login.Usuario = "sysdba";
            Click(w);
            QCOMPARE(Lines(w.mBackup).mid(4, 1), QStringList{"31.01.2024 14:05:00.000 Início"});
            QCOMPARE(w.Upgrade().Usuario, QStringLiteral("SYSDBA"));
        }
        // And its upper-case rules: a Turkish dotted i, as the service manager then receives it.
        TfPrincipal t;
        Prepare(t, false, false);
        t.Upgrade().Locale = QLocale(QLocale::Turkish, QLocale::Turkey);
        Driver turkish(l.db.Path());
        turkish.login.Usuario = "admin";
        Click(t);
        QCOMPARE(t.Upgrade().Usuario, QStringLiteral("ADM\u0130N"));
        QCOMPARE(t.Upgrade().sqlcPrincipal.Param("User_Name"), QStringLiteral("admin"));
    }

    void namesWithAccentsReachTheServerAsTheyStand() {
        // A Brazilian installation: accents (and a "€", which Latin-1 lacks) in the database's folder and in
        // the backup folder of CONFIGURAR; the whole run with backup and compaction.
        const QString dataFolder = BackupFolder(QStringLiteral("São Paulo €"));
        Lortu l({}, BackupFolder(QStringLiteral("Cópias Diárias €")),
                dataFolder.mid(WorkFolder().size() + 1) + QStringLiteral("lortu"));
        QVERIFY(l.db.Path().startsWith(dataFolder));
        TfPrincipal w;
        Prepare(w);
        PinClock(w);
        Driver driver(l.db.Path());
        Click(w);
        QCOMPARE(driver.boxes.size(), 1);
        QCOMPARE(driver.boxes[0].text, QStringLiteral("Concluído"));
        QCOMPARE(l.db.Scalar("SELECT VERSAO_BANCO_DADOS FROM CONFIGURAR;"), QStringLiteral("5"));
        // The files on disk carry exactly those names.
        const QString file = QFileInfo(l.db.Path()).fileName();
        const QString backupName = l.backupFolder + file + ".20240131.1405.versao.1.fbk";
        const QString compactName = l.backupFolder + file + ".20240131.1407.fbk";
        QCOMPARE(l.BackupFiles(),
                 (QStringList{QFileInfo(backupName).fileName(), QFileInfo(compactName).fileName()}));
        QVERIFY(QFile::exists(backupName));
        QVERIFY(QFile::exists(l.db.Path()));
        // The panes show them right, in the program's lines and in the server's alike.
        const QStringList backup = Lines(w.mBackup);
        QCOMPARE(backup[3], backupName);
        QCOMPARE(backup[6], QStringLiteral("gbak:readied database %1 for backup ").arg(l.db.Path()));
        QVERIFY(Lines(w.mCompactar).contains(QStringLiteral("gbak:opened file %1 ").arg(compactName)));
        QVERIFY(!AllVisibleText(w, driver.boxes).contains(QStringLiteral("Ã")));
    }

    void aNameThatCannotBeCarriedIsRefusedBeforeAnything() {
        Lortu l;
        TfPrincipal w;
        Prepare(w);
        Driver driver(l.db.Path() + QChar(0xD800)); // half a character: no encoding carries it
        Click(w);
        QCOMPARE(driver.boxes.size(), 1);
        QCOMPARE(driver.boxes[0].text,
                 QStringLiteral("O campo Banco Dados tem um caractere que não pode ser enviado ao "
                                "servidor como está (U+D800). Nada foi feito."));
        QVERIFY(w.bAtualizar->isVisible());
        QCOMPARE(Lines(w.mAtualizar).size(), 7);
        QCOMPARE(l.db.Scalar("SELECT VERSAO_BANCO_DADOS FROM CONFIGURAR;"), QStringLiteral("1"));
    }

    void aServerOnAnotherPortTakesEveryConnection() {
        // The server text carries its own port: the count, the database and the services all go through it.
        Lortu l;
        Relay relay(3061, 0);
        TfPrincipal w;
        Prepare(w);
        Driver driver(l.db.Path());
        driver.login.Servidor = QStringLiteral(" 127.0.0.1/3061 ");
        Click(w);
        QCOMPARE(driver.boxes.size(), 1);
        QCOMPARE(driver.boxes[0].text, QStringLiteral("Concluído"));
        QCOMPARE(l.db.Scalar("SELECT VERSAO_BANCO_DADOS FROM CONFIGURAR;"), QStringLiteral("5"));
        // The count, the backup, the opening, a new attachment after each of the four steps, the compaction's
        // backup, its verification (a restore and an opening) and its restore.
        QCOMPARE(relay.Accepted(), 11);
    }

    void aStopBeforeAStageNeverStartsIt_data() {
        QTest::addColumn<QString>("stage");
        QTest::addColumn<QString>("version");
        QTest::newRow("count") << "contagem"
                               << "1";
        QTest::newRow("backup") << "backup"
                                << "1";
        QTest::newRow("step 3") << "versão 3"
                                << "2";
        QTest::newRow("compaction") << "compactação"
                                    << "5";
        QTest::newRow("verification") << "verificação"
                                      << "5";
        QTest::newRow("restore") << "restauração"
                                 << "5";
    }
    void aStopBeforeAStageNeverStartsIt() {
        QFETCH(QString, stage);
        QFETCH(QString, version);
        Lortu l;
        TfPrincipal w;
        Prepare(w);
        PinClock(w);
        Driver driver(l.db.Path());
        // The request lands right before the stage's entry, and has reached the run when the entry comes.
        w.Upgrade().OnStageEntry = [&](const QString& entering) {
            if (entering != stage)
                return;
            OnWindowThread(w, [&] { w.Session().RequestStop("teste"); });
            QVERIFY(QTest::qWaitFor([&] { return w.Upgrade().StopRequested(); }, 10000));
        };
        Click(w);
        QCOMPARE(Lines(w.mAtualizar).last(), QStringLiteral("Atualização interrompida."));
        QCOMPARE(l.db.Scalar("SELECT VERSAO_BANCO_DADOS FROM CONFIGURAR;"), version);
        const QString backup = w.mBackup->Text();
        const QString compactar = w.mCompactar->Text();
        QCOMPARE(backup.contains("gbak:"), stage != "contagem" && stage != "backup");
        QCOMPARE(w.mSQL->Text().contains("ALTER TRIGGER TR_HISTORICO_UPDATE_DELETE INACTIVE"),
                 stage == "compactação" || stage == "verificação" || stage == "restauração");
        const bool afterBackup = stage == "verificação" || stage == "restauração";
        QCOMPARE(compactar.contains("Close Database"), afterBackup);
        // Never a restore after the request: the database was not dropped and rebuilt.
        QVERIFY(!compactar.contains("gbak:created database " + l.db.Path()));
        QCOMPARE(compactar.contains("gbak:created database"), stage == "restauração");
        QVERIFY(!w.StatusBar1->currentMessage().startsWith("Concluído"));
        if (afterBackup)
            QVERIFY(Lines(w.mCompactar).last().endsWith(" Tempo"));
        QCOMPARE(l.BackupFiles().filter(".verificacao.").size(), 0);
    }

    void aBackupThatDoesNotRestoreNeverReplacesTheDatabase_data() {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QString>("message");
        QTest::newRow("an index that fails") << "index"
                                             << "A compactação não foi feita: o backup %1 não pôde ser restaurado. "
                                                "O banco de dados continua como estava, já na versão 5.";
        // Somebody's file under the scratch name: it is not restored over, and not dropped.
        QTest::newRow("the name is taken") << "taken"
                                           << "A compactação não foi feita: já existe o arquivo %2 no servidor, onde o "
                                              "backup seria restaurado para verificação. O banco de dados continua "
                                              "como estava, já na versão 5.";
        // A stop while the scratch restore runs waits for it, drops the scratch and never replaces.
        QTest::newRow("a stop") << "stop"
                                << "";
    }
    void aBackupThatDoesNotRestoreNeverReplacesTheDatabase() {
        QFETCH(QString, fault);
        QFETCH(QString, message);
        Lortu l(fault == "index" ? IndexThatFailsOnRestore() : QString());
        TfPrincipal w;
        Prepare(w, false, true);
        Driver driver(l.db.Path());
        QString scratch;
        const QByteArray theirs = "não é um banco de dados";
        w.Upgrade().OnStageEntry = [&](const QString& stage) {
            if (stage != "verificação")
                return;
            scratch = VerificationFileName(w.Upgrade().CompactionFile());
            if (fault == "taken") {
                QFile f(scratch);
                QVERIFY(f.open(QIODevice::WriteOnly));
                f.write(theirs);
            }
        };
        if (fault == "stop")
            OnLine(w, Pane::Compactar, "Verificação do backup", [&] {
                OnWindowThread(w, [&] { w.Session().RequestStop("teste"); });
            });
        Click(w);
        const QString compactar = w.mCompactar->Text();
        const QString file = Lines(w.mCompactar).value(2);
        QVERIFY2(file.endsWith(".fbk"), qPrintable(file));
        if (fault == "stop") {
            QCOMPARE(driver.boxes.size(), 1);
            QCOMPARE(driver.boxes[0].text, QStringLiteral("Atualização interrompida."));
            QCOMPARE(Lines(w.mAtualizar).last(), QStringLiteral("Atualização interrompida."));
            QVERIFY(compactar.contains("Backup verificado: o banco restaurado abriu e foi apagado."));
        } else {
            QCOMPARE(driver.boxes.size(), 1);
            QCOMPARE(driver.boxes[0].text, QString(message).replace("%1", file).replace("%2", scratch));
            QVERIFY(Lines(w.mCompactar).last().endsWith(" Tempo"));
        }
        if (fault == "index")
            QVERIFY(compactar.contains("ERROR:attempt to store duplicate value"));
        // The database was never dropped for a restore: online, upgraded, with all its rows.
        QVERIFY(!compactar.contains("gbak:created database " + l.db.Path()));
        QCOMPARE(l.db.Scalar("SELECT MON$SHUTDOWN_MODE || '/' || (SELECT VERSAO_BANCO_DADOS FROM CONFIGURAR) || '/' || "
                             "(SELECT COUNT(*) FROM MOVIMENTO) FROM MON$DATABASE;"),
                 QStringLiteral("0/5/3"));
        QFile left(scratch);
        QCOMPARE(left.exists(), fault == "taken");
        if (fault == "taken") {
            QVERIFY(left.open(QIODevice::ReadOnly));
            QCOMPARE(left.readAll(), theirs);
        }
    }

    void theMenusRehearsal() {
        // The pop-up menu's command runs the rehearsal after the same login; the button stays for the run.
        Lortu l;
        const QString before = LiveState(l);
        TfPrincipal w;
        Prepare(w);
        Driver driver(l.db.Path());
        QCOMPARE(w.miEnsaiar->text(), QStringLiteral("Ensaiar a atualização..."));
        w.miEnsaiar->trigger();
        QVERIFY(QTest::qWaitFor([&] { return !w.RunActive(); }, 600000));
        QVERIFY2(driver.boxes.isEmpty(), qPrintable(driver.boxes.value(0).text));
        QCOMPARE(Lines(w.mAtualizar).last(), QStringLiteral("Ensaio concluído: todas as versões seriam aplicadas."));
        QCOMPARE(w.StatusBar1->currentMessage(), QStringLiteral("Ensaio concluído."));
        QVERIFY(w.bAtualizar->isVisible() && w.bAtualizar->isEnabled() && w.miEnsaiar->isEnabled());
        QCOMPARE(LiveState(l), before);
        QCOMPARE(l.BackupFiles().filter(".ensaio.fbk").size(), 1);
        QCOMPARE(l.BackupFiles().size(), 1);
    }

    void aRecordThatCannotBeWrittenIsSaid() {
        // Something that is no folder stands where the records go.
        const QString folder = RunLog::Folder();
        QDir(folder).removeRecursively();
        QFile blocker(folder);
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        struct Unblock {
            QString path;
            ~Unblock() { QFile::remove(path); }
        } unblock{folder};
        Lortu l("UPDATE CONFIGURAR SET VERSAO_BANCO_DADOS = 5;");
        TfPrincipal w;
        Prepare(w);
        Driver driver(l.db.Path());
        Click(w);
        const QString said = "O registro desta execução não pôde ser criado na pasta " + folder;
        QCOMPARE(Lines(w.mAtualizar).filter(said).size(), 1);
        QVERIFY(w.StatusBar1->currentMessage().startsWith(said));
        QVERIFY(Lines(w.mAtualizar).contains("Banco dados já esta atualizado."));
    }

    void wrongPasswordKeepsTheButton() {
        Lortu l;
        TfPrincipal w;
        Prepare(w);
        Driver driver(l.db.Path());
        driver.login.Senha = "errada";
        Click(w);
        QCOMPARE(driver.boxes.size(), 1);
        QVERIFY(driver.boxes[0].text.startsWith("[Dravix][Phys][FB]Your user name and password are not defined."));
        QVERIFY(!driver.boxes[0].text.contains("errada"));
        QVERIFY(w.bAtualizar->isVisible());
        QCOMPARE(Lines(w.mAtualizar).size(), 7);
    }
};

QTEST_MAIN(TestUpgradeRun)
#include "TestUpgradeRun.moc"
