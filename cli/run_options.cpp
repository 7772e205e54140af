#include "cli/run_options.h"

#include <charconv>

#include "text/text_helpers.h"

namespace ds {

bool IsAutostartCommandLine(const std::vector<std::string>& args) {
  return args.size() == 1 && args[0] == "/autostart";
}

bool ParseRunOptions(const std::vector<std::string>& args, RunOptions* options,
                     std::string* message) {
  RunOptions parsed;
  std::vector<std::string> words = args;
  std::string error;
  if (!TakeMachineOptions(&words, &parsed.machine, &error)) {
    SetMessage(message, error);
    return false;
  }
  bool headless = false;
  auto fail = [message](const std::string& text) {
    SetMessage(message, text);
    return false;
  };
  for (std::size_t i = 0; i < words.size(); ++i) {
    const std::string& arg = words[i];
    auto value = [&](std::string* out) {
      if (i + 1 >= words.size() || words[i + 1].empty())
        return false;
      *out = words[++i];
      return true;
    };
    // A whole number from `low` to `high` as the option's value.
    auto number = [&](int low, int high, int* out) {
      std::string text;
      if (!value(&text))
        return false;
      auto [end, failure] = std::from_chars(text.data(), text.data() + text.size(), *out);
      return failure == std::errc() && end == text.data() + text.size() && *out >= low &&
             *out <= high;
    };
    if (arg == "--port") {
      if (!number(0, 65535, &parsed.port))
        return fail("--port needs a number from 0 to 65535");
    } else if (arg == "--monitor-period") {
      if (!number(1, 86400, &parsed.monitorPeriodSeconds))
        return fail("--monitor-period needs a number of seconds from 1 to 86400");
    } else if (arg == "--allow-host") {
      std::string name;
      if (!value(&name))
        return fail("--allow-host needs a host name");
      parsed.allowHosts.push_back(name);
    } else if (arg == "--tls-cert") {
      if (!value(&parsed.tlsCertFile))
        return fail("--tls-cert needs a PEM file");
    } else if (arg == "--tls-key") {
      if (!value(&parsed.tlsKeyFile))
        return fail("--tls-key needs a PEM file");
    } else if (arg == "--metrics-listen") {
      if (!value(&parsed.metricsListen))
        return fail("--metrics-listen needs ADDR:PORT");
    } else if (arg == "--bind") {
      if (!value(&parsed.bindAddress))
        return fail("--bind needs an address");
    } else if (arg == "--headless") {
      headless = true;
    } else if (arg == "--open") {
      parsed.open = true;
    } else if (arg == "/autostart") {
      // Only the whole command line "/autostart" is a logon start.
    } else {
      return fail("unknown argument " + arg);
    }
  }
  if (headless && parsed.open)
    return fail("--headless and --open exclude each other");
  if (parsed.tlsCertFile.empty() != parsed.tlsKeyFile.empty())
    return fail("--tls-cert and --tls-key go together");
  parsed.autostartLaunch = IsAutostartCommandLine(args);
  *options = std::move(parsed);
  return true;
}

}  // namespace ds
