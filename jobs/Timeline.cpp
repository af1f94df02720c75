#include "jobs/Timeline.h"

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
                               int height)
    : m_movie(movie), m_encoder(encoder), m_nWidth(width), m_nHeight(height) {}

bool TimelineWriter::AddFrame(const EncodedFrame& bitmap) {
    return WriteContent(bitmap) && m_movie.ShowFrame();
}

bool TimelineWriter::Finish() { return true; }

bool TimelineWriter::Define(CSWFObject& object) {
    return m_movie.DefineObject(&object, object.GetDepth(), false);
}

bool TimelineWriter::Place(CSWFObject& object, uint16_t depth) {
    return m_movie.PlaceObject(&object, depth);
}

bool TimelineWriter::Remove(uint16_t depth) { return m_movie.RemoveObject(depth); }

int FullFrameTimeline::MaxFrames() const { return kMaxMovieFrames; }

bool FullFrameTimeline::WriteContent(const EncodedFrame& bitmap) {
    const uint16_t bitmapId = m_nNextId;
    const auto shapeId = static_cast<uint16_t>(bitmapId + 1);
    const std::unique_ptr<CSWFObject> definition = m_encoder.MakeBitmap(bitmapId, bitmap);
    CSWFShape shape = BitmapShape(shapeId, bitmapId, m_nWidth, m_nHeight);
    if (!Define(*definition) || !Define(shape) || !Place(shape, shapeId)) return false;
    m_nNextId = static_cast<uint16_t>(m_nNextId + 2);
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
