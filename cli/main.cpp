// quorvel: the command line. Each subcommand lives in its own file (see CliCommon.h).

#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "cli/CliCommon.h"
#include "cli/Usage.h"
#include "jobs/HeapTuning.h"

namespace {

constexpr const char* kShortUsage =
    "Usage: quorvel convert INPUT... [-o DIR] [--timing fixed|gif] [--fps N] [--url URL]\n"
    "       quorvel extract INPUT... [-o DIR|f_%03d.png] [--format png|jpg|bmp|tga]\n"
    "               [--frames 0-4,9]\n"
    "       quorvel play INPUT [--timing fixed|gif] [--fps N] [--no-open]\n"
    "       quorvel info FILE|DIR... [--timing fixed|gif] [--fps N] [--json]\n"
    "       quorvel help [COMMAND]\n"
    "Run 'quorvel --help' for all options.\n";

// A word where the command belongs that names none, with the nearest command suggested.
int UnknownCommand(const CLI::App& app, const std::string& word) {
    const std::string nearest = NearestCommand(app, word);
    return UsageError("", "no command named '" + word + "'" +
                              (nearest.empty() ? "" : " (did you mean " + nearest + "?)"));
}

// `quorvel help [COMMAND]`: all the commands, or the one named.
int ShowHelp(const CLI::App& app, const std::vector<Command>& commands, const std::string& topic) {
    if (topic.empty()) {
        // The app's own help, which lists the commands (app.help() would show that of the
        // command parsed: help itself).
        std::cout << app.get_formatter()->make_help(&app, "quorvel", CLI::AppFormatMode::Normal);
        return kExitSuccess;
    }
    for (const Command& command : commands) {
        if (command.app->get_name() == topic) {
            std::cout << command.app->help("quorvel");
            return kExitSuccess;
        }
    }
    return UnknownCommand(app, topic);
}

}  // namespace

int main(int argc, char** argv) {
    KeepFrameBuffersInHeap();
    InterruptFlag();  // from the start, so that Ctrl-C always goes through the clean way out
    CLI::App app("Quorvel turns animated GIF images into SWF movies and extracts their frames.",
                 "quorvel");
    app.formatter(std::make_shared<HelpFormatter>());  // before the commands, which take it
    app.set_version_flag("-V,--version", std::string("quorvel ") + QUORVEL_VERSION);
    app.require_subcommand(1);
    app.fallthrough(false);

    std::vector<Command> commands = {
        AddConvertCommand(app),
        AddExtractCommand(app),
        AddPlayCommand(app),
        AddInfoCommand(app),
    };

    std::string topic;
    CLI::App* help = app.add_subcommand("help", "Show the help of a command");
    help->add_option("COMMAND", topic, "The command to explain");

    if (argc < 2) {
        std::cerr << "quorvel: no command given\n" << kShortUsage;
        return kExitUsage;
    }

    // The command the words are for, whose help explains a usage error. A word where the
    // command belongs that names none: say so rather than "subcommand required".
    const CLI::App* chosen = nullptr;
    for (const Command& command : commands)
        if (command.app->get_name() == argv[1]) chosen = command.app;
    if (!chosen && argv[1][0] != '-' && argv[1] != std::string("help"))
        return UnknownCommand(app, argv[1]);
    const std::string chosenName = chosen ? chosen->get_name() : "";

    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForAllHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForVersion& e) {
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        return UsageError(
            chosenName,
            ExplainParseError(e, chosen, std::vector<std::string>(argv + 2, argv + argc)));
    }

    if (help->parsed()) return ShowHelp(app, commands, topic);
    for (const Command& command : commands) {
        if (!command.app->parsed()) continue;
        const int status = command.run();
        // Stopped by a signal: the jobs have removed their temporary files; say which signal.
        if (const int signal = InterruptSignal()) return 128 + signal;
        return OutputClosed() ? kExitInputFailed : status;
    }
    return UsageError("", "no command given");
}
