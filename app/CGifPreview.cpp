#include "app/CGifPreview.h"

#include <QFutureWatcher>
#include <QPixmap>
#include <QtConcurrent/QtConcurrentRun>
#include <algorithm>
#include <cstring>

#include "app/DialogText.h"
#include "anim/AnimationReader.h"

namespace {

// The pictures of one preview are kept under this many bytes: a longer GIF keeps every k-th
// frame, shown for the frames it stands for.
constexpr qint64 kPreviewBytes = 64 << 20;
// The box keeps a new size this long before the frames are composed again for it.
constexpr int kResizePauseMs = 250;

}  // namespace

CGifPreview::CGifPreview(QWidget* parent) : QLabel(parent) {
    setAlignment(Qt::AlignCenter);
    setWordWrap(true);
    m_pool.setMaxThreadCount(1);
    m_timer.setSingleShot(true);
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &CGifPreview::ShowNext);
    m_resizePause.setSingleShot(true);
    m_resizePause.setInterval(kResizePauseMs);
    connect(&m_resizePause, &QTimer::timeout, this, &CGifPreview::OnResized);
}

CGifPreview::~CGifPreview() {
    if (m_cancel) m_cancel->store(true);
}

CGifPreview::Frames CGifPreview::ComposeFrames(const std::string& path, FrameRules rules,
                                               RgbColor stage, QSize box, int frames,
                                               const std::atomic<bool>& cancel) {
    Frames result;
    const std::unique_ptr<AnimationReader> gif = MakeAnimationReader(FormatOfFile(path));
    gif->ComposeOn(stage, rules, false);
    if (!gif->Load(path)) return result;
    QImage canvas(gif->Width(), gif->Height(), QImage::Format_BGR888);
    // Shown whole, never enlarged beyond twice its size.
    QSize size = canvas.size();
    size.scale(box.boundedTo(size * 2).expandedTo(QSize(1, 1)), Qt::KeepAspectRatio);
    const qint64 bytes = qint64{4} * std::max(1, size.width()) * std::max(1, size.height());
    const int every = static_cast<int>(std::max<qint64>(1, (frames * bytes + kPreviewBytes - 1) / kPreviewBytes));
    for (; !cancel.load() && gif->NextFrame() > 0; ++result.total) {
        const int index = result.total;
        if (index % every != 0) continue;
        for (int y = 0; y < canvas.height(); ++y)
            std::memcpy(canvas.scanLine(y), gif->FrameArea() + std::ptrdiff_t{y} * gif->Stride(),
                        static_cast<std::size_t>(3 * canvas.width()));
        result.images.push_back(canvas.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                                    .convertToFormat(QImage::Format_RGB32));
        result.first.push_back(index);
    }
    return result;
}

void CGifPreview::Compose(const QString& path, FrameRules rules, RgbColor stage, int frames) {
    m_request = Request{path, rules, stage, frames, QSize()};
    StartComposing();
}

void CGifPreview::StartComposing() {
    Stop();
    m_frames = {};  // the picture on show stays until the new frames come
    if (m_cancel) m_cancel->store(true);
    m_cancel = std::make_shared<std::atomic<bool>>(false);
    const quint64 serial = ++m_nSerial;
    m_request->box = contentsRect().size();
    auto* watcher = new QFutureWatcher<Frames>(this);
    connect(watcher, &QFutureWatcherBase::finished, this, [this, watcher, serial] {
        watcher->deleteLater();
        if (serial != m_nSerial) return;
        m_frames = watcher->result();
        Restart();
        emit Composed();
    });
    // The composing works on its own copies; the pool waits for it when this object goes.
    const Request& r = *m_request;
    watcher->setFuture(QtConcurrent::run(
        &m_pool, [file = PathFromText(r.path), rules = r.rules, stage = r.stage, box = r.box,
                  frames = r.frames, cancel = m_cancel] {
            return ComposeFrames(file, rules, stage, box, frames, *cancel);
        }));
}

void CGifPreview::resizeEvent(QResizeEvent* event) {
    QLabel::resizeEvent(event);
    if (m_request) m_resizePause.start();
}

void CGifPreview::OnResized() {
    if (m_request && m_request->box != contentsRect().size()) StartComposing();
}

void CGifPreview::SetTiming(std::vector<int> movieFrames, int fps, int passes) {
    m_movieFrames = std::move(movieFrames);
    m_nFps = fps;
    m_nPasses = passes;
    Restart();
}

void CGifPreview::ShowText(const QString& text) {
    ++m_nSerial;  // a composing under way is no longer wanted
    if (m_cancel) m_cancel->store(true);
    m_request.reset();
    m_resizePause.stop();
    Stop();
    m_frames = {};
    // setText alone keeps the picture when the text has not changed.
    clear();
    setText(text);
}

void CGifPreview::mousePressEvent(QMouseEvent* event) {
    Restart();
    QLabel::mousePressEvent(event);
}

void CGifPreview::Stop() {
    m_timer.stop();
    m_nShown = -1;
}

void CGifPreview::Restart() {
    Stop();
    if (m_frames.images.empty()) return;
    m_next = 0;
    m_nPass = 0;
    m_nFramesDue = 0;
    m_clock.start();
    ShowNext();
}

int CGifPreview::MovieFramesOf(std::size_t picture) const {
    const int first = m_frames.first[picture];
    const int end =
        picture + 1 < m_frames.first.size() ? m_frames.first[picture + 1] : m_frames.total;
    int frames = 0;
    // GIF frames past the timing's end get one frame each, as in the movie.
    for (int i = first; i < end; ++i)
        frames += i < static_cast<int>(m_movieFrames.size()) ? m_movieFrames[i] : 1;
    return frames;
}

void CGifPreview::ShowNext() {
    const std::size_t count = m_frames.images.size();
    for (std::size_t tried = 0; tried < count; ++tried) {
        if (m_next == count) {
            // The end of a pass: the movie holds its last frame after its last pass.
            if (m_nPasses > 0 && ++m_nPass >= m_nPasses) return;
            m_next = 0;
            m_nFramesDue = 0;
            m_clock.start();
        }
        const std::size_t picture = m_next++;
        const int frames = MovieFramesOf(picture);
        if (frames == 0) continue;  // left out of the movie
        setPixmap(QPixmap::fromImage(m_frames.images[picture]));
        m_nShown = static_cast<int>(picture);
        if (m_nFps <= 0) return;  // no timing yet: the first frame stands
        m_nFramesDue += frames;
        // Timed from the start of the pass, so that the rounding of each wait never adds up.
        const qint64 due = m_nFramesDue * 1000 / m_nFps;
        m_timer.start(static_cast<int>(std::max<qint64>(0, due - m_clock.elapsed())));
        return;
    }
}
