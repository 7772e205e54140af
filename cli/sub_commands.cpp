#include "cli/sub_commands.h"

#include <iostream>

#include "cli/erase_command.h"
#include "cli/exit_codes.h"
#include "cli/export_command.h"
#include "cli/report_command.h"
#include "cli/selftest_command.h"
#include "cli/status_command.h"
#include "cli/window_command.h"

namespace ds {
namespace {

constexpr std::string_view kProgram = "drivesentinel";
constexpr std::string_view kUsagePrefix = "usage: ";
constexpr std::string_view kUsageIndent = "       ";  // under kUsagePrefix

constexpr std::string_view kWindowOptions =
    "  --demo      the sample drives shipped with the program (never shown unasked)\n"
    "  --sim DIR   a simulated machine folder\n"
    "  --home DIR  where settings, history and pages are kept (default: $DRIVESENTINEL_HOME,\n"
    "              else Home_Folder of the /etc file, then of the ini file, else beside the\n"
    "              program)\n"
    "  --bind ADDR listen on ADDR (default 127.0.0.1); on another address the machine's own\n"
    "              names and those of --allow-host NAME reach the window\n"
    "  --tls-cert FILE --tls-key FILE  serve the window over HTTPS\n"
    "  --metrics-listen ADDR:PORT  serve Prometheus metrics at http://ADDR:PORT/metrics\n"
    "              (default: Metrics_Listen of /etc/norvik-drivesentinel/drivesentinel.conf,\n"
    "              else of the ini file, else off); they answer to the machine's own names\n"
    "              and those of --allow-host and Metrics_Allow_Host\n";

const SubCommand kCommands[] = {
    {"",
     "[--demo | --sim DIR] [--home DIR] [--port N] [--bind ADDR]\n"
     "[--headless | --open] [--metrics-listen ADDR:PORT]\n"
     "[--allow-host NAME]... [--tls-cert FILE --tls-key FILE]",
     kWindowOptions, RunWindowCommand},
    {"report", "[--demo | --sim DIR] [--home DIR] [--drive N | --all] [--json]", "",
     [](const std::vector<std::string>& args, const std::string& install) {
       return RunReportCommand(args, install, std::cout, std::cerr);
     }},
    {"status", "[--demo | --sim DIR] [--home DIR] [--reset-alerts]", "",
     [](const std::vector<std::string>& args, const std::string& install) {
       return RunStatusCommand(args, install, std::cout, std::cerr);
     }},
    {"export",
     "smart|identify|health --drive N [--demo | --sim DIR]\n"
     "[--home DIR] -o FILE",
     "",
     [](const std::vector<std::string>& args, const std::string& install) {
       return RunExportCommand(args, install, LocalToday, std::cout, std::cerr);
     }},
    {"erase",
     "--drive N --serial S [--demo | --sim DIR] [--home DIR]\n"
     "--yes-erase-all-data",
     "",
     [](const std::vector<std::string>& args, const std::string& install) {
       return RunEraseCommandWithSignals(args, install, std::cout, std::cerr);
     }},
    {"selftest",
     "--drive N --serial S --short|--extended|--abort\n"
     "[--demo | --sim DIR] [--home DIR]",
     "",
     [](const std::vector<std::string>& args, const std::string& install) {
       return RunSelfTestCommand(args, install, std::cout, std::cerr);
     }},
};

// The usage lines of `command`, the first after `lead` ("usage: " or as many blanks), the
// wrapped ones under its first argument.
std::string UsageLines(const SubCommand& command, std::string_view lead) {
  std::string head = std::string(lead) + std::string(kProgram) + " ";
  if (!command.name.empty())
    head += std::string(command.name) + " ";
  const std::string indent(head.size(), ' ');
  std::string text;
  std::string_view rest = command.usage;
  for (bool first = true; !rest.empty(); first = false) {
    const std::size_t end = rest.find('\n');
    text += (first ? head : indent) + std::string(rest.substr(0, end)) + "\n";
    rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
  }
  return text;
}

}  // namespace

std::span<const SubCommand> SubCommands() {
  return kCommands;
}

std::string CommandUsage(std::string_view name) {
  for (const SubCommand& command : kCommands) {
    if (command.name == name)
      return UsageLines(command, kUsagePrefix);
  }
  return {};
}

std::string UsageText() {
  std::string text;
  std::string options;
  for (const SubCommand& command : kCommands) {
    text += UsageLines(command, text.empty() ? kUsagePrefix : kUsageIndent);
    options += command.options;
  }
  return text + options;
}

std::string HelpText() {
  return UsageText() + kExitCodesHelp;
}

int RunCommandLine(const std::vector<std::string>& args, const std::string& install) {
  if (!args.empty() && (args[0] == "--help" || args[0] == "-h" || args[0] == "help")) {
    std::cout << HelpText();
    return kExitOk;
  }
  for (const SubCommand& command : kCommands) {
    if (!command.name.empty() && !args.empty() && args[0] == command.name)
      return command.run(std::vector<std::string>(args.begin() + 1, args.end()), install);
  }
  return kCommands[0].run(args, install);
}

}  // namespace ds
