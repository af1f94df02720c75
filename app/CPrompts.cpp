#include "app/CPrompts.h"

#include <QFileDialog>
#include <QMessageBox>
#include <utility>

namespace {

CPrompts::Hook& CurrentHook() {
    static CPrompts::Hook hook;
    return hook;
}

}  // namespace

void CPrompts::SetHook(Hook hook) { CurrentHook() = std::move(hook); }

void CPrompts::Information(QWidget* parent, const QString& caption, const QString& text) {
    if (CurrentHook()) {
        CurrentHook()({Kind::Information, caption, text});
        return;
    }
    QMessageBox::information(parent, caption, text);
}

void CPrompts::Warning(QWidget* parent, const QString& caption, const QString& text) {
    if (CurrentHook()) {
        CurrentHook()({Kind::Warning, caption, text});
        return;
    }
    QMessageBox::warning(parent, caption, text);
}

QString CPrompts::OpenFile(QWidget* parent, const QString& caption, const QString& filter,
                           const QString& startFolder) {
    if (CurrentHook()) return CurrentHook()({Kind::OpenFile, caption, filter});
    return QFileDialog::getOpenFileName(parent, caption, startFolder, filter);
}

QString CPrompts::ChooseFolder(QWidget* parent, const QString& caption,
                               const QString& startFolder) {
    if (CurrentHook()) return CurrentHook()({Kind::ChooseFolder, caption, startFolder});
    return QFileDialog::getExistingDirectory(parent, caption, startFolder);
}
