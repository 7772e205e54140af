#pragma once

#include <ostream>
#include <string>
#include <vector>

// The selftest sub-command: starts or aborts a drive self-test, off-line mode only.
//
//   drivesentinel selftest --drive N --serial S --short|--extended|--abort
//                          [--demo | --sim DIR] [--home DIR]
//
// The disk is checked as for the erase (its serial must match), then as drive/selftest.h
// says (supported, no test running, not busy, not asleep). Nothing is asked: the command
// line is the consent. What was started, with its estimated minutes, goes to standard
// output; a refusal to standard error with exit code 6.
namespace ds {

// `args` are the words after "selftest"; `installFolder` the executable's folder.
int RunSelfTestCommand(const std::vector<std::string>& args, const std::string& installFolder,
                       std::ostream& out, std::ostream& err);

}  // namespace ds
