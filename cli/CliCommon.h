#pragma once

#include <CLI/CLI.hpp>
#include <atomic>
#include <functional>
#include <string>

#include "jobs/JobResult.h"
#include "jobs/Options.h"

// Exit statuses of quorvel.
constexpr int kExitSuccess = 0;
constexpr int kExitInputFailed = 1;  // some input could not be processed
constexpr int kExitUsage = 2;        // the command line was wrong

// A subcommand: its CLI11 definition and what runs when it was chosen. Each subcommand lives in
// its own file and provides an Add...Command(app) that defines it on the main app.
struct Command {
    CLI::App* app = nullptr;
    std::function<int()> run;
};

Command AddConvertCommand(CLI::App& app);
Command AddExtractCommand(CLI::App& app);
Command AddPlayCommand(CLI::App& app);
Command AddInfoCommand(CLI::App& app);

// An option whose value is one of a table's names, in any letter case, read straight into its
// choice; the help shows the names as the value ("--timing gif|fixed") and the default.
template <typename Choice, std::size_t N>
CLI::Option* AddChoiceOption(CLI::App* app, const std::string& flags, Choice& value,
                             const ChoiceName<Choice> (&names)[N], const std::string& help) {
    const auto toValue = [&names](std::string& text) {
        const std::optional<Choice> choice = FromName(names, text);
        if (!choice) return "needs " + NameList(names) + ", not " + text;
        text = std::to_string(static_cast<int>(*choice));  // how CLI11 reads an enum
        return std::string();
    };
    std::string choices;
    for (const auto& entry : names) choices += (choices.empty() ? "" : "|") + std::string(entry.name);
    return app->add_option(flags, value,
                           help + " (default: " + std::string(NameOf(names, value)) + ")")
        ->transform(CLI::Validator(toValue, ""))
        ->type_name(choices);
}

// An option read straight into a colour (#rgb, #rrggbb or a CSS name such as white).
CLI::Option* AddColorOption(CLI::App* app, const std::string& flags, RgbColor& value,
                            const std::string& help);

// Accepts only a whole number (digits, with an optional sign), so that "abc" is called what it
// is rather than a value out of range.
CLI::Validator WholeNumber();
// Accepts a whole number from low to high; anything else "needs a whole number from low to
// high, not <value>".
CLI::Validator NumberFrom(int64_t low, int64_t high);

// Each input is a file or a folder, which stands for its animation files (ListAnimationFiles).
// Inputs that name neither, and folders without any, are reported at once and counted in
// failed.
std::vector<std::string> ExpandInputs(const std::vector<std::string>& inputs, int& failed);

// A file name as it is printed: as it is, or, when it holds a control character (a newline,
// say), quoted the way ls quotes it for a shell ('new'$'\n''line.swf'), so that every name
// stays on its line.
std::string QuoteName(const std::string& name);

// "quorvel: <file>: <cause>" on standard error.
void PrintError(const std::string& file, const std::string& cause);
// "quorvel: <file>: warning: <text>" on standard error.
void PrintWarning(const std::string& file, const std::string& text);
// Prints the warnings of a result, and its error or cancellation; returns the exit status.
int ReportResult(const JobResult& result);

// Set once SIGINT, SIGTERM, SIGHUP or SIGQUIT arrived, or standard output closed; jobs poll it
// to stop between frames (a second signal ends the program at once). Installs the handlers, and
// ignores SIGPIPE so that a closed output is a failed write, on first use.
const std::atomic<bool>* InterruptFlag();
// The signal that set the flag, or 0. A run it stopped exits with 128 + the signal's number,
// once the jobs have removed their temporary files.
int InterruptSignal();

// Prints the files written on standard output, one a line (QuoteName). When that fails (the reader has gone,
// as with `| head -n 1`), says so once on standard error and sets the flag: the run stops, and
// exits with kExitInputFailed.
void PrintOutputs(const std::vector<std::string>& files);
// Whether standard output failed; nothing more is reported then.
bool OutputClosed();
