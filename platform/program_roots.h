#pragma once

#include <string>
#include <string_view>

// The program's two folders. The install folder holds what is delivered: the executable,
// the page templates, static pages, images, description tables, the ini file and the
// mailer; it may be read-only, and programs and templates are only ever taken from it. The
// home folder holds what the program writes: settings, history, generated pages and
// workbooks, the cookie copies, the registry file. By default both are the executable's
// folder; --home moves the writable part.
namespace ds {

struct ProgramRoots {
  std::string install;  // with a trailing "/"
  std::string home;     // with a trailing "/"

  ProgramRoots() = default;
  ProgramRoots(std::string installFolder, std::string homeFolder)
      : install(std::move(installFolder)), home(std::move(homeFolder)) {}
  // One folder for both (tests, and a program folder nobody moved).
  explicit ProgramRoots(const std::string& both) : install(both), home(both) {}

  // install + "data/" + name: delivered data.
  std::string InstallData(std::string_view name) const {
    return install + "data/" + std::string(name);
  }
  // home + "data/" + name: what the program writes.
  std::string HomeData(std::string_view name) const { return home + "data/" + std::string(name); }
};

}  // namespace ds
