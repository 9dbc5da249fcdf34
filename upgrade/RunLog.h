#pragma once

#include "upgrade/UpgradeRun.h"

#include <QDateTime>
#include <QFile>
#include <QString>
#include <QStringList>
#include <functional>
#include <mutex>

namespace abd {

/// How the record of a run names each pane, the status bar and the other things a run shows.
namespace RecordTag {
inline const QString Status = QStringLiteral("status");
inline const QString Message = QStringLiteral("mensagem");
inline const QString Error = QStringLiteral("erro");
inline const QString Run = QStringLiteral("execução");
QString Of(Pane pane);
} // namespace RecordTag

/// A message as a pane shows it: CR LF and a lone CR inside the text break its line as LF does; a CR at its
/// very end (an echo ends with the one after its terminator) breaks nothing, so that one write is one line.
QString PaneText(const QString& message);

/// One text as a record shows it: each line of its PaneText after its tag in brackets.
QStringList TaggedLines(const QString& tag, const QString& text);

/// The record of one run: a UTF-8 file in the user's data folder with every line the window showed, each with
/// the time it was shown. Every line reaches the file as it is written, so the file is complete up to its last
/// line however the program ends. The password is never written: nothing that holds it passes here.
class RunLog {
public:
    /// The folder of the records (the application's data location).
    static QString Folder();

    /// Creates the file, named after the run's start and the database, readable by its owner alone in a
    /// folder that only its owner may enter; false when it cannot be written (Problem() says why), and then
    /// every write does nothing.
    bool Open(const QDateTime& start, const QString& database);
    /// Why the last Open failed, in the program's words, naming the folder.
    QString Problem() const;
    /// Writes every line of `text` with its tag and the current time; may be called from any thread.
    void Write(const QString& tag, const QString& text);
    /// Called once, on the writing thread, the first time a write fails (a full disk): the text says so.
    std::function<void(const QString& text)> OnWriteFailure;
    void Close();
    QString FileName() const;

    /// The part of a database text that names its record: the file name of a path, without characters that
    /// file names should not hold.
    static QString DatabasePart(const QString& database);

private:
    mutable std::mutex mutex_;
    QFile file_;
    QString problem_;
    bool writeFailed_ = false;
};

/// A host that records every line and box of the run in a RunLog, then passes the call on.
class RecordingHost : public UpgradeHost {
public:
    RecordingHost(UpgradeHost& inner, RunLog& log) : inner_(inner), log_(log) {}

    /// Every pane line as the run writes it, on the run's thread, before the host shows it.
    std::function<void(Pane pane, const QString& line)> LineTap;

    bool Login(LoginValues& values) override { return inner_.Login(values); }
    void Information(const QString& text) override;
    void Concluded() override;
    void Append(Pane pane, const QString& line) override;
    void SetStatus(const QString& text) override;
    void ConsolePut(const QString& message) override;
    void ProgressBackup(const QString& line) override;
    void ProgressCompactar(const QString& line) override;
    void HideUpdateCommand() override { inner_.HideUpdateCommand(); }
    bool BackupChecked() override { return inner_.BackupChecked(); }
    bool CompactarChecked() override { return inner_.CompactarChecked(); }
    void ExecuteBackup() override { inner_.ExecuteBackup(); }
    void ExecuteCompactar() override { inner_.ExecuteCompactar(); }
    void SetBusy(bool busy) override { inner_.SetBusy(busy); }
    void RecordProblem(const QString& text) override { inner_.RecordProblem(text); }

private:
    void Record(Pane pane, const QString& line);

    UpgradeHost& inner_;
    RunLog& log_;
};

} // namespace abd
