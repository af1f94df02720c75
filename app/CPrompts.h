#pragma once

#include <QString>
#include <QStringList>
#include <functional>

class QWidget;

// The message boxes and file dialogs of the application. Everything that waits for the user
// goes through here, so that a test can install a hook that answers in the user's place and no
// modal dialog ever waits for a click. Escape closes every box.
class CPrompts {
public:
    enum class Kind { Information, Warning, Question, Choice, OpenFile, ChooseFolder };

    struct Request {
        Kind kind = Kind::Information;
        QString caption;
        QString text;  // the message; for a picker the file filter or the starting folder
        // A choice's buttons; an information's buttons besides OK ("Open Folder", "Play").
        QStringList choices;
    };

    // Answers a request in place of the user: the chosen path, or an empty string for a
    // cancelled picker; for a question a non-empty answer is "Yes"; for a choice or an
    // information with buttons, the text of the button pressed (empty: Escape).
    using Hook = std::function<QString(const Request&)>;

    // An empty hook restores the real dialogs. Used from the GUI thread only.
    static void SetHook(Hook hook);

    static void Warning(QWidget* parent, const QString& caption, const QString& text);
    // An information with OK and the given buttons; the text of the one pressed, empty for OK
    // (and Escape).
    static QString Information(QWidget* parent, const QString& caption, const QString& text,
                               const QStringList& actions = {});
    // A Yes/No question; true for Yes. No is the default, and Escape's answer.
    static bool Question(QWidget* parent, const QString& caption, const QString& text);
    // Buttons to choose from; the text of the one pressed. The last choice is the default and
    // what Escape answers: make it the one that changes nothing.
    static QString Choose(QWidget* parent, const QString& caption, const QString& text,
                          const QStringList& choices);

    // The chosen file, or an empty string when the user cancelled.
    static QString OpenFile(QWidget* parent, const QString& caption, const QString& filter,
                            const QString& startFolder);
    // The chosen folder, or an empty string when the user cancelled.
    static QString ChooseFolder(QWidget* parent, const QString& caption,
                                const QString& startFolder);
};
