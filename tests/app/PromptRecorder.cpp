#include "PromptRecorder.h"

PromptRecorder::PromptRecorder() {
    CPrompts::SetHook([this](const CPrompts::Request& request) { return Answer(request); });
}

PromptRecorder::~PromptRecorder() { CPrompts::SetHook({}); }

QList<CPrompts::Request> PromptRecorder::OfKind(CPrompts::Kind kind) const {
    QList<CPrompts::Request> found;
    for (const CPrompts::Request& request : m_requests)
        if (request.kind == kind) found << request;
    return found;
}

QString PromptRecorder::Answer(const CPrompts::Request& request) {
    m_requests << request;
    if (request.kind == CPrompts::Kind::Information)
        return m_bTakeActions ? request.action : QString();
    if (request.kind == CPrompts::Kind::Warning || request.kind == CPrompts::Kind::OpenFolder)
        return {};
    if (m_answers.isEmpty()) {
        ++m_nUnexpected;
        return {};
    }
    return m_answers.takeFirst();
}
