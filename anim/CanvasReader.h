#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "anim/AnimationReader.h"
#include "base/LargeBuffer.h"
#include "gif/GifInfo.h"

// Which images make a frame, by their delays, as the GIF reader makes them: by default an image
// with delay 0 joins the next image with a delay (and such images left at the end make one frame
// of 100 ms); with FrameRules::everyImage each image is a frame, one with delay 0 lasting 100 ms.
class FrameDelays {
public:
    explicit FrameDelays(FrameRules rules = {}) : m_bEveryImage(rules.everyImage) {}
    // The delay of the frame that an image of delayMs ends, or none while it waits for the next.
    std::optional<int> Add(int delayMs);
    // At the end of the file: the frame of the images still waiting, if any.
    std::optional<int> Finish();
    // The images added so far, each as long as a browser shows it.
    int64_t ShownMs() const { return m_nShownMs; }

private:
    bool m_bEveryImage;
    int64_t m_nShownMs = 0;
    bool m_bPending = false;
};

// A file's bytes, read whole (up to kMaxAnimationBytes); false with the cause in error.
inline constexpr std::size_t kMaxAnimationBytes = std::size_t{1} << 30;
bool ReadWholeFile(const std::string& utf8Path, std::vector<uint8_t>& bytes, std::string& error);

// A count of plays (0: for ever; none: the file has no count and plays once) as the GIF's
// NETSCAPE count of repeats: 0 for ever, none for one play, N - 1 for N plays (at most 65535).
std::optional<int> PlaysAsRepeats(std::optional<uint32_t> plays);

// Whether a screen of width x height passes the GIF reader's limits; else the cause.
std::string ScreenProblem(int64_t width, int64_t height);

// A reader whose decoder composes each image onto a canvas of straight-alpha RGBA pixels: it
// turns that canvas into the frame (each pixel over the background colour in proportion to its
// alpha; covered where the alpha is above 0) and makes frames of the images by FrameDelays.
class CanvasReader : public AnimationReader {
public:
    void ComposeOn(RgbColor background, FrameRules rules, bool keepCoverage) override;
    bool Load(const std::string& utf8Path) override;
    bool Load(const uint8_t* data, std::size_t size) override;
    int NextFrame() override;

    int Width() const override { return m_nWidth; }
    int Height() const override { return m_nHeight; }
    int Stride() const override { return m_nStride; }
    const uint8_t* FrameArea() const override { return m_bShown ? m_canvas.get() : nullptr; }
    const uint8_t* Coverage() const override { return m_bShown ? m_coverage.get() : nullptr; }
    const std::string& Error() const override { return m_strError; }

protected:
    // Reads the structure of the file in m_bytes: the screen (through SetScreen) and what the
    // images need. False with SetError.
    virtual bool Open() = 0;
    // The same from the file at utf8Path: by default read whole into m_bytes, then Open.
    virtual bool OpenFile(const std::string& utf8Path);
    // Composes the next image onto the RGBA canvas (Width() x Height(), rows top first) and
    // returns its delay in milliseconds (>= 0); none at the end or on an error (SetError).
    virtual std::optional<int> ComposeNext(const uint8_t*& rgba) = 0;
    // False, with the cause set, when the screen passes the limits.
    bool SetScreen(int64_t width, int64_t height);
    void SetError(std::string cause) { m_strError = std::move(cause); }

    std::vector<uint8_t> m_bytes;  // the file, or the copy of the bytes given

private:
    void Reset();
    // The frame's canvas (and coverage) once the file is open; false with the cause set.
    bool Start();
    void TakeCanvas(const uint8_t* rgba);

    RgbColor m_crBackground = kWhiteRgb;
    FrameRules m_rules;
    bool m_bKeepCoverage = false;
    int m_nWidth = 0, m_nHeight = 0, m_nStride = 0;
    LargeBlock m_canvas;
    LargeBlock m_coverage;
    bool m_bShown = false;
    std::optional<FrameDelays> m_delays;
    std::optional<int> m_end;  // once the file ended: what NextFrame returns from then on
    std::string m_strError;
};

std::unique_ptr<AnimationReader> MakeWebpReader();
std::unique_ptr<AnimationReader> MakeApngReader();

// The scans of each format: what the file holds, without decoding a pixel.
GifInfo ScanWebp(const std::vector<uint8_t>& bytes, FrameRules rules);
GifInfo ScanPng(const std::vector<uint8_t>& bytes, FrameRules rules);
GifInfo ScanPngFile(const std::string& utf8Path, FrameRules rules);
