#include "cli/CliCommon.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <iostream>

#include "base/AtomicFile.h"

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
            return whole ? std::string() : value + " is not a whole number";
        },
        "INT");
}

CLI::Option* AddColorOption(CLI::App* app, const std::string& flags, RgbColor& value,
                            const std::string& help) {
    const auto toValue = [](std::string& text) {
        const std::optional<RgbColor> color = ColorFromName(text);
        if (!color) return text + " is not a colour (#rrggbb, white or black)";
        text = std::to_string(*color);
        return std::string();
    };
    return app->add_option(flags, value, help + ": #rrggbb, white or black")
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
