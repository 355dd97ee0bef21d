#include "cli_usage.h"

#include <algorithm>
#include <cstdio>

#include "files.h"

namespace vantrel {

std::string versionText() { return std::string("vantrel ") + VANTREL_VERSION; }

namespace {
size_t editDistance(const std::string& a, const std::string& b) {
    std::vector<size_t> row(b.size() + 1);
    for (size_t j = 0; j <= b.size(); ++j) row[j] = j;
    for (size_t i = 1; i <= a.size(); ++i) {
        size_t diagonal = row[0];
        row[0] = i;
        for (size_t j = 1; j <= b.size(); ++j) {
            const size_t up = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
            diagonal = up;
        }
    }
    return row[b.size()];
}

std::vector<std::string> commandNames(const CLI::App& app) {
    std::vector<std::string> names;
    for (const CLI::App* sub : app.get_subcommands([](const CLI::App*) { return true; })) names.push_back(sub->get_name());
    return names;
}

std::vector<std::string> optionNames(const CLI::App& app) {
    std::vector<std::string> names;
    for (const CLI::Option* opt : app.get_options()) {
        for (const auto& l : opt->get_lnames()) names.push_back("--" + l);
        for (const auto& s : opt->get_snames()) names.push_back("-" + s);
    }
    return names;
}

std::string didYouMean(const std::string& word, const std::vector<std::string>& candidates) {
    const std::string near = closestWord(word, candidates);
    return near.empty() ? "" : "; did you mean '" + near + "'?";
}
}  // namespace

std::string programName(const std::string& argv0) {
    const size_t folder = argv0.find_last_of(std::string("/") + platform::FolderSeparator());
    const std::string name = folder == std::string::npos ? argv0 : argv0.substr(folder + 1);
    return name.empty() ? "vantrel" : name;
}

std::string closestWord(const std::string& word, const std::vector<std::string>& candidates) {
    std::string best;
    size_t bestDistance = std::string::npos;
    for (const auto& c : candidates) {
        const size_t d = editDistance(word, c);
        if (d < bestDistance) best = c, bestDistance = d;
    }
    // Near enough: at most two edits, and fewer than half the word's letters.
    const size_t letters = word.size() - std::min(word.find_first_not_of('-'), word.size());
    if (best.empty() || bestDistance > 2 || 2 * bestDistance >= letters) return "";
    return best;
}

int usageError(const std::string& program, const std::string& message, const std::string& command) {
    std::fflush(stdout);
    std::fprintf(stderr, "vantrel: %s\nTry '%s %s--help' for more information.\n", message.c_str(), program.c_str(),
                 command.empty() ? "" : (command + " ").c_str());
    return kExitUsage;
}

int checkWords(const CLI::App& app, int argc, char** argv) {
    if (argc < 2) return -1;
    const std::string first = argv[1];
    if (first.size() > 1 && first[0] == '-') {
        const std::string name = first.substr(0, first.find('='));
        if (app.get_option_no_throw(name) == nullptr)
            return usageError(app.get_name(), "unknown option '" + name + "'" + didYouMean(name, optionNames(app)), "");
        return -1;
    }
    const CLI::App* sub = nullptr;
    for (const CLI::App* s : app.get_subcommands([](const CLI::App*) { return true; }))
        if (s->get_name() == first) sub = s;
    if (!sub) {
        const std::string message = "'" + first + "' is not a vantrel command" + didYouMean(first, commandNames(app));
        return usageError(app.get_name(), message, "");
    }
    for (int i = 2; i < argc; ++i) {
        const std::string word = argv[i];
        if (word == "--") break;
        if (word.size() < 2 || word[0] != '-') continue;  // a value, or "-" for standard input/output
        std::string name = word.substr(0, word.find('='));
        bool joined = false;  // "-ofile": a short option with its value
        if (name[1] != '-' && name.size() > 2 && sub->get_option_no_throw(name.substr(0, 2)))
            name = name.substr(0, 2), joined = true;
        const CLI::Option* opt = sub->get_option_no_throw(name);
        if (!opt)
            return usageError(app.get_name(),
                              "'" + sub->get_name() + "' has no option '" + name + "'" +
                                  didYouMean(name, optionNames(*sub)),
                              sub->get_name());
        if (opt->get_type_size() != 0 && !joined && word.find('=') == std::string::npos) ++i;  // its value follows
    }
    return -1;
}

int parseCommandLine(CLI::App& app, int argc, char** argv) {
    if (int status = checkWords(app, argc, argv); status >= 0) return status;
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e);  // the help of the command named, on standard output
    } catch (const CLI::CallForVersion&) {
        std::printf("%s\n", versionText().c_str());
        return kExitDone;
    } catch (const CLI::ParseError& e) {
        std::string command;
        for (const CLI::App* s : app.get_subcommands()) command = s->get_name();
        if (command.empty() && argc > 1) command = argv[1];
        return usageError(app.get_name(), e.what(), command);
    }
    return -1;
}

}  // namespace vantrel
