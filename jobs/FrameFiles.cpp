#include "jobs/FrameFiles.h"

#include <cctype>
#include <charconv>

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// A frame number taken from the start of text: digits only, no more than an int holds.
std::optional<int> TakeNumber(std::string_view& text) {
    if (text.empty() || !IsDigit(text.front())) return std::nullopt;
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc()) return std::nullopt;
    text.remove_prefix(static_cast<std::size_t>(end - text.data()));
    return value;
}

// One item of a selection: "A", "A-B" or "A-".
std::optional<FrameRange> ReadRange(std::string_view item) {
    const std::optional<int> first = TakeNumber(item);
    if (!first) return std::nullopt;
    if (item.empty()) return FrameRange{*first, *first};
    if (item.front() != '-') return std::nullopt;
    item.remove_prefix(1);
    if (item.empty()) return FrameRange{*first, FrameRange::kToTheEnd};
    const std::optional<int> last = TakeNumber(item);
    if (!last || !item.empty()) return std::nullopt;
    return FrameRange{*first, *last};
}

std::string RangeText(const FrameRange& range) {
    if (range.first == range.last) return std::to_string(range.first);
    return std::to_string(range.first) + "-" +
           (range.last == FrameRange::kToTheEnd ? "" : std::to_string(range.last));
}

// The conversion that starts at text[at] ('%'), as the user wrote it: up to its letter.
std::string_view ConversionAt(std::string_view text, std::size_t at) {
    std::size_t end = at + 1;
    while (end < text.size() && end - at < 6 &&
           !std::isalpha(static_cast<unsigned char>(text[end])) && text[end] != '%')
        ++end;
    if (end < text.size() && std::isalpha(static_cast<unsigned char>(text[end]))) ++end;
    return text.substr(at, end - at);
}

// The width the conversion that follows a '%' asks for, and how many characters it takes:
// "d" is 0 digits, "0Nd" N digits; none for any other.
std::optional<std::pair<int, std::size_t>> ReadConversion(std::string_view after) {
    if (after.starts_with('d')) return std::pair{0, std::size_t{1}};
    if (after.size() >= 3 && after[0] == '0' && after[1] >= '1' &&
        after[1] <= '0' + kMaxFrameDigits && after[2] == 'd')
        return std::pair{after[1] - '0', std::size_t{3}};
    return std::nullopt;
}

}  // namespace

bool FrameSelection::Contains(int index) const {
    if (All()) return true;
    for (const FrameRange& range : ranges) {
        if (index >= range.first && (range.last == FrameRange::kToTheEnd || index <= range.last))
            return true;
    }
    return false;
}

int FrameSelection::Count(int frames) const {
    int count = 0;
    for (int i = 0; i < frames; ++i) count += Contains(i) ? 1 : 0;
    return count;
}

std::string FrameSelection::Problem(int frames, const std::string& format) const {
    const std::string has =
        frames == 1 ? "the " + format + " has 1 frame, 0"
                    : "the " + format + " has " + std::to_string(frames) + " frames, 0 to " +
                          std::to_string(frames - 1);
    for (const FrameRange& range : ranges) {
        if (range.first >= frames)
            return "there is no frame " + std::to_string(range.first) + ": " + has;
        if (range.last != FrameRange::kToTheEnd && range.last >= frames)
            return "the range " + RangeText(range) + " goes past the last frame: " + has;
    }
    return {};
}

std::optional<FrameSelection> ReadFrameSelection(std::string_view text, std::string& error) {
    FrameSelection selection;
    const std::string_view example = " (frame numbers from 0 and ranges, such as 0-4,9 or 5-)";
    if (text.empty()) {
        error = "no frames given" + std::string(example);
        return std::nullopt;
    }
    for (std::size_t start = 0; start <= text.size();) {
        const std::size_t comma = std::min(text.find(',', start), text.size());
        const std::string_view item = text.substr(start, comma - start);
        const std::optional<FrameRange> range = ReadRange(item);
        if (item.empty()) {
            error = "'" + std::string(text) + "' has a comma too many" + std::string(example);
            return std::nullopt;
        }
        if (!range) {
            error = "'" + std::string(item) + "' is not a frame or a range" + std::string(example);
            return std::nullopt;
        }
        if (range->last != FrameRange::kToTheEnd && range->last < range->first) {
            error = "the range " + std::string(item) + " goes down: write " +
                    std::to_string(range->last) + "-" + std::to_string(range->first);
            return std::nullopt;
        }
        selection.ranges.push_back(*range);
        start = comma + 1;
    }
    return selection;
}

std::string FrameNamePattern::NameOf(uint64_t index) const {
    std::string number = std::to_string(index);
    if (static_cast<int>(number.size()) < digits)
        number.insert(0, static_cast<std::size_t>(digits) - number.size(), '0');
    return before + number + after;
}

std::optional<FrameNamePattern> ReadFrameNamePattern(std::string_view text, std::string& error) {
    FrameNamePattern pattern;
    std::string* part = &pattern.before;
    int conversions = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            *part += text[i];
        } else if (i + 1 < text.size() && text[i + 1] == '%') {
            *part += '%';
            ++i;
        } else if (const auto conversion = ReadConversion(text.substr(i + 1)); !conversion) {
            error = "'" + std::string(ConversionAt(text, i)) +
                    "' is not a frame number: write %d, or %03d for 000, 001, ... (%% for a "
                    "percent sign)";
            return std::nullopt;
        } else if (++conversions > 1) {
            error = "it has more than one frame number (%d); a name has one";
            return std::nullopt;
        } else {
            pattern.digits = conversion->first;
            part = &pattern.after;
            i += conversion->second;
        }
    }
    if (conversions == 0) {
        error = "it has no %d for the frame number (frame_%03d.png, say)";
        return std::nullopt;
    }
    return pattern;
}

int DigitsOf(uint64_t number) {
    int digits = 1;
    for (; number >= 10; number /= 10) ++digits;
    return digits;
}
