#pragma once

#include "base/Pixels.h"

class CGifPreview;
class QButtonGroup;
class QCheckBox;
class QComboBox;
class QDialog;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QSpinBox;
struct ConversionSettings;

// The main window's controls and their layout, and nothing else: what they do is the dialog's
// business (CQuorvelDlg), and what they hold reaches the jobs through SettingsFromForm. Each
// control's object name is the one tests look it up by.
class CQuorvelForm {
public:
    // The Lossless button's id in the quality group, after those of the Quality values.
    static constexpr int kLosslessButton = 3;

    // Lays the controls out on the dialog, showing the settings' values.
    CQuorvelForm(QDialog* dialog, const ConversionSettings& start);

    // The stage colour, as its button shows it.
    RgbColor Background() const { return m_background; }
    void ShowBackground(RgbColor color);

    // Input options: the batch folder, the single GIF, the output folder.
    QLineEdit* m_pInputFolder = nullptr;
    QPushButton* m_pBrowseInputFolder = nullptr;
    QLineEdit* m_pGifPath = nullptr;
    QPushButton* m_pBrowseGif = nullptr;
    QLineEdit* m_pOutputFolder = nullptr;
    QPushButton* m_pChangeOutputFolder = nullptr;

    // The movie playing, what the input holds, how long the GIF and the movie play, and about
    // how large the movie will be.
    CGifPreview* m_pPreview = nullptr;
    QLabel* m_pGifInfo = nullptr;
    QLabel* m_pTimes = nullptr;
    QLabel* m_pMovieSize = nullptr;
    QPushButton* m_pUseGifTiming = nullptr;  // shown when the two differ

    // Conversion options.
    QSpinBox* m_pFps = nullptr;
    QLineEdit* m_pTargetUrl = nullptr;
    QCheckBox* m_pGifTiming = nullptr;
    // Low, normal and high JPEG quality under their Quality values; Lossless under
    // kLosslessButton.
    QButtonGroup* m_pQuality = nullptr;
    QCheckBox* m_pChangedAreas = nullptr;
    QPushButton* m_pBackground = nullptr;
    QCheckBox* m_pTransparent = nullptr;
    QCheckBox* m_pBatch = nullptr;
    QPushButton* m_pConvert = nullptr;
    // For Flash projects: a movie or a library (LibraryKind values), and the file's compression
    // (SwfCompression values).
    QComboBox* m_pLibrary = nullptr;
    QComboBox* m_pCompression = nullptr;

    // Extraction options: formats under their ExtractFormat values.
    QButtonGroup* m_pExtractFormat = nullptr;
    QPushButton* m_pExtract = nullptr;

    QProgressBar* m_pProgress = nullptr;
    QLabel* m_pStatus = nullptr;  // why nothing can start, or how the last job ended
    QPushButton* m_pAbout = nullptr;
    QPushButton* m_pExit = nullptr;

private:
    class Builder;

    RgbColor m_background = kWhiteRgb;
};

// The settings as the form shows them, read when a job starts or the preview needs them: the
// form is their only copy.
ConversionSettings SettingsFromForm(const CQuorvelForm& form);
