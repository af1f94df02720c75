#pragma once

// Which images of an animation make a frame, and what an area restored to the background shows.
struct FrameRules {
    // Every image is a frame, an image with delay 0 lasting 100 ms, as browsers show it;
    // otherwise images with delay 0 merge into the next image with a delay.
    bool everyImage = false;
    // A restored area shows the stage colour, as browsers show the page there; otherwise, where
    // the image has no transparent index, the screen's background colour.
    bool restoreToStage = false;
};

// The frames a browser shows: every image, restored areas on the stage.
inline constexpr FrameRules kBrowserFrames{true, true};

// Browsers show a delay of 10 ms or less as 100 ms.
constexpr int ShownDelay(int delayMs) { return delayMs <= 10 ? 100 : delayMs; }
