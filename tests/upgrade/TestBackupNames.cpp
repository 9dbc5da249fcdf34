#include "upgrade/BackupNames.h"

#include <QtTest>

using namespace abd;

class TestBackupNames : public QObject {
    Q_OBJECT
private slots:
    void fileNames_data() {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QString>("database");
        QTest::addColumn<QString>("backup");
        QTest::addColumn<QString>("compaction");
        QTest::newRow("folder with separator") << "C:\\Backup\\" << "LORTU" << "C:\\Backup\\LORTU.20240131.1405.versao.3.fbk"
                                               << "C:\\Backup\\LORTU.20240131.1406.fbk";
        QTest::newRow("no separator") << "C:\\Backup" << "LORTU" << "C:\\BackupLORTU.20240131.1405.versao.3.fbk"
                                      << "C:\\BackupLORTU.20240131.1406.fbk";
        QTest::newRow("empty folder") << "" << "LORTU" << "LORTU.20240131.1405.versao.3.fbk" << "LORTU.20240131.1406.fbk";
        QTest::newRow("empty folder, path") << "" << "/var/lib/x/lortu.fdb" << "/var/lib/x/lortu.fdb.20240131.1405.versao.3.fbk"
                                            << "/var/lib/x/lortu.fdb.20240131.1406.fbk";
        // A database typed as a path goes under the folder by its file name.
        QTest::newRow("unix path") << "/srv/backup/" << "/var/lib/firebird/lortu.fdb"
                                   << "/srv/backup/lortu.fdb.20240131.1405.versao.3.fbk" << "/srv/backup/lortu.fdb.20240131.1406.fbk";
        QTest::newRow("windows path") << "C:\\Backup\\" << "C:\\Arquivos de programas\\Lortu\\Lortu.fdb"
                                      << "C:\\Backup\\Lortu.fdb.20240131.1405.versao.3.fbk" << "C:\\Backup\\Lortu.fdb.20240131.1406.fbk";
    }
    void fileNames() {
        QFETCH(QString, folder);
        QFETCH(QString, database);
        QFETCH(QString, backup);
        QFETCH(QString, compaction);
        const QDateTime t0(QDate(2024, 1, 31), QTime(14, 5, 59));
        QCOMPARE(BackupStageFileName(folder, database, t0, 3), backup);
        QCOMPARE(CompactionFileName(folder, database, t0.addSecs(60)), compaction);
    }

    void stamps_data() {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QString>("stamp");
        QTest::newRow("pt_BR") << "pt_BR" << "05/01/2024 09:07:03.045";
        QTest::newRow("C, no separators of its own") << "C" << "05/01/2024 09:07:03.045";
        QTest::newRow("de_DE") << "de_DE" << "05.01.2024 09:07:03.045";
        QTest::newRow("fi_FI") << "fi_FI" << "05.01.2024 09.07.03.045";
        QTest::newRow("sv_SE") << "sv_SE" << "05-01-2024 09:07:03.045";
        QTest::newRow("fr_CA, quoted time marks") << "fr_CA" << "05-01-2024 09:07:03.045";
    }
    void stamps() {
        QFETCH(QString, locale);
        QFETCH(QString, stamp);
        const QDateTime t(QDate(2024, 1, 5), QTime(9, 7, 3, 45));
        QCOMPARE(LogStamp(t, QLocale(locale)), stamp);
        QCOMPARE(FileStamp(t), QStringLiteral("20240105.0907"));
        QCOMPARE(DurationStamp(3 * 60000 + 12345), QStringLiteral("00:03:12.345"));
        QCOMPARE(DurationStamp(25LL * 3600000 + 61000), QStringLiteral("01:01:01.000"));
    }

    void errorMarkers_data() {
        QTest::addColumn<QString>("line");
        QTest::addColumn<bool>("marked");
        QTest::newRow("gbak error") << "gbak: ERROR:cannot open backup file /x" << true;
        QTest::newRow("bare error") << "ERROR: something" << true;
        QTest::newRow("lower case") << "gbak:error writing" << true;
        QTest::newRow("table name") << "gbak:    writing data for table ERRORLOG " << false;
        QTest::newRow("path") << "gbak:readied database /srv/error/lortu.fdb for backup " << false;
        QTest::newRow("word start") << "gbak:ERRORLOG table" << false;
        QTest::newRow("ordinary") << "gbak:closing file, committing, and finishing. 1024 bytes written " << false;
    }
    void errorMarkers() {
        QFETCH(QString, line);
        QFETCH(bool, marked);
        QCOMPARE(HasErrorMarker({"gbak:opened file x", line}), marked);
    }
};

QTEST_GUILESS_MAIN(TestBackupNames)
#include "TestBackupNames.moc"
