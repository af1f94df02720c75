#pragma once

#include <QString>
#include <functional>

class QWidget;

// The message boxes and file dialogs of the application. Everything that waits for the user
// goes through here, so that a test can install a hook that answers in the user's place and no
// modal dialog ever waits for a click.
class CPrompts {
public:
    enum class Kind { Information, Warning, OpenFile, ChooseFolder };

    struct Request {
        Kind kind = Kind::Information;
        QString caption;
        QString text;  // the message; for a picker the file filter or the starting folder
    };

    // Answers a request in place of the user: the chosen path, or an empty string for a
    // cancelled picker. The answer to a message is ignored.
    using Hook = std::function<QString(const Request&)>;

    // An empty hook restores the real dialogs. Used from the GUI thread only.
    static void SetHook(Hook hook);

    static void Information(QWidget* parent, const QString& caption, const QString& text);
    static void Warning(QWidget* parent, const QString& caption, const QString& text);

    // The chosen file, or an empty string when the user cancelled.
    static QString OpenFile(QWidget* parent, const QString& caption, const QString& filter,
                            const QString& startFolder);
    // The chosen folder, or an empty string when the user cancelled.
    static QString ChooseFolder(QWidget* parent, const QString& caption,
                                const QString& startFolder);
};
