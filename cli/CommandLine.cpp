#include "cli/CommandLine.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <iostream>
#include <memory>
#include <sstream>

#include "TesseraVersion.h"
#include "cli/ExitCodes.h"
#include "link/Link.h"
#include "platform/Paths.h"
#include "transport/MeterIdentity.h"

namespace tessera::cli {

namespace {

// "-o,--output" -> "-o": the name messages use (the first one given).
std::string FirstName(const std::string& names) { return names.substr(0, names.find(',')); }

constexpr const char* kHelpUsage = "help [COMMAND]";

// "Exit status:" and one line per status: every command means the same by each.
void ListExits(std::ostream& out, const std::vector<int>& exits) {
    out << "\nExit status:\n";
    for (int status : exits) out << "  " << status << ' ' << ExitMeaning(status) << '\n';
}

void PrintUsage(const Registry& registry, std::ostream& out) {
    std::vector<const Command*> commands;
    for (const Command& c : registry.All()) commands.push_back(&c);
    std::sort(commands.begin(), commands.end(), [](const Command* a, const Command* b) { return a->name < b->name; });
    out << "Usage: tessera-cli [--meter SERIAL] COMMAND [ARGUMENTS]\n"
           "       tessera-cli --version\n"
           "The QM8620 companion without its window: the same link, pages and texts.\n"
           "The meter is found through the transport library that ships with this program: the\n"
           "first one found, or with --meter (or TESSERA_METER) the one with that serial number\n"
           "(tessera-cli meters lists them).\n\n"
           "Commands:\n";
    for (const Command* c : commands) out << "  " << c->usage << "\n";
    out << "  " << kHelpUsage << "\n\n"
        << "\"tessera-cli COMMAND --help\" explains one command and names the exit statuses it may end with.\n";
    ListExits(out, kLoggingExits);
}

int UnknownCommand(const std::string& name) {
    std::cerr << "tessera-cli: unknown command \"" << name << "\" (see tessera-cli help)\n";
    return kUsageError;
}

// The command whose words were being read (null: none was named).
CommandLine* Chosen(const CLI::App& root, const std::vector<std::unique_ptr<CommandLine>>& lines) {
    const auto chosen = root.get_subcommands();
    if (chosen.empty()) return nullptr;
    for (const auto& line : lines)
        if (&line->App() == chosen.front()) return line.get();
    return nullptr;
}

// A word of the command's that fits none of its declarations; kOk when there is none.
int UnknownWord(const CommandLine& line) {
    const std::vector<std::string> extra = line.App().remaining();
    if (extra.empty()) return kOk;
    const std::string& first = extra.front();
    const bool option = first.size() > 1 && first[0] == '-';
    return line.UsageError(std::string(option ? "unknown option" : "unexpected argument") + " \"" + first + "\"");
}

// What CLI11 found wrong with the command's words, said by the kind of error and the state
// of the declared options.
int WrongWords(const CommandLine& line, const std::vector<std::string>& args, const CLI::ParseError& error) {
    if (dynamic_cast<const CLI::ArgumentMismatch*>(&error)) {
        // An option runs short of its value only when the words run out: the option is the
        // last word (its last letter, when several short flags are written as one word).
        std::string last = args.back();
        if (last.rfind("--", 0) == 0) last = last.substr(0, last.find('='));
        else if (last.size() > 2 && last[0] == '-') last = std::string("-") + last.back();
        if (const CommandLine::Declaration* d = line.Find(last))
            return line.UsageError(d->shortest + " needs " + d->needs);
    }
    if (dynamic_cast<const CLI::RequiredError*>(&error)) {
        // CLI11 checks the declarations in order; the first one missing is the one to name.
        for (const CommandLine::Declaration& d : line.Declarations())
            if (d.option->get_required() && d.option->count() == 0)
                return line.UsageError(line.Declared().name + " needs " + d.wanted);
    }
    if (dynamic_cast<const CLI::ExcludesError*>(&error)) {
        for (const CommandLine::Declaration& d : line.Declarations()) {
            if (d.option->count() == 0) continue;
            for (const CLI::Option* other : d.option->get_excludes())
                if (other->count() > 0) {
                    const CommandLine::Declaration* o = line.Find(other->get_name());
                    return line.UsageError(d.shortest + " and " + (o ? o->shortest : other->get_name()) +
                                           " cannot be given together");
                }
        }
    }
    if (dynamic_cast<const CLI::ConversionError*>(&error)) {
        // Values are taken as written; only a flag given a value ("--yes=no") converts.
        for (const CLI::Option* o : line.App().get_options()) {
            if (o->get_items_expected() != 0 || o->count() == 0) continue;
            for (const std::string& r : o->results())
                if (r != "true") return line.UsageError(o->get_name() + " takes no value");
        }
    }
    return line.UsageError("the words of the command could not be read");
}

}  // namespace

CommandLine::CommandLine(const Command& command, CLI::App& app) : command_(command), app_(app) {
    // Words that fit no declaration are reported with the command's usage.
    app_.allow_extras();
}

void CommandLine::Value(const std::string& names, std::string& into, const std::string& placeholder,
                        const std::string& needs, const std::string& help) {
    // Given twice, the last one counts.
    CLI::Option* option = app_.add_option(names, into, help)
                              ->type_name(placeholder)
                              ->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
    declarations_.push_back({option, FirstName(names), needs, FirstName(names) + " " + placeholder});
}

void CommandLine::Values(const std::string& names, std::vector<std::string>& into, const std::string& placeholder,
                         const std::string& needs, const std::string& help) {
    // One value per occurrence ("--threshold 0.2uT --threshold 1uT"), never a run of words.
    CLI::Option* option = app_.add_option(names, into, help)
                              ->type_name(placeholder)
                              ->allow_extra_args(false)
                              ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
    declarations_.push_back({option, FirstName(names), needs, FirstName(names) + " " + placeholder});
}

void CommandLine::Flag(const std::string& names, bool& into, const std::string& help) {
    app_.add_flag(names, into, help);
}

void CommandLine::Words(const std::string& placeholder, std::vector<std::string>& into, const std::string& help) {
    CLI::Option* option = app_.add_option(placeholder, into, help)->type_name("");
    declarations_.push_back({option, placeholder, "", placeholder});
}

void CommandLine::Word(const std::string& placeholder, std::string& into, const std::string& help) {
    CLI::Option* option = app_.add_option(placeholder, into, help)->type_name("")->required();
    declarations_.push_back({option, placeholder, "", placeholder});
}

void CommandLine::Require(const std::string& name) {
    if (CLI::Option* option = app_.get_option_no_throw(name)) option->required();
}

void CommandLine::Exclude(const std::string& name, const std::string& other) {
    CLI::Option* a = app_.get_option_no_throw(name);
    CLI::Option* b = app_.get_option_no_throw(other);
    if (a && b) a->excludes(b);
}

const CommandLine::Declaration* CommandLine::Find(const std::string& name) const {
    for (const Declaration& d : declarations_)
        if (d.option->check_name(name)) return &d;
    return nullptr;
}

bool CommandLine::Given(const std::string& name) const { return app_.count(name) > 0; }

std::string CommandLine::Help() const {
    std::ostringstream out;
    out << "Usage: tessera-cli " << command_.usage << '\n';
    if (!command_.notes.empty()) out << command_.notes << '\n';
    std::vector<std::pair<std::string, std::string>> rows;
    std::size_t width = 0;
    for (const CLI::Option* o : app_.get_options()) {
        if (o->get_description().empty()) continue;
        std::string names = o->get_name(true, true);
        std::string::size_type comma;
        while ((comma = names.find(',')) != std::string::npos && names[comma + 1] != ' ') names.insert(comma + 1, " ");
        if (!o->get_type_name().empty() && o->get_items_expected() != 0 && o->nonpositional())
            names += " " + o->get_type_name();
        width = std::max(width, names.size());
        rows.emplace_back(names, o->get_description());
    }
    if (!rows.empty()) out << "\nOptions:\n";
    for (const auto& [names, description] : rows)
        out << "  " << names << std::string(width - names.size() + 3, ' ') << description << '\n';
    ListExits(out, command_.exits);
    return out.str();
}

int CommandLine::UsageError(const std::string& why) const {
    if (!why.empty()) std::cerr << "tessera-cli: " << why << '\n';
    std::cerr << "Usage: tessera-cli " << command_.usage << '\n';
    if (!command_.notes.empty()) std::cerr << command_.notes << '\n';
    return kUsageError;
}

int Run(const Registry& registry, std::vector<std::string> args) {
    // "--meter SERIAL" (or "--meter=SERIAL") before the command chooses the meter for every
    // link and transport search of this process, as TESSERA_METER does.
    if (!args.empty() && (args.front() == "--meter" || args.front().rfind("--meter=", 0) == 0)) {
        const bool joined = args.front() != "--meter";
        if (!joined && args.size() < 2) {
            std::cerr << "tessera-cli: --meter needs a serial number\n";
            return kUsageError;
        }
        const std::string serial = joined ? args.front().substr(8) : args[1];
        if (serial.empty() || serial.size() > 64 || transport::PlainSerial(serial) != serial) {
            std::cerr << "tessera-cli: --meter takes a serial number (letters, digits, punctuation), not \"" << serial
                      << "\"\n";
            return kUsageError;
        }
        platform::ChooseMeter(serial);
        args.erase(args.begin(), args.begin() + (joined ? 1 : 2));
    }
    if (args.empty()) {
        PrintUsage(registry, std::cerr);
        return kUsageError;
    }
    CLI::App root("", "tessera-cli");
    // Set before the commands are added: each command inherits it.
    root.set_help_flag("-h,--help", "this help");
    root.set_version_flag("--version", "tessera-cli " TESSERA_VERSION);
    // A word before the command is an unknown command; one command per line.
    root.allow_extras();
    root.require_subcommand(0, 1);

    std::vector<std::unique_ptr<CommandLine>> lines;
    std::vector<CommandRun> runs;
    auto add = [&](const Command& c) {
        CLI::App* app = root.add_subcommand(c.name, c.usage);
        lines.push_back(std::make_unique<CommandLine>(c, *app));
        runs.push_back(c.declare(*lines.back()));
    };
    for (const Command& c : registry.All()) add(c);

    // "help [COMMAND]": every command, or one command's help.
    std::vector<std::string> helpWords;
    const Command help{"help",
                       kHelpUsage,
                       "",
                       [&](CommandLine& line) -> CommandRun {
                           line.Words("COMMAND", helpWords, "the command to explain");
                           return [&]() -> int {
                               if (helpWords.size() > 1)
                                   return line.UsageError("unexpected argument \"" + helpWords[1] + "\"");
                               if (helpWords.empty()) {
                                   PrintUsage(registry, std::cout);
                                   return kOk;
                               }
                               for (const auto& l : lines) {
                                   if (l->Declared().name != helpWords.front()) continue;
                                   std::cout << l->Help();
                                   return kOk;
                               }
                               return UnknownCommand(helpWords.front());
                           };
                       },
                       {kOk, kUsageError}};
    add(help);

    std::vector<std::string> words(args.rbegin(), args.rend());  // CLI11 takes the words last first
    try {
        root.parse(words);
    } catch (const CLI::CallForHelp&) {
        if (!root.remaining().empty()) return UnknownCommand(root.remaining().front());
        if (const CommandLine* line = Chosen(root, lines)) std::cout << line->Help();
        else PrintUsage(registry, std::cout);
        return kOk;
    } catch (const CLI::CallForVersion&) {
        std::cout << "tessera-cli " TESSERA_VERSION "\n";
        return kOk;
    } catch (const CLI::ParseError& e) {
        if (!root.remaining().empty()) return UnknownCommand(root.remaining().front());
        const CommandLine* line = Chosen(root, lines);
        if (!line) return UnknownCommand(args.front());
        if (const int rc = UnknownWord(*line)) return rc;
        return WrongWords(*line, args, e);
    }
    if (!root.remaining().empty()) return UnknownCommand(root.remaining().front());
    const CommandLine* line = Chosen(root, lines);
    if (!line) return UnknownCommand(args.front());
    if (const int rc = UnknownWord(*line)) return rc;

    const std::size_t index = static_cast<std::size_t>(
        std::find_if(lines.begin(), lines.end(), [&](const auto& l) { return l.get() == line; }) - lines.begin());
    const int rc = runs[index]();
    // A command that reached the meter leaves it as the program does when it ends: out of
    // application mode ("APP 0").
    link::Link& link = link::TheLink();
    if (link.SessionOpen()) link.CloseSession();
    return rc;
}

}  // namespace tessera::cli
