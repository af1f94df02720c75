#pragma once

// The fixture of the command line's tests: a scratch folder to run quorvel in, and small GIFs to
// give it.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/CliRunner.h"
#include "support/GifBuilder.h"
#include "support/TestFiles.h"

inline bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

class CliTest : public ::testing::Test {
protected:
    // Runs quorvel in the scratch folder, standard input read from `input`.
    CliRun Quorvel(const std::vector<std::string>& args,
                   const std::filesystem::path& input = "/dev/null") {
        return RunQuorvel(args, dir.Path(), dir.Path(), input);
    }

    // A GIF of `frames` width x height frames, red and blue in turn, each lasting `delay`
    // hundredths of a second.
    void MakeGif(const std::string& name, int frames, int width = 8, int height = 6,
                 int delay = 10) {
        GifBuilder gif(width, height);
        gif.GlobalColors({{250, 0, 0}, {0, 0, 250}});
        for (int i = 0; i < frames; ++i)
            gif.Solid(0, 0, width, height, static_cast<uint8_t>(i % 2), delay);
        ASSERT_TRUE(gif.Write(dir / name)) << gif.Error();
    }

    ScratchDir dir;
};
