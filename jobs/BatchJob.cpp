#include "jobs/BatchJob.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <filesystem>
#include <map>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>

#include "anim/AnimationFormat.h"
#include "jobs/ConvertJob.h"
#include "jobs/Library.h"
#include "jobs/MemoryBudget.h"

namespace fs = std::filesystem;

std::vector<std::string> ListAnimationFiles(const std::string& folder, std::string* error) {
    std::vector<fs::path> found;
    std::error_code ec;
    fs::directory_iterator it(fs::path(folder), ec), end;
    for (; !ec && it != end; it.increment(ec)) {
        std::error_code typeError;
        // A folder named "x.gif" is not an animation; symbolic links to regular files are.
        if (it->is_regular_file(typeError) && HasAnimationExtension(it->path().filename().string()))
            found.push_back(it->path());
    }
    if (ec) {
        if (error) *error = "cannot list " + folder + ": " + ec.message();
        return {};
    }
    std::sort(found.begin(), found.end(),
              [](const fs::path& a, const fs::path& b) { return a.filename() < b.filename(); });
    std::vector<std::string> files;
    files.reserve(found.size());
    for (const fs::path& p : found) files.push_back(p.string());
    return files;
}

int BatchResult::Converted() const {
    return static_cast<int>(std::count_if(results.begin(), results.end(),
                                          [](const JobResult& r) {
                                              return r.Succeeded() && r.skipped.empty();
                                          }));
}

int BatchResult::Failed() const {
    return static_cast<int>(std::count_if(results.begin(), results.end(), [](const JobResult& r) {
        return r.status == JobResult::Status::Failed;
    }));
}

fs::path MovieOf(const BatchRequest& request, std::size_t index) {
    if (!request.movieFile.empty() && request.files.size() == 1) return request.movieFile;
    return MoviePath(request.outputFolder, request.files[index]);
}

std::vector<std::size_t> ExistingMovies(const BatchRequest& request) {
    std::vector<std::size_t> existing;
    for (std::size_t i = 0; i < request.files.size(); ++i) {
        std::error_code ec;
        if (fs::exists(MovieOf(request, i), ec)) existing.push_back(i);
    }
    return existing;
}

namespace {

// A file of a batch before it is converted: its plan, or how it ended without being converted.
struct PlannedFile {
    ConversionPlan plan;
    std::optional<JobResult> settled;
};

JobResult Settled(const std::string& file, JobResult::Status status, std::string error = {}) {
    JobResult result;
    result.input = file;
    result.status = status;
    result.error = std::move(error);
    return result;
}

// Plans every file in turn until cancelled (the files not reached are left unplanned). Two
// inputs with one title (t1/a.gif and t2/a.gif, or a.gif and a.GIF) would write one movie, the
// later replacing the earlier: the first in the list keeps it, the others fail.
std::vector<PlannedFile> PlanFiles(const BatchRequest& request, const JobControl& control,
                                   const BatchEvents& events) {
    std::vector<PlannedFile> planned(request.files.size());
    std::map<fs::path, std::size_t> movieOwner;
    for (std::size_t i = 0; i < request.files.size() && !control.Cancelled(); ++i) {
        const std::string& file = request.files[i];
        const fs::path movie = MovieOf(request, i);
        std::error_code ec;
        const fs::path same = fs::weakly_canonical(movie, ec);
        const auto [owner, first] = movieOwner.emplace(ec ? movie : same, i);
        if (!first) {
            planned[i].settled = Settled(file, JobResult::Status::Failed,
                                         "its movie " + movie.string() +
                                             " is already the movie of " +
                                             request.files[owner->second]);
        } else if (request.existing == Existing::Keep && fs::exists(movie, ec)) {
            planned[i].settled = Settled(file, JobResult::Status::Succeeded);
            planned[i].settled->skipped.push_back(movie.string());
        } else {
            planned[i].plan = PlanMovie(file, movie, request.options);
            if (!planned[i].plan.error.empty())
                planned[i].settled = ConvertPlanned(planned[i].plan);  // fails at once
            else if (events.planned)
                events.planned(i, planned[i].plan.Summary());
        }
    }
    return planned;
}

// Converts file `index` of a batch as planned, with its share of the threads and the batch's
// memory.
JobResult ConvertFileOfBatch(const ConversionPlan& plan, std::size_t index,
                             const JobControl& control, const BatchEvents& events,
                             unsigned threads, MemoryBudget& memory) {
    JobControl fileControl;
    fileControl.cancel = control.cancel;
    fileControl.threads = threads;
    fileControl.memory = &memory;
    if (events.frames)
        fileControl.progress = [&events, index](int frames) { events.frames(index, frames); };
    return ConvertPlanned(plan, fileControl);
}

}  // namespace

BatchResult ConvertBatch(const BatchRequest& request, const JobControl& control,
                         const BatchEvents& events) {
    if (request.options.library != LibraryKind::None)
        return ConvertLibraries(request, control, events);
    const std::vector<std::string>& files = request.files;
    const unsigned budget =
        control.threads ? control.threads : std::max(1u, std::thread::hardware_concurrency());
    // Whole files in parallel scale best; a file's own frames get the threads that are left.
    const unsigned fileWorkers = static_cast<unsigned>(
        std::min<std::size_t>(budget, std::max<std::size_t>(1, files.size())));
    const unsigned threadsPerFile = std::max(1u, budget / fileWorkers);

    std::vector<PlannedFile> planned = PlanFiles(request, control, events);
    std::vector<JobResult> results(files.size());
    std::vector<bool> reached(files.size(), false);
    MemoryBudget ownMemory;
    MemoryBudget& memory = control.memory ? *control.memory : ownMemory;
    std::atomic<std::size_t> next{0};
    std::mutex progressMutex;
    int filesDone = 0;

    auto work = [&] {
        for (;;) {
            if (control.Cancelled()) return;
            const std::size_t i = next.fetch_add(1);
            if (i >= files.size()) return;
            JobResult result = planned[i].settled
                                   ? std::move(*planned[i].settled)
                                   : ConvertFileOfBatch(planned[i].plan, i, control, events,
                                                        threadsPerFile, memory);
            planned[i].plan = {};
            if (events.fileDone) events.fileDone(i, result);
            std::lock_guard<std::mutex> lock(progressMutex);
            results[i] = std::move(result);
            reached[i] = true;
            control.Report(++filesDone);
        }
    };

    std::vector<std::thread> workers;
    try {
        for (unsigned t = 1; t < fileWorkers; ++t) workers.emplace_back(work);
    } catch (const std::system_error&) {
        // No more threads to be had: the ones started share the files.
    }
    work();
    for (std::thread& t : workers) t.join();

    BatchResult batch;
    batch.cancelled = control.Cancelled();
    for (std::size_t i = 0; i < files.size(); ++i)
        if (reached[i]) batch.results.push_back(std::move(results[i]));
    return batch;
}
