// Kvarnik, the operator workstation: start-up check, work folder, main window.
#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>
#include <QScreen>
#include <QStandardPaths>
#include <QTimer>

#include "app/Workspace.h"
#include "app/ui/MainWindow.h"
#include "app/ui/QtOperator.h"
#include "platform/QtEventPump.h"
#include "platform/StartupCheck.h"
#include "platform/SystemClock.h"
#include "platform/WorkspacePorts.h"

namespace {

// Copies the demo folder once; later runs keep what the operator changed there.
bool copyFolder(const QString& from, const QString& to)
{
    QDir src(from);
    if (!src.exists() || !QDir().mkpath(to))
        return false;
    for (const QFileInfo& fi : src.entryInfoList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot)) {
        const QString target = to + QLatin1Char('/') + fi.fileName();
        if (fi.isDir()) {
            if (!copyFolder(fi.filePath(), target))
                return false;
        } else if (!QFileInfo::exists(target) && !QFile::copy(fi.filePath(), target)) {
            return false;
        }
    }
    return true;
}

QString findDemoSource()
{
    const QString exeDir = QCoreApplication::applicationDirPath();
    const QStringList candidates = {
        exeDir + QStringLiteral("/data/demo"),
        exeDir + QStringLiteral("/../share/kvarnik/demo"),
        QStringLiteral(KV_SOURCE_DIR "/data/demo"),
    };
    for (const QString& c : candidates)
        if (QFileInfo::exists(c + QStringLiteral("/Sprav.txt")))
            return QDir(c).absolutePath();
    return {};
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("kvarnik"));
    QApplication::setApplicationDisplayName(QStringLiteral("КВАРНИК"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Kvarnik operator workstation"));
    parser.addHelpOption();
    QCommandLineOption dataDir(QStringLiteral("data-dir"), QStringLiteral("Work folder (default: the program's folder)."), QStringLiteral("DIR"));
    QCommandLineOption demo(QStringLiteral("demo"), QStringLiteral("Run on a copy of the demo folder with the simulated controller."));
    QCommandLineOption shot(QStringLiteral("screenshot"), QStringLiteral("Save a picture of the main window to FILE once it is shown."), QStringLiteral("FILE"));
    QCommandLineOption quitAfter(QStringLiteral("quit-after"), QStringLiteral("Quit after MS milliseconds."), QStringLiteral("MS"));
    parser.addOptions({dataDir, demo, shot, quitAfter});
    parser.process(app);

    if (!kv::runStartupCheck()) {
        kv::QtOperator op;
        op.message(kv::MessageKind::Error, "Ошибка выделения памяти");
        return 1;
    }

    QString folder = QCoreApplication::applicationDirPath();
    if (parser.isSet(demo)) {
        const QString source = findDemoSource();
        folder = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) + QStringLiteral("/demo");
        if (source.isEmpty() || !copyFolder(source, folder)) {
            kv::QtOperator op;
            op.message(kv::MessageKind::Error, "Не удалось подготовить демонстрационную рабочую папку " + folder.toStdString());
            return 1;
        }
    }
    if (parser.isSet(dataDir))
        folder = parser.value(dataDir);
    folder = QDir(folder).absolutePath() + QLatin1Char('/');

    kv::SystemClock clock;
    kv::QtEventPump pump;
    kv::QtOperator op;
    kv::Workspace ws(folder.toStdString(), clock, pump, op);
    kv::WorkspacePortOpener ports(ws);
    ws.setPortOpener(&ports);
    ports.setDemoScenario(parser.isSet(demo));
    kv::MainWindow window(ws, op);
    op.setParent(&window);
    op.setStatusSink([&window](const std::string& s) { window.showStatus(QString::fromStdString(s)); });
    window.show();
    window.activateWorkspace();

    if (parser.isSet(shot)) {
        const QString path = parser.value(shot);
        QTimer::singleShot(1500, &window, [&window, path] { window.grab().save(path); });
    }
    if (parser.isSet(quitAfter))
        QTimer::singleShot(parser.value(quitAfter).toInt(), &app, &QApplication::quit);
    return app.exec();
}
