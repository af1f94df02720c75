#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <functional>

#include "app/CPrompts.h"
#include "app/DesktopOpener.h"

// Stands in for the user at every message box and picker while it lives: records each request
// and answers pickers and choices with the next queued answer (an empty answer is a cancel, or
// Escape). One of those with no answer queued is recorded as unexpected and cancelled. A
// message's button is pressed when it is the one PressAction named. What WhileChoosing was
// given runs while the next choice waits for its answer, as the program goes on behind a box.
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
    void WhileChoosing(std::function<void()> during) { m_during = std::move(during); }

    const QList<CPrompts::Request>& Requests() const { return m_requests; }
    QList<CPrompts::Request> OfKind(CPrompts::Kind kind) const;
    QStringList Texts(CPrompts::Kind kind) const;
    const QList<Opened>& OpenedItems() const { return m_opened; }
    int Unexpected() const { return m_nUnexpected; }
    // How many choices were waiting for an answer when request i came (0: none).
    int Over(qsizetype i) const { return m_over.value(i); }

private:
    QString Answer(const CPrompts::Request& request);

    QStringList m_answers;
    QList<CPrompts::Request> m_requests;
    QList<int> m_over;
    std::function<void()> m_during;
    int m_nWaiting = 0;
    QList<Opened> m_opened;
    QString m_action;
    QString m_openFailure;
    int m_nUnexpected = 0;
};
