#include "app/CQuorvelForm.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDialog>
#include <QFontMetrics>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSizePolicy>
#include <QSpinBox>
#include <QVBoxLayout>
#include <initializer_list>

#include "app/CGifPreview.h"
#include "app/DialogText.h"
#include "app/ConversionSettings.h"

namespace {

// Widths in dialog units: a quarter of the average character width of the dialog's font.
class DialogUnits {
public:
    explicit DialogUnits(const QFontMetrics& metrics)
        : m_dCharWidth(metrics.horizontalAdvance(
                           QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz")) /
                       52.0) {}

    int X(int units) const { return static_cast<int>(units * m_dCharWidth / 4.0 + 0.5); }

private:
    double m_dCharWidth;
};

template <class Widget>
Widget* Named(Widget* widget, const char* name) {
    widget->setObjectName(QString::fromLatin1(name));
    return widget;
}

QLabel* FieldLabel(const QString& text, QWidget* buddy) {
    auto* label = new QLabel(text);
    label->setBuddy(buddy);
    label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    return label;
}

QString Tr(const char* text) { return QCoreApplication::translate("CQuorvelDlg", text); }

// A radio button standing for an option's value.
struct Choice {
    QString text;
    const char* name;
    int value;
};

// Radio buttons standing for an option's values in its group, `columns` to a row.
void AddChoices(QGridLayout* grid, int columns, QButtonGroup* group,
                std::initializer_list<Choice> choices) {
    int at = 0;
    for (const Choice& c : choices) {
        auto* button = Named(new QRadioButton(c.text), c.name);
        group->addButton(button, c.value);
        grid->addWidget(button, at / columns, at % columns);
        ++at;
    }
}

}  // namespace

// Builds the form's groups one by one.
class CQuorvelForm::Builder {
public:
    Builder(CQuorvelForm& form, QDialog* dialog) : f(form), d(dialog), du(dialog->fontMetrics()) {}

    QPushButton* Button(const QString& text, const char* name, int width) const {
        auto* button = Named(new QPushButton(text), name);
        button->setMinimumWidth(du.X(width));
        // No button presses itself on Enter from elsewhere: Enter in a field must not close
        // the dialog or start a job.
        button->setAutoDefault(false);
        return button;
    }
    QLineEdit* Edit(const char* name) const {
        auto* edit = Named(new QLineEdit, name);
        edit->setMinimumWidth(du.X(80));
        return edit;
    }
    // A group inside another, with tight margins: the window fits small screens.
    static QGroupBox* Section(const QString& title, QLayout* layout) {
        auto* box = new QGroupBox(title);
        box->setFlat(true);
        box->setLayout(layout);
        layout->setContentsMargins(6, 2, 6, 4);
        layout->setSpacing(4);
        return box;
    }

    QGroupBox* InputGroup() {
        f.m_pInputFolder = Edit("IDC_INPUT_FOLDER");
        f.m_pBrowseInputFolder = Button(Tr("&Browse..."), "IDC_BROWSE_INPUT_FOLDER", 50);
        f.m_pGifPath = Edit("IDC_GIF_PATH");
        f.m_pBrowseGif = Button(Tr("B&rowse..."), "IDC_BROWSE_GIF", 50);
        f.m_pOutputFolder = Edit("IDC_OUTPUT_FOLDER");
        f.m_pChangeOutputFolder = Button(Tr("&Change..."), "IDC_CHANGE_OUTPUT_FOLDER", 50);
        auto* box = new QGroupBox(Tr("Input options"));
        auto* grid = new QGridLayout(box);
        grid->setContentsMargins(6, 4, 6, 6);
        grid->setSpacing(4);
        const struct {
            QString label;
            QLineEdit* edit;
            QPushButton* button;
        } rows[] = {{Tr("&Input folder:"), f.m_pInputFolder, f.m_pBrowseInputFolder},
                    {Tr("&Path to the GIF file:"), f.m_pGifPath, f.m_pBrowseGif},
                    {Tr("Output fol&der:"), f.m_pOutputFolder, f.m_pChangeOutputFolder}};
        for (int row = 0; row < 3; ++row) {
            grid->addWidget(FieldLabel(rows[row].label, rows[row].edit), row, 0);
            grid->addWidget(rows[row].edit, row, 1);
            grid->addWidget(rows[row].button, row, 2);
        }
        grid->setColumnStretch(1, 1);
        return box;
    }

