#pragma once

#include <functional>
#include <string_view>

namespace ds {

// Where a drive operation sends the one-line texts the program shows as message boxes
// ("GetSmartData NG", "SetupDiGetClassDevs Failed."). The application passes its user
// interface; tests and the report collect or print them. An empty sink drops them.
using MessageSink = std::function<void(std::string_view text)>;

}  // namespace ds
