#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include "app/CPrompts.h"
#include "app/DesktopOpener.h"

// Stands in for the user at every message box and picker while it lives: records each request
// and answers pickers, questions and choices with the next queued answer (an empty answer is a
// cancel, No, or Escape). One of those with no answer queued is recorded as unexpected and
// cancelled. An information's button is pressed when it is the one PressAction named.
// It stands in for the desktop too: every folder or movie to open is recorded, and fails with
// the text given to FailOpening.
class PromptRecorder {
public:
    struct Opened {
        DesktopOpener::Kind kind;
        QString target;
    };

    PromptRecorder();
    ~PromptRecorder();
    PromptRecorder(const PromptRecorder&) = delete;
    PromptRecorder& operator=(const PromptRecorder&) = delete;

    void QueueAnswer(const QString& answer) { m_answers << answer; }
    void PressAction(const QString& action) { m_action = action; }
    void FailOpening(const QString& failure) { m_openFailure = failure; }

    const QList<CPrompts::Request>& Requests() const { return m_requests; }
    QList<CPrompts::Request> OfKind(CPrompts::Kind kind) const;
    QStringList Texts(CPrompts::Kind kind) const;
    const QList<Opened>& OpenedItems() const { return m_opened; }
    int Unexpected() const { return m_nUnexpected; }

private:
    QString Answer(const CPrompts::Request& request);

    QStringList m_answers;
    QList<CPrompts::Request> m_requests;
    QList<Opened> m_opened;
    QString m_action;
    QString m_openFailure;
    int m_nUnexpected = 0;
};