    // The preview grows with the window; the lines below it say what the input holds.
    QGroupBox* PreviewGroup() {
        f.m_pPreview = Named(new CGifPreview, "preview");
        f.m_pPreview->setMinimumSize(du.X(88), du.X(60));
        f.m_pPreview->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
        f.m_pPreview->setFrameShape(QFrame::StyledPanel);
        f.m_pPreview->setToolTip(Tr("The movie as it will play; click to play it again."));
        f.m_pGifInfo = Named(new QLabel, "gifInfo");
        f.m_pTimes = Named(new QLabel, "movieTimes");
        f.m_pMovieSize = Named(new QLabel, "movieSize");
        f.m_pMovieSize->setToolTip(Tr("Worked out from the first frames at the chosen quality."));
        for (QLabel* label : {f.m_pGifInfo, f.m_pTimes, f.m_pMovieSize}) {
            label->setWordWrap(true);
            label->setTextInteractionFlags(Qt::TextSelectableByMouse);
        }
        f.m_pUseGifTiming = Button(QLatin1Char('&') + Tr(kUseGifTiming), "useGifTiming", 0);
        f.m_pUseGifTiming->setToolTip(Tr("Play every frame for its own delay, as browsers do."));
        f.m_pUseGifTiming->hide();
        auto* box = new QGroupBox(Tr("Preview"));
        auto* column = new QVBoxLayout(box);
        column->setContentsMargins(6, 4, 6, 6);
        column->setSpacing(4);
        column->addWidget(f.m_pPreview, 1);
        for (QWidget* line : {f.m_pGifInfo, f.m_pTimes, f.m_pMovieSize}) column->addWidget(line);
        column->addWidget(f.m_pUseGifTiming, 0, Qt::AlignLeft);
        return box;
    }

    QGroupBox* GeneralGroup() {
        f.m_pFps = Named(new QSpinBox, "IDC_FPS");
        f.m_pFps->setRange(kMinFps, kMaxFps);
        f.m_pFps->setAlignment(Qt::AlignCenter);
        f.m_pFps->setFixedWidth(du.X(40));
        f.m_pTargetUrl = Edit("IDC_TARGET_URL");
        f.m_pTargetUrl->setMinimumWidth(du.X(60));
        f.m_pGifTiming = Named(new QCheckBox(Tr("Play with the GIF's own timing and &looping")),
                               "IDC_GIF_TIMING");
        f.m_pChangedAreas = Named(new QCheckBox(Tr("Only store what c&hanges")), "IDC_CHANGED_AREAS");
        f.m_pTransparent = Named(new QCheckBox(Tr("&Keep transparency")), "IDC_TRANSPARENT");
        f.m_pTransparent->setToolTip(Tr("Pixels that no image of the GIF covers stay transparent, "
                                        "so that the page below the movie shows through."));
        auto* column = new QVBoxLayout;
        auto* box = Section(Tr("General"), column);
        auto* row = new QHBoxLayout;
        row->addWidget(FieldLabel(Tr("&FPS:"), f.m_pFps));
        row->addWidget(f.m_pFps);
        row->addSpacing(du.X(8));
        row->addWidget(FieldLabel(Tr("&Target URL:"), f.m_pTargetUrl));
        row->addWidget(f.m_pTargetUrl, 1);
        column->addLayout(row);
        column->addWidget(f.m_pGifTiming);
        auto* checks = new QHBoxLayout;
        checks->addWidget(f.m_pTransparent);
        checks->addWidget(f.m_pChangedAreas);
        checks->addStretch(1);
        column->addLayout(checks);
        return box;
    }

