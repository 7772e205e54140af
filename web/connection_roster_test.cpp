#include "web/connection_roster.h"

#include <gtest/gtest.h>
#include <sys/socket.h>

#include <cerrno>

#include "web/listen_socket.h"

namespace ds {
namespace {

using std::chrono::milliseconds;

// A late request closes its connection (its peer reads the end), one still in time or being
// answered stays open, a kept-alive one has the shorter idle limit, and the roster names the
// next deadline; a close is reported once.
TEST(ConnectionRosterTest, ClosesLateRequestsOnlyAndNamesTheNextDeadline) {
  struct Row {
    milliseconds openedAt;
    bool answering;
    bool answered;
    bool closed;
  };
  const Row rows[] = {{milliseconds(0), false, false, true},
                      {milliseconds(80), false, false, false},
                      {milliseconds(0), true, false, false},
                      {milliseconds(100), false, true, true}};
  ConnectionRoster roster(milliseconds(100), 64, milliseconds(40));
  const auto start = ConnectionRoster::Clock::now();
  ScopedFd ends[4][2];
  char ids[4];
  for (int i = 0; i < 4; ++i) {
    int fds[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, fds), 0);
    ends[i][0].Reset(fds[0]);
    ends[i][1].Reset(fds[1]);
    auto* connection = reinterpret_cast<MHD_Connection*>(&ids[i]);
    roster.Opened(connection, fds[0], start + rows[i].openedAt);
    if (rows[i].answering)
      roster.Answering(connection);
    if (rows[i].answered)
      roster.Answered(connection, start + rows[i].openedAt);
  }
  EXPECT_EQ(roster.CloseLate(start + milliseconds(150)), start + milliseconds(180));
  for (int i = 0; i < 4; ++i) {
    char byte;
    const ssize_t got = ::recv(ends[i][1].get(), &byte, 1, MSG_DONTWAIT);
    EXPECT_EQ(got == 0, rows[i].closed) << "row " << i << " errno " << errno;
  }
  roster.Closed(reinterpret_cast<MHD_Connection*>(&ids[0]));
  EXPECT_TRUE(roster.TakeClosed());
  EXPECT_FALSE(roster.TakeClosed());
  EXPECT_EQ(roster.size(), 3u);
}

}  // namespace
}  // namespace ds
