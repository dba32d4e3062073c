#include "cli/CommandLine.h"

#include <CLI/CLI.hpp>

#include <iostream>
#include <sstream>

#include "cli/ExitCodes.h"

namespace tessera::cli {

namespace {

// "-o,--output" -> "-o": the name messages use (the first one given).
std::string FirstName(const std::string& names) { return names.substr(0, names.find(',')); }

}  // namespace

CommandLine::CommandLine(const Command& command)
    : command_(command), app_(std::make_unique<CLI::App>(command.usage, "tessera-cli " + command.name)) {
    app_->set_help_flag("-h,--help", "this help");
    // Words that fit no declaration are reported by Parse with the command's usage.
    app_->allow_extras();
}

CommandLine::~CommandLine() = default;

void CommandLine::Value(const std::string& names, std::string& into, const std::string& placeholder,
                        const std::string& needs, const std::string& help) {
    // Given twice, the last one counts.
    CLI::Option* option = app_->add_option(names, into, help)
                              ->type_name(placeholder)
                              ->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
    needs_.push_back({option, FirstName(names), needs});
}

void CommandLine::Values(const std::string& names, std::vector<std::string>& into, const std::string& placeholder,
                         const std::string& needs, const std::string& help) {
    // One value per occurrence ("--threshold 0.2uT --threshold 1uT"), never a run of words.
    CLI::Option* option =
        app_->add_option(names, into, help)->type_name(placeholder)->expected(1)->allow_extra_args(false);
    needs_.push_back({option, FirstName(names), needs});
}

void CommandLine::Flag(const std::string& names, bool& into, const std::string& help) {
    app_->add_flag(names, into, help);
}

void CommandLine::Words(const std::string& placeholder, std::vector<std::string>& into, const std::string& help) {
    app_->add_option(placeholder, into, help)->type_name("");
}

CommandLine::Parsed CommandLine::Parse(const std::vector<std::string>& args, int& exitCode) {
    std::vector<std::string> reversed(args.rbegin(), args.rend());  // CLI11 takes the words last first
    try {
        app_->parse(reversed);
    } catch (const CLI::CallForHelp&) {
        std::cout << Help();
        exitCode = kOk;
        return Parsed::Done;
    } catch (const CLI::ParseError& e) {
        // A value missing after its option: "NAME: 1 required TYPE missing" names the option.
        std::string why = e.what();
        const std::string name = why.substr(0, why.find(':'));
        for (const Need& n : needs_) {
            if (n.option->check_name(name) || n.option->get_name() == name) {
                why = n.shortest + " needs " + n.needs;
                break;
            }
        }
        exitCode = UsageError(command_, why);
        return Parsed::Done;
    }
    const std::vector<std::string> extra = app_->remaining();
    if (!extra.empty()) {
        const std::string& first = extra.front();
        const bool option = first.size() > 1 && first[0] == '-';
        exitCode =
            UsageError(command_, std::string(option ? "unknown option" : "unexpected argument") + " \"" + first + "\"");
        return Parsed::Done;
    }
    return Parsed::Run;
}

bool CommandLine::Given(const std::string& name) const { return app_->count(name) > 0; }

std::string CommandLine::Help() const {
    std::ostringstream out;
    out << "Usage: tessera-cli " << command_.usage << '\n';
    if (!command_.notes.empty()) out << command_.notes << '\n';
    std::vector<std::pair<std::string, std::string>> rows;
    std::size_t width = 0;
    for (const CLI::Option* o : app_->get_options()) {
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
    return out.str();
}

int UsageError(const Command& command, const std::string& why) {
    if (!why.empty()) std::cerr << "tessera-cli: " << why << '\n';
    std::cerr << "Usage: tessera-cli " << command.usage << '\n';
    if (!command.notes.empty()) std::cerr << command.notes << '\n';
    return kUsageError;
}

int UsageError(const std::string& name, const std::string& why) {
    for (const Command& c : Commands())
        if (c.name == name) return UsageError(c, why);
    if (!why.empty()) std::cerr << "tessera-cli: " << why << '\n';
    return kUsageError;
}

}  // namespace tessera::cli