    // The quality's choices two by two, the stage colour, and the batch and Convert beside them.
    QLayout* QualityRow() {
        f.m_pQuality = new QButtonGroup(d);
        auto* grid = new QGridLayout;
        auto* qualityBox = Section(Tr("&Quality"), grid);
        AddChoices(grid, 2, f.m_pQuality,
                   {{Tr("Low quality"), "IDC_QUALITY_LOW", int(Quality::Low)},
                    {Tr("Normal quality"), "IDC_QUALITY_NORMAL", int(Quality::Normal)},
                    {Tr("High quality"), "IDC_QUALITY_HIGH", int(Quality::High)},
                    {Tr("Lossless"), "IDC_QUALITY_LOSSLESS", kLosslessButton}});
        // A small swatch of the stage colour.
        f.m_pBackground = Button(QString(), "IDC_BACKGROUND", 24);
        f.m_pBackground->setAccessibleName(Tr("Stage colour"));
        auto* stageColumn = new QVBoxLayout;
        stageColumn->addStretch(1);
        stageColumn->addWidget(FieldLabel(Tr("&Stage:"), f.m_pBackground), 0, Qt::AlignHCenter);
        stageColumn->addWidget(f.m_pBackground, 0, Qt::AlignHCenter);
        stageColumn->addStretch(1);
        f.m_pBatch = Named(new QCheckBox(Tr("Batch con&version")), "IDC_BATCH");
        f.m_pConvert = Button(Tr("C&onvert..."), "IDC_CONVERT", 60);
        auto* commands = new QVBoxLayout;
        commands->addStretch(1);
        commands->addWidget(f.m_pBatch);
        commands->addWidget(f.m_pConvert);
        auto* line = new QHBoxLayout;
        line->addWidget(qualityBox, 1);
        line->addLayout(stageColumn);
        line->addLayout(commands);
        return line;
    }

    QGroupBox* ConversionGroup() {
        auto* box = new QGroupBox(Tr("Conversion options"));
        auto* column = new QVBoxLayout(box);
        column->setContentsMargins(6, 4, 6, 6);
        column->setSpacing(4);
        column->addWidget(GeneralGroup());
        column->addLayout(QualityRow());
        column->addWidget(FlashGroup());
        return box;
    }

    // A movie that plays, or a library of symbols a Flash project creates by name; compressed
    // or not. The lists are as wide as the window lets them be.
    QGroupBox* FlashGroup() {
        f.m_pLibrary = Named(new QComboBox, "IDC_LIBRARY");
        f.m_pLibrary->addItem(Tr("A movie that plays"), int(LibraryKind::None));
        f.m_pLibrary->addItem(Tr("A library of symbols for ActionScript 3"), int(LibraryKind::As3));
        f.m_pLibrary->addItem(Tr("A library of symbols for ActionScript 2"), int(LibraryKind::As2));
        f.m_pLibrary->setToolTip(Tr("A library holds each GIF as a MovieClip symbol named after "
                                    "its title, which the project's code creates by name."));
        f.m_pCompression = Named(new QComboBox, "IDC_COMPRESSION");
        f.m_pCompression->addItem(Tr("None"), int(SwfCompression::None));
        f.m_pCompression->addItem(Tr("zlib (Flash Player 6 and later)"), int(SwfCompression::Zlib));
        f.m_pCompression->addItem(Tr("LZMA (Flash Player 11 and later)"), int(SwfCompression::Lzma));
        for (QComboBox* list : {f.m_pLibrary, f.m_pCompression}) {
            list->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
            list->setMinimumContentsLength(8);
        }
        auto* row = new QHBoxLayout;
        auto* box = Section(Tr("For Flash projects"), row);
        row->addWidget(FieldLabel(Tr("&Write:"), f.m_pLibrary));
        row->addWidget(f.m_pLibrary, 3);
        row->addSpacing(du.X(8));
        row->addWidget(FieldLabel(Tr("Co&mpression:"), f.m_pCompression));
        row->addWidget(f.m_pCompression, 2);
        return box;
    }

