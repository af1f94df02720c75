#pragma once

#include <QString>
#include <QStringList>
#include <functional>

class QWidget;

// The message boxes and file dialogs of the application. Everything that waits for the user
// goes through here, so that a test can install a hook that answers in the user's place and no
// modal dialog ever waits for a click. Every button says what it does; Escape closes every box,
// and Enter presses the button that changes nothing (Close, or a question's Cancel).
class CPrompts {
public:
    enum class Kind { Information, Warning, Choice, OpenFile, ChooseFolder };

    struct Request {
        Kind kind = Kind::Information;
        QString caption;
        QString text;  // the message; for a picker the file filter or the starting folder
        // A choice's buttons; a message's buttons besides Close ("Open Folder", "Play").
        QStringList choices;
    };

    // Answers a request in place of the user: the chosen path, or an empty string for a
    // cancelled picker; for a choice or a message with buttons, the text of the button pressed
    // (empty: Escape).
    using Hook = std::function<QString(const Request&)>;

    // An empty hook restores the real dialogs. Used from the GUI thread only.
    static void SetHook(Hook hook);

    // A message with Close and the given buttons; the text of the one pressed, empty for Close
    // (and Escape). Notes and results come with the information icon, what went wrong with
    // the warning icon.
    static QString Information(QWidget* parent, const QString& caption, const QString& text,
                               const QStringList& actions = {});
    static QString Warning(QWidget* parent, const QString& caption, const QString& text,
                           const QStringList& actions = {});
    // Buttons to choose from, each a verb; the text of the one pressed. The last choice is
    // "Cancel", the default and what Escape answers: it changes nothing.
    static QString Choose(QWidget* parent, const QString& caption, const QString& text,
                          const QStringList& choices);
    // Takes back the choice waiting for an answer, when the program no longer needs it: it
    // answers its last choice at once.
    static void Withdraw();

    // The chosen file, or an empty string when the user cancelled.
    static QString OpenFile(QWidget* parent, const QString& caption, const QString& filter,
                            const QString& startFolder);
    // The chosen folder, or an empty string when the user cancelled.
    static QString ChooseFolder(QWidget* parent, const QString& caption,
                                const QString& startFolder);
};
