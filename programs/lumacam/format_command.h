// SPDX-License-Identifier: LGPL-2.1-or-later
// lumacam format [NAME] [WIDTHxHEIGHT[@FPS]]: prints an installed camera's format, or gives it
// another (root's right, or pkexec's under the polkit action). The play service, when it runs,
// is restarted to take the new size; `lumacam run` and the readers follow by themselves.
#pragma once

#include <string>

namespace lumaghost {

/// The format command's arguments (after "format"); its exit code.
int runFormatCommand(int argc, char **argv);

/// The command line a caller given the administrator's authorisation (pkexec) may run:
/// `format [NAME] WIDTHxHEIGHT[@FPS]`, nothing else. Empty when `argv` is such a line,
/// otherwise what is refused, in one line.
std::string elevatedCommandLineProblem(int argc, char **argv);

}  // namespace lumaghost
