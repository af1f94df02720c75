#include "cli/CliCommon.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <iostream>

#include <filesystem>
#include <system_error>

#include "base/AtomicFile.h"
#include "jobs/BatchJob.h"

namespace fs = std::filesystem;

namespace {

std::atomic<bool> g_interrupted{false};
std::atomic<int> g_signal{0};
std::atomic<bool> g_outputClosed{false};

extern "C" void OnInterrupt(int signal) {
    g_signal.store(signal);
    g_interrupted.store(true);
}

}  // namespace

CLI::Validator WholeNumber() {
    return CLI::Validator(
        [](std::string& value) {
            const std::size_t digits = value.find_first_not_of("+-") == 1 ? 1 : 0;
            const bool whole = value.size() > digits &&
                               value.find_first_not_of("0123456789", digits) == std::string::npos;
            return whole ? std::string() : "needs a whole number, not " + value;
        },
        "INT");
}

CLI::Validator NumberFrom(int64_t low, int64_t high) {
    return CLI::Validator(
        [low, high](std::string& value) {
            const std::size_t digits = value.find_first_not_of("+-") == 1 ? 1 : 0;
            const bool whole = value.size() > digits && value.size() < 19 &&
                               value.find_first_not_of("0123456789", digits) == std::string::npos;
            const int64_t number = whole ? std::stoll(value) : 0;
            return whole && number >= low && number <= high
                       ? std::string()
                       : "needs a whole number from " + std::to_string(low) + " to " +
                             std::to_string(high) + ", not " + value;
        },
        "");
}

std::vector<std::string> ExpandInputs(const std::vector<std::string>& inputs, int& failed) {
    std::vector<std::string> files;
    for (const std::string& input : inputs) {
        std::error_code ec;
        const fs::file_status status = fs::status(input, ec);
        if (fs::is_directory(status)) {
            std::string error;
            std::vector<std::string> listed = ListAnimationFiles(input, &error);
            if (!error.empty()) {
                PrintError(input, error);
                ++failed;
            } else if (listed.empty()) {
                std::cerr << "quorvel: no GIF files in " << QuoteName(input) << '\n';
                ++failed;
            }
            files.insert(files.end(), listed.begin(), listed.end());
        } else if (fs::exists(status)) {
            files.push_back(input);
        } else {
            PrintError(input, ec ? ec.message() : "no such file or folder");
            ++failed;
        }
    }
    return files;
}

CLI::Option* AddColorOption(CLI::App* app, const std::string& flags, RgbColor& value,
                            const std::string& help) {
    const auto toValue = [](std::string& text) {
        const std::optional<RgbColor> color = ColorFromName(text);
        if (!color) return "needs a colour (#rgb, #rrggbb or a CSS name such as navy), not " + text;
        text = std::to_string(*color);
        return std::string();
    };
    return app->add_option(flags, value, help + ": #rgb, #rrggbb or a CSS name such as navy")
        ->transform(CLI::Validator(toValue, ""))
        ->type_name("COLOR")
        ->default_str(value == kWhiteRgb ? "white" : ColorName(value));
}

std::string QuoteName(const std::string& name) {
    const auto control = [](unsigned char c) { return c < 0x20 || c == 0x7F; };
    if (std::none_of(name.begin(), name.end(), control)) return name;
    std::string out;
    bool quoted = false;  // inside '...'
    for (const unsigned char c : name) {
        if (control(c)) {
            static const char kNamed[] = "abtnvfr";  // \a (7) to \r (13)
            char escape[5];
            if (c >= 7 && c <= 13) std::snprintf(escape, sizeof escape, "\\%c", kNamed[c - 7]);
            else std::snprintf(escape, sizeof escape, "\\%03o", c);
            out += std::string(quoted ? "'" : "") + "$'" + escape + "'";
            quoted = false;
            continue;
        }
        if (!quoted) out += '\'';
        quoted = true;
        if (c == '\'') out += "'\\''";
        else out += static_cast<char>(c);
    }
    if (quoted) out += '\'';
    return out;
}

void PrintError(const std::string& file, const std::string& cause) {
    std::cerr << "quorvel: " << QuoteName(file) << ": " << cause << '\n';
}

void PrintWarning(const std::string& file, const std::string& text) {
    std::cerr << "quorvel: " << QuoteName(file) << ": warning: " << text << '\n';
}

int ReportResult(const JobResult& result) {
    for (const std::string& warning : result.warnings) PrintWarning(result.input, warning);
    for (const std::string& note : result.notes) PrintWarning(result.input, note);
    switch (result.status) {
        case JobResult::Status::Succeeded:
            return kExitSuccess;
        case JobResult::Status::Failed:
            PrintError(result.input, result.error);
            return kExitInputFailed;
        case JobResult::Status::Cancelled:
            PrintError(result.input, "cancelled");
            return kExitInputFailed;
    }
    return kExitInputFailed;
}

const std::atomic<bool>* InterruptFlag() {
    static const bool installed = [] {
        static_assert(std::atomic<bool>::is_always_lock_free);
        struct sigaction action = {};
        action.sa_handler = OnInterrupt;
        action.sa_flags = SA_RESETHAND;  // a second signal takes the default way out
        sigemptyset(&action.sa_mask);
        for (const int signal : {SIGINT, SIGTERM, SIGHUP, SIGQUIT})
            sigaction(signal, &action, nullptr);
        std::signal(SIGPIPE, SIG_IGN);
        return true;
    }();
    (void)installed;
    return &g_interrupted;
}

int InterruptSignal() { return g_signal.load(); }

void PrintOutputs(const std::vector<std::string>& files) {
    if (OutputClosed()) return;
    errno = 0;
    for (const std::string& file : files) std::cout << QuoteName(file) << '\n';
    std::cout << std::flush;
    if (std::cout || g_outputClosed.exchange(true)) return;
    std::cerr << "quorvel: cannot write to standard output: " << ErrorText(errno) << "; stopped\n";
    g_interrupted.store(true);
}

bool OutputClosed() { return g_outputClosed.load(); }
