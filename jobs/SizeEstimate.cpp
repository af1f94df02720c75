#include "jobs/SizeEstimate.h"

#include <algorithm>
#include <memory>
#include <optional>

#include "jobs/FrameSource.h"
#include "jobs/convert/BitmapEncoder.h"

namespace {

// What a movie holds besides its bitmaps: its header and the button's tags; and each frame's
// tags (the bitmap's definition header, its shape, placing it and showing the frame).
constexpr int64_t kMovieBytes = 128;
constexpr int64_t kFrameBytes = 64;
// At most this many pixels are encoded for one guess.
constexpr int64_t kSamplePixels = int64_t{8} << 20;

// The bytes of one frame's bitmap as the encoder stores it; 0 with the error set on failure.
int64_t EncodedBytes(const BitmapEncoder& encoder, const SourceFrame& frame, int width,
                     int height, std::string& error) {
    BgrPixels pixels = frame.Area(width, height, PixelRect{0, 0, width, height});
    if (!frame.uncovered.empty()) pixels.transparent = frame.uncovered.data();
    const EncodedFrame encoded = encoder.Encode(pixels);
    if (!encoded.ok) {
        error = encoded.error;
        return 0;
    }
    return static_cast<int64_t>(encoded.data.size() + encoded.alpha.size());
}

}  // namespace

SizeEstimate EstimateMovieSize(const ConversionPlan& plan, int sampleFrames,
                               const std::atomic<bool>* cancel) {
    SizeEstimate estimate;
    if (!plan.error.empty()) {
        estimate.error = plan.error;
        return estimate;
    }
    const ConvertOptions& options = plan.options;
    FrameSource source;
    source.ComposeOn(options.background, options.transparent, options.Rules());
    if (!source.Open(plan.gif)) {
        estimate.error = source.Error();
        return estimate;
    }
    const std::unique_ptr<BitmapEncoder> encoder = MakeEncoder(options);
    const int64_t pixels = std::max<int64_t>(1, int64_t{plan.width} * plan.height);
    const int64_t most = std::clamp<int64_t>(kSamplePixels / pixels, 1, std::max(1, sampleFrames));
    std::optional<SourceFrame> last;  // the last picture encoded
    int64_t bytes = 0;
    while (estimate.sampled < most) {
        if (cancel && cancel->load()) {
            estimate.error = "cancelled";
            return estimate;
        }
        std::optional<SourceFrame> frame = source.Next();
        if (!frame) break;
        if (plan.ShowFrames(static_cast<std::size_t>(frame->index)) == 0) continue;
        ++estimate.sampled;
        bytes += kFrameBytes;
        if (last && frame->SamePicture(*last)) continue;
        bytes += EncodedBytes(*encoder, *frame, plan.width, plan.height, estimate.error);
        if (!estimate.error.empty()) return estimate;
        last = std::move(frame);
    }
    if (estimate.sampled == 0) {
        estimate.error = source.Error().empty() ? "no frame to show" : source.Error();
        return estimate;
    }
    estimate.ok = true;
    estimate.bytes = kMovieBytes + bytes * std::max(plan.frames, estimate.sampled) / estimate.sampled;
    return estimate;
}
