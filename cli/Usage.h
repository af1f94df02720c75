#pragma once

#include <CLI/CLI.hpp>
#include <string>
#include <vector>

// How quorvel explains its usage: the help, and usage errors that say where to read more.

// Help that shows each value as what the user types (N, COLOR, URL, DIR, NAME, or the choices
// themselves: fixed|gif), leaving ranges and defaults to the option's own words, rather than
// CLI11's "INT:INT in [1 - 255]" or "Needs: --html".
class HelpFormatter : public CLI::Formatter {
public:
    std::string make_option_opts(const CLI::Option* option) const override;
};

// Says "quorvel: <message>" and where the usage is explained: the help of `command` when it
// names one, quorvel's own otherwise. Returns the exit status of a usage error.
int UsageError(const std::string& command, const std::string& message);

// A parse error in quorvel's words ("--fps needs a whole number from 1 to 255, not 0"): an
// unknown option of the command gets the nearest known one suggested. args: the words after
// the command's name.
std::string ExplainParseError(const CLI::ParseError& error, const CLI::App* command,
                              const std::vector<std::string>& args);

// The command of the app nearest to an unknown word ("convert" for "covert"); empty when none
// is near enough.
std::string NearestCommand(const CLI::App& app, const std::string& unknown);
