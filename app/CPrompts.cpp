#include "app/CPrompts.h"

#include <QCoreApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <utility>

namespace {

CPrompts::Hook& CurrentHook() {
    static CPrompts::Hook hook;
    return hook;
}

// The choice waiting for an answer: its last button, pressed when it is withdrawn; and whether
// it was.
struct Waiting {
    QPointer<QAbstractButton> last;
    bool withdrawn = false;
};
Waiting& Current() {
    static Waiting waiting;
    return waiting;
}

QString Tr(const char* text) { return QCoreApplication::translate("CPrompts", text); }

// A message box whose Escape and Enter press `escape`; returns the button pressed (escape when
// the box was closed otherwise).
QAbstractButton* RunBox(QMessageBox& box, QPushButton* escape) {
    box.setEscapeButton(escape);
    box.setDefaultButton(escape);
    box.exec();
    return box.clickedButton() ? box.clickedButton() : escape;
}

QString Message(QMessageBox::Icon icon, CPrompts::Kind kind, QWidget* parent,
                const QString& caption, const QString& text, const QStringList& actions) {
    if (CurrentHook()) {
        const QString answer = CurrentHook()({kind, caption, text, actions});
        return actions.contains(answer) ? answer : QString();
    }
    QMessageBox box(icon, caption, text, QMessageBox::NoButton, parent);
    for (const QString& action : actions) box.addButton(action, QMessageBox::ActionRole);
    QPushButton* close = box.addButton(Tr("Close"), QMessageBox::RejectRole);
    QAbstractButton* pressed = RunBox(box, close);
    return pressed == close ? QString() : pressed->text();
}

}  // namespace

void CPrompts::SetHook(Hook hook) { CurrentHook() = std::move(hook); }

QString CPrompts::Information(QWidget* parent, const QString& caption, const QString& text,
                              const QStringList& actions) {
    return Message(QMessageBox::Information, Kind::Information, parent, caption, text, actions);
}

QString CPrompts::Warning(QWidget* parent, const QString& caption, const QString& text,
                          const QStringList& actions) {
    return Message(QMessageBox::Warning, Kind::Warning, parent, caption, text, actions);
}

QString CPrompts::Choose(QWidget* parent, const QString& caption, const QString& text,
                         const QStringList& choices) {
    const QString cancel = choices.value(choices.size() - 1);
    Waiting& waiting = Current();
    waiting = {};
    QString answer;
    if (CurrentHook()) {
        answer = CurrentHook()({Kind::Choice, caption, text, choices});
    } else {
        QMessageBox box(QMessageBox::Question, caption, text, QMessageBox::NoButton, parent);
        QPushButton* last = nullptr;
        for (qsizetype i = 0; i < choices.size(); ++i)
            last = box.addButton(choices[i], i + 1 < choices.size() ? QMessageBox::AcceptRole
                                                                     : QMessageBox::RejectRole);
        waiting.last = last;
        answer = RunBox(box, last)->text();
    }
    const bool withdrawn = std::exchange(waiting, {}).withdrawn;
    return withdrawn || !choices.contains(answer) ? cancel : answer;
}

void CPrompts::Withdraw() {
    Waiting& waiting = Current();
    waiting.withdrawn = true;
    if (waiting.last) waiting.last->click();
}

QString CPrompts::OpenFile(QWidget* parent, const QString& caption, const QString& filter,
                           const QString& startFolder) {
    if (CurrentHook()) return CurrentHook()({Kind::OpenFile, caption, filter, {}});
    return QFileDialog::getOpenFileName(parent, caption, startFolder, filter);
}

QString CPrompts::ChooseFolder(QWidget* parent, const QString& caption,
                               const QString& startFolder) {
    if (CurrentHook()) return CurrentHook()({Kind::ChooseFolder, caption, startFolder, {}});
    return QFileDialog::getExistingDirectory(parent, caption, startFolder);
}
