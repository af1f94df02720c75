#pragma once

#include "jobs/convert/Timeline.h"

// Frames that store only what changed (planned by ChangedAreaPlanner): the first frame's
// picture covers the stage; a later frame's picture covers the area that changed, on a shape of
// that size placed there (translated by whole pixels) above everything before it, and the
// pictures it hides are removed. A frame without changes adds nothing before its ShowFrame.
// Picture k defines bitmap 3 + 2k and shape 4 + 2k, placed at depth 4 + 2k.
class ChangedAreaTimeline : public TimelineWriter {
public:
    using TimelineWriter::TimelineWriter;
    int PictureOf(const FramePicture& frame) const override {
        return frame.area ? frame.area->picture : -1;
    }

protected:
    bool WriteContent(const FramePicture& frame) override;
};

// The shape id (and depth) of picture k.
uint16_t PictureShapeId(int picture);
