// quorvel: the command line. Each subcommand lives in its own file (see CliCommon.h).

#include <iostream>
#include <string>
#include <vector>

#include "cli/CliCommon.h"
#include "jobs/HeapTuning.h"

namespace {

int UsageError(const std::string& message) {
    std::cerr << "quorvel: " << message << "\nRun 'quorvel --help' for usage.\n";
    return kExitUsage;
}

constexpr const char* kShortUsage =
    "Usage: quorvel convert INPUT... [-o DIR] [--fps N] [--quality low|normal|high] [--url URL]\n"
    "       quorvel extract INPUT [-o DIR] [--format bmp|png|jpg|tga]\n"
    "       quorvel help [COMMAND]\n"
    "Run 'quorvel --help' for all options.\n";

}  // namespace

int main(int argc, char** argv) {
    KeepFrameBuffersInHeap();
    InterruptFlag();  // from the start, so that Ctrl-C always goes through the clean way out
    CLI::App app("Quorvel turns animated GIF images into SWF movies and extracts their frames.",
                 "quorvel");
    app.set_version_flag("-V,--version", std::string("quorvel ") + QUORVEL_VERSION);
    app.require_subcommand(1);
    app.fallthrough(false);

    std::vector<Command> commands = {
        AddConvertCommand(app),
        AddExtractCommand(app),
    };

    std::string topic;
    CLI::App* help = app.add_subcommand("help", "Show the help of a command");
    help->add_option("COMMAND", topic, "The command to explain");

    if (argc < 2) {
        std::cerr << "quorvel: no command given\n" << kShortUsage;
        return kExitUsage;
    }

    // A word where the command belongs that names none: say so rather than "subcommand required".
    if (argc > 1 && argv[1][0] != '-' && argv[1] != std::string("help")) {
        bool known = false;
        for (const Command& command : commands) known |= command.app->get_name() == argv[1];
        if (!known) return UsageError(std::string("no command named '") + argv[1] + "'");
    }

    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForAllHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForVersion& e) {
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        return UsageError(e.what());
    }

    if (help->parsed()) {
        if (topic.empty()) {
            std::cout << app.help();
            return kExitSuccess;
        }
        for (const Command& command : commands) {
            if (command.app->get_name() == topic) {
                std::cout << command.app->help("quorvel");
                return kExitSuccess;
            }
        }
        return UsageError("no command named '" + topic + "'");
    }
    for (const Command& command : commands) {
        if (!command.app->parsed()) continue;
        const int status = command.run();
        // Stopped by a signal: the jobs have removed their temporary files; say which signal.
        if (const int signal = InterruptSignal()) return 128 + signal;
        return OutputClosed() ? kExitInputFailed : status;
    }
    return UsageError("no command given");
}
