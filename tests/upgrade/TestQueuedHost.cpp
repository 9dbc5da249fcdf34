// The queue that carries the run's calls to the host's thread, without a window and without a server.
#include "upgrade/RunSession.h"

#include <QCoreApplication>
#include <QtTest>
#include <stdexcept>

using namespace abd;

namespace {
/// A host that keeps what reaches it and raises at one line, as a broken pane would.
class Panes : public UpgradeHost {
public:
    QStringList lines;
    bool Login(LoginValues&) override { return true; }
    void Information(const QString&) override {}
    void Concluded() override { lines << "(Concluído)"; }
    void Append(Pane, const QString& line) override {
        if (line == "quebra")
            throw std::runtime_error("a pane that cannot take the line");
        lines << line;
    }
    void SetStatus(const QString&) override {}
    void ConsolePut(const QString& message) override { lines << message; }
    void ProgressBackup(const QString&) override {}
    void ProgressCompactar(const QString&) override {}
    void HideUpdateCommand() override {}
    bool BackupChecked() override { return true; }
    bool CompactarChecked() override { return true; }
    void SetBusy(bool) override {}
};

/// The event loop's error trap, as the program's application object has one.
class TrappingApplication : public QCoreApplication {
public:
    using QCoreApplication::QCoreApplication;
    int trapped = 0;
    bool notify(QObject* receiver, QEvent* event) override {
        try {
            return QCoreApplication::notify(receiver, event);
        } catch (...) {
            ++trapped;
            return false;
        }
    }
};
} // namespace

class TestQueuedHost : public QObject {
    Q_OBJECT
private slots:
    void aThrowingCallStallsNothingAfterIt() {
        auto* app = static_cast<TrappingApplication*>(QCoreApplication::instance());
        Panes panes;
        QObject context;
        QueuedHost queued(panes, &context);
        queued.Append(Pane::Atualizar, "um");
        queued.Append(Pane::Atualizar, "quebra");
        queued.Append(Pane::Atualizar, "dois");
        queued.Concluded();
        QTRY_COMPARE(panes.lines, (QStringList{"um", "dois", "(Concluído)"}));
        QCOMPARE(app->trapped, 1);
    }
};

int main(int argc, char** argv) {
    TrappingApplication app(argc, argv);
    TestQueuedHost test;
    return QTest::qExec(&test, argc, argv);
}
#include "TestQueuedHost.moc"
