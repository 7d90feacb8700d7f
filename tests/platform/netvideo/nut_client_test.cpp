// The stream writer of one receiver: only a receiver with bytes waiting for it can stall; one
// that has nothing to take (nothing sent yet, or all of it taken) never counts as stalled.
#include "platform/netvideo/nut_client.h"

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <unistd.h>

namespace velmar::netvideo {
namespace {

using std::chrono::hours;
using std::chrono::seconds;
using std::chrono::steady_clock;

TEST(NutClientTest, OnlyAReceiverWithBytesWaitingForItCanStall) {
    int fds[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0, fds), 0);
    NutClient client(fds[0]);
    const auto limit = seconds(2);
    EXPECT_FALSE(client.stalledFor(limit, steady_clock::now() + hours(1))) << "idle from the join";

    auto picture = std::make_shared<const std::vector<uint8_t>>(size_t(640) * 360 * 4, 0x40);
    ASSERT_TRUE(client.mux({picture, true, {640, 360, 25, 1}, 0}));
    const auto muxed = steady_clock::now();
    ASSERT_TRUE(client.hasPendingBytes());
    EXPECT_FALSE(client.stalledFor(limit, muxed + seconds(1)));
    EXPECT_TRUE(client.stalledFor(limit, muxed + seconds(3))) << "nothing taken for too long";

    // The peer takes everything: idle again, however long nothing more is sent.
    std::vector<uint8_t> sink(1 << 16);
    while (client.hasPendingBytes()) {
        ASSERT_TRUE(client.writeSome(steady_clock::now()));
        while (::recv(fds[1], sink.data(), sink.size(), MSG_DONTWAIT) > 0) {
        }
    }
    EXPECT_FALSE(client.stalledFor(limit, steady_clock::now() + hours(1)));
    ::close(fds[1]);
}

}  // namespace
}  // namespace velmar::netvideo
