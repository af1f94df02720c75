#include "anim/AnimationReader.h"
#include "anim/CanvasReader.h"
#include "gif/CGifAnimation.h"

namespace {

// The GIF reader as it always was, behind the animation seam.
class GifReader final : public AnimationReader {
public:
    void ComposeOn(RgbColor background, FrameRules rules, bool keepCoverage) override {
        m_gif.SetBackground(background);
        m_gif.SetRules(rules);
        m_gif.KeepCoverage(keepCoverage);
    }
    bool Load(const std::string& utf8Path) override { return m_gif.Load(utf8Path.c_str()) == 0; }
    bool Load(const uint8_t* data, std::size_t size) override { return m_gif.Load(data, size) == 0; }
    int NextFrame() override { return m_gif.NextFrame(); }
    int Width() const override { return m_gif.Width(); }
    int Height() const override { return m_gif.Height(); }
    int Stride() const override { return m_gif.Stride(); }
    const uint8_t* FrameArea() const override { return m_gif.FrameArea(); }
    const uint8_t* Coverage() const override { return m_gif.Coverage(); }
    const std::string& Error() const override { return m_gif.GetError(); }

private:
    CGifAnimation m_gif;
};

}  // namespace

std::unique_ptr<AnimationReader> MakeAnimationReader(AnimationFormat format) {
    switch (format) {
        case AnimationFormat::WebP:
            return MakeWebpReader();
        case AnimationFormat::Png:
            return MakeApngReader();
        default:
            return std::make_unique<GifReader>();
    }
}
