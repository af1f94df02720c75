#include "jobs/Library.h"

#include <algorithm>
#include <optional>
#include <set>

#include "anim/AnimationScan.h"
#include "jobs/ConvertJob.h"

namespace fs = std::filesystem;

namespace {

// ActionScript 3's reserved words, which no class may be named (ActionScript 2's are among
// them).
constexpr std::string_view kReservedWords[] = {
    "as",     "break",      "case",   "catch",   "class",      "const",     "continue", "default",
    "delete", "do",         "else",   "extends", "false",      "finally",   "for",      "function",
    "if",     "implements", "import", "in",      "instanceof", "interface", "internal", "is",
    "native", "new",        "null",   "package", "private",    "protected", "public",   "return",
    "super",  "switch",     "this",   "throw",   "to",         "true",      "try",      "typeof",
    "use",    "var",        "void",   "while",   "with"};

bool IsReserved(std::string_view name) {
    return std::find(std::begin(kReservedWords), std::end(kReservedWords), name) !=
           std::end(kReservedWords);
}

bool IsIdentifierStart(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c == '$';
}

bool IsIdentifierPart(char c) { return IsIdentifierStart(c) || (c >= '0' && c <= '9'); }

}  // namespace

bool IsActionScriptIdentifier(std::string_view name) {
    if (name.empty() || !IsIdentifierStart(name.front()) || IsReserved(name)) return false;
    return std::all_of(name.begin(), name.end(), IsIdentifierPart);
}

bool IsPackageName(std::string_view name) {
    for (;;) {
        const std::size_t dot = name.find('.');
        if (!IsActionScriptIdentifier(name.substr(0, dot))) return false;
        if (dot == std::string_view::npos) return true;
        name.remove_prefix(dot + 1);
    }
}

std::string SymbolNameFromTitle(std::string_view title) {
    std::string name;
    for (const char c : title) name += IsIdentifierPart(c) ? c : '_';
    if (name.empty()) return "Animation";
    if (!IsIdentifierStart(name.front()) || IsReserved(name)) name.insert(0, "_");
    return name;
}

std::vector<std::string> SymbolNames(const BatchRequest& request) {
    const ConvertOptions& options = request.options;
    const std::string prefix = options.package.empty() ? "" : options.package + ".";
    std::vector<std::string> names;
    std::set<std::string> taken;
    for (const std::string& file : request.files) {
        const std::string base = request.files.size() == 1 && !options.symbol.empty()
                                     ? options.symbol
                                     : SymbolNameFromTitle(TitleFromPath(file));
        std::string name = base;
        for (int n = 2; !taken.insert(name).second; ++n) name = base + "_" + std::to_string(n);
        names.push_back(prefix + name);
    }
    return names;
}

namespace {

JobResult Failed(const std::string& input, const std::string& error) {
    JobResult result;
    result.input = input;
    result.status = JobResult::Status::Failed;
    result.error = error;
    return result;
}

// Plans every GIF of the library, one scan each, and opens it: as large as its largest GIF, at
// the rate of the first one's movie (the rate of the movie that uses it is what counts). A GIF
// that cannot be converted fails the library before it is opened.
std::optional<JobResult> OpenLibrary(LibraryTarget& library, const BatchRequest& request,
                                     const fs::path& path, std::vector<ConversionPlan>& plans) {
    std::vector<GifInfo> scans;
    for (const std::string& file : request.files)
        scans.push_back(ScanAnimationFile(file, request.options.Rules()));
    // With the GIF's timing every symbol is scheduled at the one rate the library has.
    ConvertOptions options = request.options;
    options.fps = PlanConversion(scans.front(), options).fps;
    options.fpsGiven = true;
    int width = 1, height = 1;
    for (std::size_t i = 0; i < request.files.size(); ++i) {
        plans.push_back(PlanScanned(scans[i], request.files[i], path, options));
        if (!plans[i].error.empty()) return Failed(request.files[i], plans[i].error);
        width = std::max(width, plans[i].width);
        height = std::max(height, plans[i].height);
    }
    if (!library.movie.SetFormat(options.Format()) ||
        !library.movie.OpenFile(path, static_cast<float>(width), static_cast<float>(height),
                                options.fps))
        return Failed(request.files.front(), library.movie.GetError());
    return std::nullopt;
}

// The library's one frame after its symbols: their names, the ShowFrame; then the file.
bool CloseLibrary(LibraryTarget& library, LibraryKind kind) {
    const SymbolTable table =
        kind == LibraryKind::As2 ? SymbolTable::Exports : SymbolTable::Classes;
    return library.movie.NameSymbols(table, library.symbols) && library.movie.ShowFrame() &&
           library.movie.CloseFile();
}

}  // namespace

