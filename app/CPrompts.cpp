#include "app/CPrompts.h"

#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <utility>

namespace {

CPrompts::Hook& CurrentHook() {
    static CPrompts::Hook hook;
    return hook;
}

// A message box whose Escape presses `escape`; returns the button pressed (escape when the box
// was closed otherwise).
QAbstractButton* RunBox(QMessageBox& box, QAbstractButton* escape) {
    box.setEscapeButton(escape);
    box.exec();
    return box.clickedButton() ? box.clickedButton() : escape;
}

}  // namespace

void CPrompts::SetHook(Hook hook) { CurrentHook() = std::move(hook); }

void CPrompts::Warning(QWidget* parent, const QString& caption, const QString& text) {
    if (CurrentHook()) {
        CurrentHook()({Kind::Warning, caption, text, {}});
        return;
    }
    QMessageBox box(QMessageBox::Warning, caption, text, QMessageBox::Ok, parent);
    RunBox(box, box.button(QMessageBox::Ok));
}

QString CPrompts::Information(QWidget* parent, const QString& caption, const QString& text,
                              const QStringList& actions) {
    if (CurrentHook()) {
        const QString answer = CurrentHook()({Kind::Information, caption, text, actions});
        return actions.contains(answer) ? answer : QString();
    }
    QMessageBox box(QMessageBox::Information, caption, text, QMessageBox::Ok, parent);
    for (const QString& action : actions) box.addButton(action, QMessageBox::ActionRole);
    box.setDefaultButton(QMessageBox::Ok);
    QAbstractButton* pressed = RunBox(box, box.button(QMessageBox::Ok));
    return pressed == box.button(QMessageBox::Ok) ? QString() : pressed->text();
}

bool CPrompts::Question(QWidget* parent, const QString& caption, const QString& text) {
    if (CurrentHook()) return !CurrentHook()({Kind::Question, caption, text, {}}).isEmpty();
    QMessageBox box(QMessageBox::Question, caption, text, QMessageBox::Yes | QMessageBox::No,
                    parent);
    box.setDefaultButton(QMessageBox::No);
    return RunBox(box, box.button(QMessageBox::No)) == box.button(QMessageBox::Yes);
}

QString CPrompts::Choose(QWidget* parent, const QString& caption, const QString& text,
                         const QStringList& choices) {
    if (CurrentHook()) {
        const QString answer = CurrentHook()({Kind::Choice, caption, text, choices});
        return choices.contains(answer) ? answer : choices.value(choices.size() - 1);
    }
    QMessageBox box(QMessageBox::Question, caption, text, QMessageBox::NoButton, parent);
    QPushButton* last = nullptr;
    for (const QString& choice : choices) last = box.addButton(choice, QMessageBox::AcceptRole);
    box.setDefaultButton(last);
    return RunBox(box, last)->text();
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