    QGroupBox* ExtractionGroup() {
        f.m_pExtractFormat = new QButtonGroup(d);
        auto* box = new QGroupBox(Tr("Extraction optio&ns"));
        auto* column = new QVBoxLayout(box);
        column->setContentsMargins(6, 4, 6, 6);
        column->setSpacing(4);
        auto* grid = new QGridLayout;
        AddChoices(grid, 2, f.m_pExtractFormat,
                   {{Tr("BMP file"), "IDC_FORMAT_BMP", int(ExtractFormat::Bmp)},
                    {Tr("PNG file"), "IDC_FORMAT_PNG", int(ExtractFormat::Png)},
                    {Tr("JPG file"), "IDC_FORMAT_JPG", int(ExtractFormat::Jpg)},
                    {Tr("TGA file"), "IDC_FORMAT_TGA", int(ExtractFormat::Tga)}});
        column->addLayout(grid);
        f.m_pExtract = Button(Tr("E&xtract..."), "IDC_EXTRACT", 60);
        column->addWidget(f.m_pExtract, 0, Qt::AlignRight);
        return box;
    }

    QLayout* ProgressRows() {
        f.m_pProgress = Named(new QProgressBar, "IDC_PROGRESS");
        f.m_pProgress->setMinimumWidth(du.X(100));
        f.m_pProgress->setTextVisible(false);
        f.m_pProgress->setRange(0, 1);
        f.m_pProgress->setValue(0);
        f.m_pStatus = Named(new QLabel, "status");
        f.m_pStatus->setTextInteractionFlags(Qt::TextSelectableByMouse);
        f.m_pAbout = Button(Tr("&About..."), "IDC_ABOUT", 50);
        f.m_pExit = Button(Tr("&Exit"), "IDOK", 50);
        auto* grid = new QGridLayout;
        grid->addWidget(FieldLabel(Tr("Progress:"), f.m_pProgress), 0, 0);
        grid->addWidget(f.m_pProgress, 0, 1);
        grid->addWidget(f.m_pAbout, 0, 2);
        grid->addWidget(f.m_pExit, 0, 3);
        grid->addWidget(f.m_pStatus, 1, 1, 1, 3);
        grid->setColumnStretch(1, 1);
        return grid;
    }

private:
    CQuorvelForm& f;
    QDialog* d;
    const DialogUnits du;
};

CQuorvelForm::CQuorvelForm(QDialog* dialog, const ConversionSettings& start) {
    Builder build(*this, dialog);
    auto* inputs = new QVBoxLayout;
    inputs->addWidget(build.InputGroup());
    inputs->addWidget(build.ConversionGroup());
    inputs->addStretch(1);
    auto* side = new QVBoxLayout;
    side->addWidget(build.PreviewGroup(), 1);
    side->addWidget(build.ExtractionGroup());
    auto* top = new QHBoxLayout;
    top->addLayout(inputs, 3);
    top->addLayout(side, 2);
    auto* main = new QVBoxLayout(dialog);
    main->setContentsMargins(6, 6, 6, 6);
    main->setSpacing(4);
    main->addLayout(top, 1);
    main->addLayout(build.ProgressRows());

    // The tab order follows the layout: inputs, options, commands.
    const QList<QWidget*> order = {
        m_pInputFolder, m_pBrowseInputFolder, m_pGifPath, m_pBrowseGif, m_pOutputFolder,
        m_pChangeOutputFolder, m_pFps, m_pTargetUrl, m_pGifTiming, m_pTransparent,
        m_pChangedAreas, m_pQuality->button(0), m_pQuality->button(1), m_pQuality->button(2),
        m_pQuality->button(kLosslessButton), m_pBackground, m_pLibrary, m_pCompression, m_pBatch,
        m_pConvert, m_pUseGifTiming,
        m_pExtractFormat->button(0), m_pExtractFormat->button(1), m_pExtractFormat->button(2),
        m_pExtractFormat->button(3), m_pExtract, m_pAbout, m_pExit};
    for (qsizetype i = 1; i < order.size(); ++i) QWidget::setTabOrder(order[i - 1], order[i]);

    m_pGifPath->setText(TextFromPath(start.m_strGifPath));
    m_pOutputFolder->setText(TextFromPath(start.m_strOutputFolder));
    m_pInputFolder->setText(TextFromPath(start.m_strInputFolder));
    m_pFps->setValue(start.m_nFps);
    m_pTargetUrl->setText(QString::fromStdString(start.m_strTargetUrl));
    m_pGifTiming->setChecked(start.m_timing == Timing::Gif);
    const bool lossless = start.m_bitmaps == BitmapKind::Lossless;
    m_pQuality->button(lossless ? kLosslessButton : int(start.m_nQuality))->setChecked(true);
    m_pChangedAreas->setChecked(start.m_bChangedAreas);
    m_pTransparent->setChecked(start.m_bTransparent);
    m_pBatch->setChecked(start.m_bBatch);
    m_pLibrary->setCurrentIndex(m_pLibrary->findData(int(start.m_library)));
    m_pCompression->setCurrentIndex(m_pCompression->findData(int(start.m_compression)));
    m_pExtractFormat->button(int(start.m_nExtractFormat))->setChecked(true);
    ShowBackground(start.m_background);
}

void CQuorvelForm::ShowBackground(RgbColor color) {
    m_background = color;
    QPixmap swatch(m_pBackground->iconSize());
    swatch.fill(QColor::fromRgb(color));
    m_pBackground->setIcon(QIcon(swatch));
    m_pBackground->setToolTip(Tr("Colour of the stage, and what the frames are composed on: %1")
                                  .arg(QString::fromStdString(ColorName(color))));
}

ConversionSettings SettingsFromForm(const CQuorvelForm& form) {
    ConversionSettings s;
    s.m_strGifPath = PathFromText(form.m_pGifPath->text());
    s.m_strGifTitle = TitleFromPath(s.m_strGifPath);
    s.m_strOutputFolder = PathFromText(form.m_pOutputFolder->text());
    s.m_strInputFolder = PathFromText(form.m_pInputFolder->text());
    s.m_strTargetUrl = form.m_pTargetUrl->text().toStdString();
    s.m_bBatch = form.m_pBatch->isChecked();
    // "auto" (0) in the FPS box: with the GIF's own timing, the rate is the GIF's.
    form.m_pFps->interpretText();
    s.m_bFpsGiven = form.m_pFps->value() != 0;
    s.m_nFps = s.m_bFpsGiven ? form.m_pFps->value() : kDefaultFps;
    const bool gifTiming = form.m_pGifTiming->isChecked();
    s.m_timing = gifTiming ? Timing::Gif : Timing::Fixed;
    s.m_loop = LoopOption{gifTiming ? LoopOption::Kind::Gif : LoopOption::Kind::Forever, 1};
    const int quality = form.m_pQuality->checkedId();
    s.m_bitmaps = quality == CQuorvelForm::kLosslessButton ? BitmapKind::Lossless : BitmapKind::Jpeg;
    if (quality != CQuorvelForm::kLosslessButton) s.m_nQuality = static_cast<Quality>(quality);
    s.m_bChangedAreas = form.m_pChangedAreas->isChecked();
    s.m_background = form.Background();
    s.m_bTransparent = form.m_pTransparent->isChecked();
    s.m_nExtractFormat = static_cast<ExtractFormat>(form.m_pExtractFormat->checkedId());
    s.m_library = static_cast<LibraryKind>(form.m_pLibrary->currentData().toInt());
    s.m_compression = static_cast<SwfCompression>(form.m_pCompression->currentData().toInt());
    return s;
}
