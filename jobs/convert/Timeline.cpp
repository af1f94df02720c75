#include "jobs/convert/Timeline.h"

#include "swf/CSWFButton.h"
#include "swf/CSWFShape.h"

namespace {

// Selects the first fill style and lineStyle (0: none), then outlines a W x H rectangle from
// the origin, back to where it began.
void AddOutline(CSWFShape& shape, float w, float h, uint16_t lineStyle) {
    const float origin[2] = {0, 0};
    shape.ChangeStyle(origin, lineStyle);
    shape.AddStraightEdge(w, 0);
    shape.AddStraightEdge(0, h);
    shape.AddStraightEdge(-w, 0);
    shape.AddStraightEdge(0, -h);
}

}  // namespace

TimelineWriter::TimelineWriter(CSWFMovie& movie, const BitmapEncoder& encoder, int width,
                               int height, bool recordPasses)
    : m_movie(movie),
      m_encoder(encoder),
      m_nWidth(width),
      m_nHeight(height),
      m_bRecord(recordPasses) {}

// A frame's ShowFrames are written when the next frame starts (or at the end), so that a Stop
// can still go into the very last one.
bool TimelineWriter::AddFrame(const FramePicture& frame, int showFrames, int gifIndex) {
    if (!ShowFrames(m_nPending)) return false;
    if (m_bRecord) m_frames.push_back({{}, showFrames, gifIndex});
    if (!WriteContent(frame)) return false;
    m_nPending = showFrames;
    m_nPassFrames += showFrames;
    return true;
}

bool TimelineWriter::Finish(int passes, const std::vector<int>& schedule, bool loop) {
    if (passes == 0 || m_nPassFrames == 0) return ShowFrames(m_nPending);
    for (int pass = 1; pass < passes && m_bRecord && !m_frames.empty(); ++pass) {
        if (!Replay(pass, passes, schedule)) return false;
    }
    if (loop) return ShowFrames(m_nPending);
    // The movie holds its last frame: a Stop in it, before its ShowFrame.
    CSWFAction stop;
    stop.AddStop();
    return ShowFrames(m_nPending - 1) && m_movie.DoAction(stop) && m_movie.ShowFrame();
}

bool TimelineWriter::Replay(int pass, int passes, const std::vector<int>& schedule) {
    const std::size_t perPass = schedule.size() / static_cast<std::size_t>(passes);
    // The SWF frames of recorded frame k's GIF frame and those up to the next one recorded.
    const auto length = [&](std::size_t k) {
        if (schedule.empty()) return m_frames[k].showFrames;
        const std::size_t to =
            k + 1 < m_frames.size() ? static_cast<std::size_t>(m_frames[k + 1].gifIndex) : perPass;
        int sum = 0;
        for (auto g = static_cast<std::size_t>(m_frames[k].gifIndex); g < to; ++g)
            sum += schedule[static_cast<std::size_t>(pass) * perPass + g];
        return sum;
    };
    // The last frame of the pass before stays until the first one recorded comes.
    if (!schedule.empty()) {
        for (int g = 0; g < m_frames.front().gifIndex; ++g)
            m_nPending += schedule[static_cast<std::size_t>(pass) * perPass + static_cast<std::size_t>(g)];
    }
    if (!ShowFrames(m_nPending)) return false;
    // The pass starts from the empty stage, the button aside.
    for (const uint16_t depth : std::set<uint16_t>(m_occupied)) {
        Change removal{depth, 0, CSWFMatrix()};
        if (!Apply(removal)) return false;
    }
    for (std::size_t i = 0; i < m_frames.size(); ++i) {
        if (i > 0 && !ShowFrames(m_nPending)) return false;
        for (Change& change : m_frames[i].changes) {
            if (!Apply(change)) return false;
        }
        m_nPending = length(i);
    }
    return true;
}

bool TimelineWriter::ShowFrames(int count) {
    for (int i = 0; i < count; ++i) {
        if (!m_movie.ShowFrame()) return false;
    }
    m_nPending = 0;
    return true;
}

bool TimelineWriter::Define(CSWFObject& object) {
    return m_movie.DefineObject(&object, object.GetDepth(), false);
}

bool TimelineWriter::Place(CSWFObject& object, uint16_t depth) {
    Change change{depth, object.GetId(), object.Matrix()};
    if (m_bRecord) m_frames.back().changes.push_back(change);
    return Apply(change);
}

bool TimelineWriter::Remove(uint16_t depth) {
    Change change{depth, 0, CSWFMatrix()};
    if (m_bRecord && !m_frames.empty()) m_frames.back().changes.push_back(change);
    return Apply(change);
}

bool TimelineWriter::Apply(Change& change) {
    if (change.id == 0) {
        m_occupied.erase(change.depth);
        return m_movie.RemoveObject(change.depth);
    }
    m_occupied.insert(change.depth);
    return m_movie.PlaceCharacter(change.id, change.depth, change.matrix);
}

bool FullFrameTimeline::WriteContent(const FramePicture& frame) {
    const uint16_t shapeId = ShapeIdOf(m_nPictures);
    const auto bitmapId = static_cast<uint16_t>(shapeId - 1);
    const std::unique_ptr<CSWFObject> definition = m_encoder.MakeBitmap(bitmapId, frame.bitmap);
    CSWFShape shape = BitmapShape(shapeId, bitmapId, m_nWidth, m_nHeight);
    if (!Define(*definition) || !Define(shape) || !Place(shape, shapeId)) return false;
    if (m_bRemoveBelow && m_nPictures > 0 && !Remove(static_cast<uint16_t>(shapeId - 2)))
        return false;
    ++m_nPictures;
    return true;
}

CSWFShape BitmapShape(uint16_t id, uint16_t bitmapId, int width, int height) {
    const auto w = static_cast<float>(width), h = static_cast<float>(height);
    CSWFShape shape(id, 0, 0, w, h, id);
    shape.AddBitmapFillStyle(bitmapId, 0, 0, w, h, 0, 0, w, h);
    AddOutline(shape, w, h, 0);
    return shape;
}

bool AddUrlButton(CSWFMovie& movie, const std::string& url, int width, int height) {
    const auto w = static_cast<float>(width), h = static_cast<float>(height);
    CSWFAction action;
    if (!action.AddGetURL(url.c_str())) return false;
    CSWFShape face(1, 0, 0, w, h, 1);
    face.AddLineStyle(SWFColor(0, 0, 0, 0));
    face.AddSolidFillStyle(SWFColor(0, 0, 0, 0));
    AddOutline(face, w, h, 1);
    CSWFButton button;
    // One record per button state, all showing the face: hit test, over, down, up.
    for (int state : {0x08, 0x02, 0x04, 0x01}) button.AddRecord(static_cast<uint8_t>(state), 1, 1);
    button.AddAction(action);
    return movie.DefineObject(&face, 1, false) && movie.DefineObject(&button, 2, true);
}
