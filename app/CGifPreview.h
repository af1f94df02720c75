#pragma once

#include <QElapsedTimer>
#include <QImage>
#include <QLabel>
#include <QThreadPool>
#include <QTimer>
#include <atomic>
#include <memory>
#include <optional>
#include <vector>

#include "base/FrameRules.h"
#include "base/Pixels.h"

// The movie's frames as it will play them: composed by our own compositor on the stage colour,
// as the movie's rules make them, off the GUI thread; scaled into the box; shown for as many of
// the movie's frames at its rate as each GIF frame gets, over its passes. It grows with the
// window: once the box has kept a new size for a moment, the frames are composed again for it.
class CGifPreview : public QLabel {
    Q_OBJECT

public:
    explicit CGifPreview(QWidget* parent = nullptr);
    ~CGifPreview() override;

    // Composes the frames of the GIF at path (`frames` of them, as the scan counted them with
    // the same rules), then plays them.
    void Compose(const QString& path, FrameRules rules, RgbColor stage, int frames);
    // How many frames of the movie each GIF frame stays on the stage (0: left out), at fps,
    // over `passes` passes (0: for ever). Plays again from the start.
    void SetTiming(std::vector<int> movieFrames, int fps, int passes);
    // Nothing to play: the text instead (nothing for an empty text); the picture shown before
    // goes.
    void ShowText(const QString& text);
    // The box asks for no more room than its least: the window's size is the user's.
    QSize sizeHint() const override { return minimumSize(); }

    // The frames composed for playing (some left out of a very long GIF) and the one on show.
    int ComposedFrames() const { return static_cast<int>(m_frames.images.size()); }
    int ShownFrame() const { return m_nShown; }

signals:
    // The frames of the last Compose are ready and playing.
    void Composed();

protected:
    // A click plays the movie again from the start.
    void mousePressEvent(QMouseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    // Pictures of the frames, each standing for the GIF frames from its first to the next one's.
    struct Frames {
        std::vector<QImage> images;
        std::vector<int> first;
        int total = 0;  // GIF frames composed
    };
    static Frames ComposeFrames(const std::string& path, FrameRules rules, RgbColor stage,
                                QSize box, int frames, const std::atomic<bool>& cancel);

    struct Request {
        QString path;
        FrameRules rules;
        RgbColor stage = kWhiteRgb;
        int frames = 0;
        QSize box;  // what the frames were scaled into
    };
    void StartComposing();
    // The box has changed size since the frames were composed for it.
    void OnResized();

    void Stop();
    void Restart();
    // Shows the next picture that lasts at least one frame, and sets the timer for its end.
    void ShowNext();
    int MovieFramesOf(std::size_t picture) const;

    std::optional<Request> m_request;  // what is shown, or being composed
    QTimer m_resizePause;
    Frames m_frames;
    std::vector<int> m_movieFrames;
    int m_nFps = 0;
    int m_nPasses = 0;

    QThreadPool m_pool;  // not Qt's global pool (see CJobRunner)
    std::shared_ptr<std::atomic<bool>> m_cancel;  // of the composing under way
    quint64 m_nSerial = 0;
    QTimer m_timer;
    QElapsedTimer m_clock;  // since the pass began
    std::size_t m_next = 0;  // the picture ShowNext shows
    int m_nPass = 0;
    int64_t m_nFramesDue = 0;  // movie frames shown this pass, the one on show included
    int m_nShown = -1;
};
