#pragma once

// A job as the tests start it: the GIF, the output folder and the options of either job.

#include <string>

#include "jobs/ConvertJob.h"
#include "jobs/ExtractJob.h"

struct TestJob {
    std::string gif;
    std::string output;  // the folder of the movie or of the frame files
    ConvertOptions convert;
    ExtractOptions extract;
};

inline JobResult ConvertFile(const TestJob& job, const JobControl& control = {}) {
    return ConvertFile(job.gif, MoviePath(job.output, job.gif), job.convert, control);
}

inline JobResult ExtractFrames(const TestJob& job, const JobControl& control = {}) {
    return ExtractFrames(job.gif, job.output, job.extract, control);
}
