#include "PromptRecorder.h"

#include <utility>

PromptRecorder::PromptRecorder() {
    CPrompts::SetHook([this](const CPrompts::Request& request) { return Answer(request); });
    DesktopOpener::SetHook([this](DesktopOpener::Kind kind, const QString& target) {
        m_opened << Opened{kind, target};
        return m_openFailure;
    });
}

PromptRecorder::~PromptRecorder() {
    CPrompts::SetHook({});
    DesktopOpener::SetHook({});
}

QList<CPrompts::Request> PromptRecorder::OfKind(CPrompts::Kind kind) const {
    QList<CPrompts::Request> found;
    for (const CPrompts::Request& request : m_requests)
        if (request.kind == kind) found << request;
    return found;
}

QStringList PromptRecorder::Texts(CPrompts::Kind kind) const {
    QStringList texts;
    for (const CPrompts::Request& request : OfKind(kind)) texts << request.text;
    return texts;
}

QString PromptRecorder::Answer(const CPrompts::Request& request) {
    m_requests << request;
    m_over << m_nWaiting;
    if (request.kind == CPrompts::Kind::Information || request.kind == CPrompts::Kind::Warning)
        return request.choices.contains(m_action) ? m_action : QString();
    if (request.kind == CPrompts::Kind::Choice && m_during) {
        const std::function<void()> during = std::exchange(m_during, {});
        ++m_nWaiting;
        during();
        --m_nWaiting;
    }
    if (m_answers.isEmpty()) {
        ++m_nUnexpected;
        return {};
    }
    return m_answers.takeFirst();
}
