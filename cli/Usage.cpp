#include "cli/Usage.h"

#include <algorithm>
#include <iostream>
#include <numeric>
#include <regex>

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

// The known word nearest to an unknown one, "--quality" for "--qualty" or "convert" for
// "covert"; empty when none is near enough to be a likely slip. A known word that starts with
// the unknown one is nearest.
std::string Nearest(const std::vector<std::string>& known, const std::string& unknown) {
    std::string nearest;
    std::size_t best = std::max<std::size_t>(2, unknown.size() / 3) + 1;
    for (const std::string& word : known) {
        const std::size_t distance = word.starts_with(unknown) ? 1 : EditDistance(unknown, word);
        if (distance < best) std::tie(best, nearest) = std::pair{distance, word};
    }
    return nearest;
}

std::string NearestOption(const CLI::App& command, const std::string& unknown) {
    std::vector<std::string> known;
    for (const CLI::Option* option : command.get_options())
        for (const std::string& name : option->get_lnames()) known.push_back("--" + name);
    return Nearest(known, unknown);
}

// An unknown option among the words, with the nearest known one; empty when every option is
// known (the extra words are arguments, then).
std::string UnknownOption(const CLI::App& command, const std::vector<std::string>& args) {
    for (const std::string& arg : args) {
        if (arg == "--") break;
        // Long options, and short ones alone (not "-j4" or "-qn").
        const std::string name = arg.substr(0, arg.find('='));
        if (!name.starts_with("--") && (name.size() != 2 || name[0] != '-')) continue;
        bool known = false;
        for (const CLI::Option* option : command.get_options()) known |= option->check_name(name);
        if (known) continue;
        const std::string nearest = name.starts_with("--") ? NearestOption(command, name) : "";
        return "unknown option " + name +
               (nearest.empty() ? std::string() : " (did you mean " + nearest + "?)");
    }
    return {};
}

// CLI11's own wording of the errors it finds, as quorvel's messages put them; what matches
// none is left as it is.
std::string InOurWords(const CLI::ParseError& error) {
    const std::string what = error.what();
    std::smatch parts;
    const auto matches = [&](const char* pattern) {
        return std::regex_match(what, parts, std::regex(pattern));
    };
    if (matches("(\\S+): Value (.*) not in range \\[?(\\S+) (?:-|to) (\\S+?)\\]?"))
        return parts[1].str() + " needs a whole number from " + parts[3].str() + " to " +
               parts[4].str() + ", not " + parts[2].str();
    // A check of ours that says what the option needs reads on from its name; others keep
    // CLI11's "--option: what is wrong".
    if (dynamic_cast<const CLI::ValidationError*>(&error) && matches("(\\S+): (needs .*)"))
        return parts[1].str() + " " + parts[2].str();
    if (matches("(\\S+) is required")) return "no " + parts[1].str() + " given";
    if (matches("(\\S+) requires (\\S+)")) return parts[1].str() + " needs " + parts[2].str();
    if (matches("(\\S+) excludes (\\S+)"))
        return parts[1].str() + " and " + parts[2].str() + " cannot be used together";
    if (dynamic_cast<const CLI::ArgumentMismatch*>(&error) && matches(".*?(-[-\\w]+).*"))
        return parts[1].str() + " needs a value";
    if (matches("The following arguments? (?:was|were) not expected: (.*)"))
        return "unexpected argument " + parts[1].str();
    if (matches("Could not convert: (\\S+) = (.*)"))
        return parts[1].str() + " cannot take " + parts[2].str();
    if (matches("(\\S+): Should be true/false or a number")) return parts[1].str() + " takes no value";
    return what;
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
    if (command != nullptr && dynamic_cast<const CLI::ExtrasError*>(&error)) {
        if (std::string unknown = UnknownOption(*command, args); !unknown.empty()) return unknown;
    }
    return InOurWords(error);
}

std::string NearestCommand(const CLI::App& app, const std::string& unknown) {
    std::vector<std::string> known;
    for (const CLI::App* command : app.get_subcommands({})) known.push_back(command->get_name());
    return Nearest(known, unknown);
}
