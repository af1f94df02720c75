#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "jobs/BatchJob.h"

// Checks a conversion run makes before it writes anything.

// Why the --url value cannot be used (too long, or a control character in what the movie would
// carry: a newline, a tab); empty when it can.
std::string TargetUrlProblem(const std::string& url);
// A warning for a --url value that runs script or opens local data rather than a page
// (javascript:, vbscript:, data:, file:); empty for any other.
std::string TargetUrlWarning(const std::string& url);

// Why the inputs do not make the one movie that '-o OUTPUT' writes ('-o -', '-o NAME.swf'):
// several inputs, or a folder holding other than one GIF file; empty when they do, or when the
// one input failed (it was reported).
std::string OneMovieProblem(const std::string& output, const std::vector<std::string>& inputs,
                            std::size_t files, int failed);

// Leaves out of the request's files, reporting each, the inputs one of whose outputs (the
// movie, the page with html, and the Ruffle files named, which offline pages get in "ruffle"
// beside them) is the same file as an input of the run, itself or another, through links or
// not: writing it would destroy that input. Those whose "ruffle" folder is a symbolic link are
// left out too, when Ruffle's files are named: they would be written wherever it points.
// Returns how many were left out.
int RefuseOutputsThatAreInputs(BatchRequest& request, bool html,
                               const std::vector<std::string>& ruffleFiles);
