#include "jobs/convert/ChangedAreaTimeline.h"

uint16_t PictureShapeId(int picture) { return static_cast<uint16_t>(4 + 2 * picture); }

bool ChangedAreaTimeline::WriteContent(const FramePicture& frame) {
    if (!frame.area || frame.area->picture < 0) return true;
    const AreaPlan& plan = *frame.area;
    const uint16_t shapeId = ShapeIdOf(plan.picture);
    const auto bitmapId = static_cast<uint16_t>(shapeId - 1);
    const std::unique_ptr<CSWFObject> definition = m_encoder.MakeBitmap(bitmapId, frame.bitmap);
    CSWFShape shape = BitmapShape(shapeId, bitmapId, plan.area.Width(), plan.area.Height());
    shape.Matrix().SetMatrix(0, 0, 0, 0, static_cast<float>(plan.area.left),
                             static_cast<float>(plan.area.top));
    if (!Define(*definition) || !Define(shape) || !Place(shape, shapeId)) return false;
    for (int hidden : plan.hidden) {
        if (!Remove(ShapeIdOf(hidden))) return false;
    }
    return true;
}
