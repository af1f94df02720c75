#include "cli/Usage.h"

#include <algorithm>
#include <iostream>
#include <numeric>

#include "cli/CliCommon.h"

namespace {

// Edits (insertions, deletions, replacements) that turn a into b.
std::size_t EditDistance(const std::string& a, const std::string& b) {
    std::vector<std::size_t> row(b.size() + 1);
    std::iota(row.begin(), row.end(), std::size_t{0});
    for (std::size_t i = 1; i <= a.size(); ++i) {
        std::size_t diagonal = row[0];
        row[0] = i;
        for (std::size_t j = 1; j <= b.size(); ++j) {
            const std::size_t above = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] != b[j - 1])});
            diagonal = above;
        }
    }
    return row[b.size()];
}

// The command's option nearest to an unknown one, "--quality" for "--qualty"; empty when none
// is near enough to be a likely slip.
std::string NearestOption(const CLI::App& command, const std::string& unknown) {
    std::string nearest;
    std::size_t best = std::max<std::size_t>(2, unknown.size() / 3) + 1;
    for (const CLI::Option* option : command.get_options()) {
        for (const std::string& name : option->get_lnames()) {
            const std::string known = "--" + name;
            const std::size_t distance =
                known.starts_with(unknown) ? 1 : EditDistance(unknown, known);
            if (distance < best) std::tie(best, nearest) = std::pair{distance, known};
        }
    }
    return nearest;
}

}  // namespace

std::string HelpFormatter::make_option_opts(const CLI::Option* option) const {
    if (option->get_type_size() == 0) return {};  // a flag
    std::string text;
    const std::string type = option->get_type_name();
    if (option->nonpositional() && !type.empty()) text += " " + type.substr(0, type.find(':'));
    if (!option->get_default_str().empty()) text += "=" + option->get_default_str();
    if (option->get_expected_max() > 1) text += " ...";
    return text;
}

int UsageError(const std::string& command, const std::string& message) {
    std::cerr << "quorvel: " << message << "\nRun 'quorvel " << command
              << (command.empty() ? "" : " ") << "--help' for usage.\n";
    return kExitUsage;
}

std::string ExplainParseError(const CLI::ParseError& error, const CLI::App* command,
                              const std::vector<std::string>& args) {
    if (command == nullptr || !dynamic_cast<const CLI::ExtrasError*>(&error)) return error.what();
    for (const std::string& arg : args) {
        if (arg == "--") break;
        // Long options, and short ones alone (not "-j4" or "-qn").
        const std::string name = arg.substr(0, arg.find('='));
        if (!name.starts_with("--") && (name.size() != 2 || name[0] != '-')) continue;
        bool known = false;
        for (const CLI::Option* option : command->get_options()) known |= option->check_name(name);
        if (known) continue;
        const std::string nearest = name.starts_with("--") ? NearestOption(*command, name) : "";
        return "unknown option " + name +
               (nearest.empty() ? std::string() : " (did you mean " + nearest + "?)");
    }
    return error.what();
}
