#include "app/run_options.h"

#include <charconv>

namespace ds {

bool IsAutostartCommandLine(const std::vector<std::string>& args) {
  return args.size() == 1 && args[0] == "/autostart";
}

bool ParseRunOptions(const std::vector<std::string>& args, RunOptions* options,
                     std::string* message) {
  RunOptions parsed;
  bool demo = false;
  bool sim = false;
  bool headless = false;
  auto fail = [message](const std::string& text) {
    if (message)
      *message = text;
    return false;
  };
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    auto value = [&](std::string* out) {
      if (i + 1 >= args.size() || args[i + 1].empty())
        return false;
      *out = args[++i];
      return true;
    };
    std::string text;
    if (arg == "--demo") {
      demo = true;
    } else if (arg == "--sim") {
      if (!value(&parsed.simFolder))
        return fail("--sim needs a folder");
      sim = true;
    } else if (arg == "--home") {
      if (!value(&parsed.home))
        return fail("--home needs a folder");
      if (parsed.home.back() != '/')
        parsed.home += '/';
    } else if (arg == "--port") {
      if (!value(&text))
        return fail("--port needs a number");
      int port = -1;
      auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), port);
      if (error != std::errc() || end != text.data() + text.size() || port < 0 || port > 65535) {
        return fail("--port needs a number from 0 to 65535");
      }
      parsed.port = port;
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
  if (demo && sim)
    return fail("--demo and --sim exclude each other");
  if (headless && parsed.open)
    return fail("--headless and --open exclude each other");
  parsed.source = demo ? DiskSource::kDemo : sim ? DiskSource::kSimulated : DiskSource::kRealDisks;
  parsed.autostartLaunch = IsAutostartCommandLine(args);
  *options = std::move(parsed);
  return true;
}

}  // namespace ds
