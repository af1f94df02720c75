#include "app/DesktopOpener.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryFile>
#include <QTimer>
#include <cstring>
#include <memory>
#include <utility>
#include <vector>

extern char** environ;

namespace {

DesktopOpener::Hook& CurrentHook() {
    static DesktopOpener::Hook hook;
    return hook;
}

// How long a failure is worth reporting: xdg-open ends once the file manager has the folder;
// `quorvel play` runs until it is stopped, so an early end is a failure to start.
constexpr qint64 kWatchFolderMs = 60000;
constexpr qint64 kWatchMovieMs = 10000;
constexpr qsizetype kReportLines = 4;

// Starts program with its arguments in a session of its own, its outputs into the log file.
// Returns the pid, or -1 with errno's text in error.
pid_t Spawn(const QString& program, const QStringList& arguments, int logFd, QString& error) {
    std::vector<QByteArray> args{QFile::encodeName(program)};
    for (const QString& argument : arguments) args.push_back(QFile::encodeName(argument));
    std::vector<char*> argv;
    for (QByteArray& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, logFd, STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, logFd, STDERR_FILENO);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    // Ctrl-C in the terminal that started the window must not stop what it opened.
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID);
    pid_t pid = -1;
    const int code = posix_spawnp(&pid, argv[0], &actions, &attributes, argv.data(), environ);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    if (code == 0) return pid;
    error = QString::fromLocal8Bit(strerror(code));
    return -1;
}

// Watches a started program until it ends (reaping it), and reports a failure within the
// watch time with the first lines it printed.
void Watch(pid_t pid, std::shared_ptr<QTemporaryFile> log, const QString& name, qint64 watchMs,
           QObject* context, DesktopOpener::Failed failed) {
    auto* timer = new QTimer(context);
    auto clock = std::make_shared<QElapsedTimer>();
    clock->start();
    QObject::connect(timer, &QTimer::timeout, context, [=] {
        int status = 0;
        if (waitpid(pid, &status, WNOHANG) != pid) {
            // Past the watch time it is only reaped once it ends.
            if (clock->elapsed() > watchMs) timer->setInterval(2000);
            return;
        }
        timer->deleteLater();
        if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return;
        if (clock->elapsed() > watchMs) return;
        log->seek(0);
        const QStringList lines =
            QString::fromLocal8Bit(log->readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        const QString cause =
            lines.isEmpty() ? QCoreApplication::translate("DesktopOpener", "it ended with status %1")
                                  .arg(WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status))
                            : lines.mid(0, kReportLines).join(QLatin1Char('\n'));
        failed(QStringLiteral("%1: %2").arg(name, cause));
    });
    timer->start(200);
}

}  // namespace

void DesktopOpener::SetHook(Hook hook) { CurrentHook() = std::move(hook); }

QString DesktopOpener::QuorvelProgram() {
    const QDir here(QCoreApplication::applicationDirPath());
    for (const QString& candidate : {here.filePath(QStringLiteral("quorvel")),
                                     here.filePath(QStringLiteral("../cli/quorvel"))}) {
        const QFileInfo file(candidate);
        if (file.isFile() && file.isExecutable()) return file.canonicalFilePath();
    }
    return QStandardPaths::findExecutable(QStringLiteral("quorvel"));
}

void DesktopOpener::Open(Kind kind, const QString& target, QObject* context, Failed failed) {
    if (CurrentHook()) {
        if (const QString failure = CurrentHook()(kind, target); !failure.isEmpty())
            failed(failure);
        return;
    }
    const bool movie = kind == Kind::Movie;
    const QString program = movie ? QuorvelProgram() : QStringLiteral("xdg-open");
    const QString name = movie ? QStringLiteral("quorvel play") : program;
    if (program.isEmpty()) {
        failed(QCoreApplication::translate(
            "DesktopOpener", "quorvel play: the quorvel program is neither beside %1 nor on the PATH")
                   .arg(QCoreApplication::applicationFilePath()));
        return;
    }
    auto log = std::make_shared<QTemporaryFile>();
    QString error = QCoreApplication::translate("DesktopOpener", "no temporary file for its output");
    const pid_t pid = log->open() ? Spawn(program,
                                          movie ? QStringList{QStringLiteral("play"), target}
                                                : QStringList{target},
                                          log->handle(), error)
                                  : -1;
    if (pid < 0) {
        failed(QCoreApplication::translate("DesktopOpener", "%1 could not be started: %2")
                   .arg(name, error));
        return;
    }
    Watch(pid, std::move(log), name, movie ? kWatchMovieMs : kWatchFolderMs, context,
          std::move(failed));
}
