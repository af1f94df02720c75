#include "app/CPrompts.h"

#include <QDesktopServices>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QUrl>
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
        CurrentHook()({Kind::Information, caption, text, {}});
        return;
    }
    QMessageBox::information(parent, caption, text);
}

void CPrompts::Warning(QWidget* parent, const QString& caption, const QString& text) {
    if (CurrentHook()) {
        CurrentHook()({Kind::Warning, caption, text, {}});
        return;
    }
    QMessageBox::warning(parent, caption, text);
}

bool CPrompts::InformationWithAction(QWidget* parent, const QString& caption, const QString& text,
                                     const QString& action) {
    if (CurrentHook()) return CurrentHook()({Kind::Information, caption, text, action}) == action;
    QMessageBox box(QMessageBox::Information, caption, text, QMessageBox::Ok, parent);
    QPushButton* extra = box.addButton(action, QMessageBox::ActionRole);
    box.setDefaultButton(QMessageBox::Ok);
    box.exec();
    return box.clickedButton() == extra;
}

bool CPrompts::Question(QWidget* parent, const QString& caption, const QString& text) {
    if (CurrentHook()) return !CurrentHook()({Kind::Question, caption, text, {}}).isEmpty();
    return QMessageBox::question(parent, caption, text, QMessageBox::Yes | QMessageBox::No,
                                 QMessageBox::No) == QMessageBox::Yes;
}

void CPrompts::OpenFolder(const QString& folder) {
    if (CurrentHook()) {
        CurrentHook()({Kind::OpenFolder, {}, folder, {}});
        return;
    }
    QDesktopServices::openUrl(QUrl::fromLocalFile(folder));
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
