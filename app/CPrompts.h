#pragma once

#include <QString>
#include <functional>

class QWidget;

// The message boxes and file dialogs of the application. Everything that waits for the user
// goes through here, so that a test can install a hook that answers in the user's place and no
// modal dialog ever waits for a click.
class CPrompts {
public:
    enum class Kind { Information, Warning, Question, OpenFile, ChooseFolder, OpenFolder };

    struct Request {
        Kind kind = Kind::Information;
        QString caption;
        QString text;  // the message; for a picker the file filter or the starting folder; for
                       // OpenFolder the folder
        QString action;  // an information's extra button ("Open Folder"), if any
    };

    // Answers a request in place of the user: the chosen path, or an empty string for a
    // cancelled picker; for a question a non-empty answer is "Yes"; for an information with an
    // action, the action's text when the user chose it. Other answers are ignored.
    using Hook = std::function<QString(const Request&)>;

    // An empty hook restores the real dialogs. Used from the GUI thread only.
    static void SetHook(Hook hook);

    static void Information(QWidget* parent, const QString& caption, const QString& text);
    static void Warning(QWidget* parent, const QString& caption, const QString& text);
    // An information with a second button besides OK; true when the user pressed it.
    static bool InformationWithAction(QWidget* parent, const QString& caption, const QString& text,
                                      const QString& action);
    // A Yes/No question; true for Yes. No is the default.
    static bool Question(QWidget* parent, const QString& caption, const QString& text);
    // Shows the folder in the desktop's file manager.
    static void OpenFolder(const QString& folder);

    // The chosen file, or an empty string when the user cancelled.
    static QString OpenFile(QWidget* parent, const QString& caption, const QString& filter,
                            const QString& startFolder);
    // The chosen folder, or an empty string when the user cancelled.
    static QString ChooseFolder(QWidget* parent, const QString& caption,
                                const QString& startFolder);
};