BatchResult ConvertToLibrary(const BatchRequest& request, const JobControl& control,
                             const BatchEvents& events) {
    BatchResult batch;
    if (request.files.empty()) return batch;
    LibraryTarget library;
    const fs::path path =
        request.movieFile.empty() ? MovieOf(request, 0) : fs::path(request.movieFile);
    std::error_code ec;
    if (request.existing == Existing::Keep && fs::exists(path, ec)) {  // every input kept
        for (const std::string& file : request.files) {
            batch.results.emplace_back().input = file;
            batch.results.back().skipped.push_back(path.string());
        }
        for (std::size_t i = 0; i < batch.results.size() && events.fileDone; ++i)
            events.fileDone(i, batch.results[i]);
        return batch;
    }
    const std::vector<std::string> names = SymbolNames(request);
    std::vector<ConversionPlan> plans;
    std::optional<JobResult> refused = OpenLibrary(library, request, path, plans);
    if (refused) batch.results.push_back(std::move(*refused));
    for (std::size_t i = 0; !refused && events.planned && i < plans.size(); ++i)
        events.planned(i, plans[i].Summary());
    for (std::size_t i = 0; !refused && i < request.files.size(); ++i) {
        JobControl fileControl = control;
        fileControl.library = &library;
        fileControl.progress = [&events, i](int frames) {
            if (events.frames) events.frames(i, frames);
        };
        library.nextName = names[i];
        batch.results.push_back(ConvertPlanned(plans[i], fileControl));
        control.Report(static_cast<int>(i + 1));
        if (!batch.results.back().Succeeded()) break;
    }
    JobResult& last = batch.results.back();
    batch.cancelled = control.Cancelled() || last.status == JobResult::Status::Cancelled;
    if (last.Succeeded() && !CloseLibrary(library, request.options.library))
        last = Failed(last.input, library.movie.GetError());
    if (last.Succeeded()) {
        last.outputs.push_back(path.string());
    } else {
        library.movie.Abandon();
        if (last.status == JobResult::Status::Failed) last.error += "; no library written";
        // The symbols made before it are lost with the library.
        for (JobResult& before : batch.results) {
            if (!before.Succeeded()) continue;
            before.status = JobResult::Status::Failed;
            before.error = "not written: the library failed with " + last.input;
        }
    }
    for (std::size_t i = 0; i < batch.results.size() && events.fileDone; ++i)
        events.fileDone(i, batch.results[i]);
    return batch;
}

BatchResult ConvertLibraries(const BatchRequest& request, const JobControl& control,
                             const BatchEvents& events) {
    if (request.files.size() <= 1 || !request.movieFile.empty())
        return ConvertToLibrary(request, control, events);
    BatchResult batch;
    for (std::size_t i = 0; i < request.files.size() && !control.Cancelled(); ++i) {
        BatchRequest one = request;
        one.files = {request.files[i]};
        one.movieFile = MovieOf(request, i).string();
        BatchEvents own;
        own.planned = [&](std::size_t, const JobPlan& plan) {
            if (events.planned) events.planned(i, plan);
        };
        own.frames = [&](std::size_t, int n) {
            if (events.frames) events.frames(i, n);
        };
        own.fileDone = [&](std::size_t, const JobResult& r) {
            if (events.fileDone) events.fileDone(i, r);
        };
        JobControl fileControl = control;
        fileControl.progress = nullptr;  // files done are counted here
        BatchResult result = ConvertToLibrary(one, fileControl, own);
        batch.results.push_back(std::move(result.results.front()));
        control.Report(static_cast<int>(i + 1));
    }
    batch.cancelled = control.Cancelled();
    return batch;
}
