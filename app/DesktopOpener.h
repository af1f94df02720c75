#pragma once

#include <QString>
#include <functional>

class QObject;

// Opens what the program made outside it: a folder in the desktop's file manager (xdg-open), a
// movie in the browser (`quorvel play`, which serves it with Ruffle). The program runs on in a
// session of its own, whatever becomes of the window; a program that cannot start, or that
// ends with a failure soon after, is reported through `failed`.
class DesktopOpener {
public:
    enum class Kind { Folder, Movie };

    // What went wrong, for the user; called on the GUI thread while the context lives.
    using Failed = std::function<void(const QString& what)>;
    // Stands in for the desktop in tests: receives every request and returns the failure to
    // report, or an empty string.
    using Hook = std::function<QString(Kind kind, const QString& target)>;

    // An empty hook restores the real programs. Used from the GUI thread only.
    static void SetHook(Hook hook);

    static void Open(Kind kind, const QString& target, QObject* context, Failed failed);

    // The quorvel command line: beside this program (installed), in the build tree's cli/
    // folder, or on the PATH; empty when there is none.
    static QString QuorvelProgram();
};
