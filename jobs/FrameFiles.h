#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Which frames an extraction writes, and what their files are called.

// Frames first to last, both included, numbered from 0 as the frame files are.
struct FrameRange {
    static constexpr int kToTheEnd = -1;  // as last: to the animation's last frame

    int first = 0;
    int last = 0;

    bool operator==(const FrameRange&) const = default;
};

// Frames chosen by number: single frames and ranges ("0-4,9", "5-" to the end). Empty: all.
struct FrameSelection {
    std::vector<FrameRange> ranges;

    bool All() const { return ranges.empty(); }
    bool Contains(int index) const;
    // Of an animation of `frames` frames, how many are chosen.
    int Count(int frames) const;
    // Why the selection does not fit an animation of `frames` frames (a number past its last
    // frame), in words for the user; empty when it fits. format: "GIF", "WebP" or "PNG".
    std::string Problem(int frames, const std::string& format) const;

    bool operator==(const FrameSelection&) const = default;
};

// Reads a selection: numbers and ranges A-B (A not above B) or A- (A to the end), separated by
// commas, without spaces. Sets error and returns none when the text is not one.
std::optional<FrameSelection> ReadFrameSelection(std::string_view text, std::string& error);

// A frame file's name: text, the frame number, text ("frame_%03d.png").
struct FrameNamePattern {
    std::string before;
    int digits = 0;  // the number padded with zeros to this many digits; 0: not padded
    std::string after;

    // The name of frame `index`.
    std::string NameOf(uint64_t index) const;
};

// The largest width a pattern's %0Nd may ask for, as --digits.
inline constexpr int kMaxFrameDigits = 9;

// Reads a printf-like name pattern: one %d (the frame number) or %0Nd (padded with zeros to N
// digits, 1 to kMaxFrameDigits), %% for a percent sign; everything else is taken as it is.
// Sets error and returns none when the pattern has no conversion, more than one, or another.
std::optional<FrameNamePattern> ReadFrameNamePattern(std::string_view text, std::string& error);

// The number of digits of `number` (1 for 0).
int DigitsOf(uint64_t number);
