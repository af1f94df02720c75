#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include "app/CPrompts.h"

// Stands in for the user at every message box and picker while it lives: records each request
// and answers pickers and questions with the next queued answer (an empty answer is a cancel,
// or No). A picker or question with no answer queued is recorded as unexpected and cancelled.
// An information's extra button is pressed while TakeActions(true) holds.
class PromptRecorder {
public:
    PromptRecorder();
    ~PromptRecorder();
    PromptRecorder(const PromptRecorder&) = delete;
    PromptRecorder& operator=(const PromptRecorder&) = delete;

    void QueueAnswer(const QString& answer) { m_answers << answer; }
    void TakeActions(bool take) { m_bTakeActions = take; }

    const QList<CPrompts::Request>& Requests() const { return m_requests; }
    QList<CPrompts::Request> OfKind(CPrompts::Kind kind) const;
    int Unexpected() const { return m_nUnexpected; }
    void Clear() { m_requests.clear(); }

private:
    QString Answer(const CPrompts::Request& request);

    QStringList m_answers;
    QList<CPrompts::Request> m_requests;
    int m_nUnexpected = 0;
    bool m_bTakeActions = false;
};
