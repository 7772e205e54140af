#pragma once

#include <cstdint>
#include <string>

// A click on a button that opens a view points the window's frame at once at a held address
// ("data/.view?from=N", N the frame sequence the shell shows). The browser sets up that
// navigation while the click's input travels and the view is built; the server answers it
// when the frame sequence has moved past N to a built page, or when the loading page's delay
// is over. This overlaps the browser's cost of a new document with the program's work.
namespace ds {

// How long a held view waits for its page before the loading page (or nothing) is shown: the
// shell's delay before it shows the loading page itself.
inline constexpr int kViewHoldMilliseconds = 120;

enum class HeldViewStep {
  kWait,       // not yet: the click's view is not published or still loading
  kUnchanged,  // the frame keeps its page (204): nothing new was published in time
  kShow,       // redirect the frame to the published page
};

// The frame the window shows now: its data file and the sequence of that navigation.
struct PublishedFrame {
  std::string file;  // relative to the data folder, e.g. "SMARTPage.html"; "" for none
  std::uint64_t sequence = 0;
};

// What a held view that started from sequence `from` gets now; `late` once its wait is over.
HeldViewStep DecideHeldView(const PublishedFrame& frame, std::uint64_t from, bool late);

// The address the frame is sent to, under the run's secret segment: "/TOKEN/data/FILE?view=N".
// "" for a file name that is not a plain data path (the frame then keeps its page).
std::string HeldViewLocation(const std::string& token, const PublishedFrame& frame);

// The `from` sequence of a held view's query ("from=N"); false when it is missing or not a
// plain decimal number.
bool ParseHeldViewFrom(const std::string& query, std::uint64_t* from);

}  // namespace ds
