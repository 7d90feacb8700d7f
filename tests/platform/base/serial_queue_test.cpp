#include "platform/base/serial_queue.h"

#include <gtest/gtest.h>

#include <pthread.h>

#include <atomic>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

namespace velmar {
namespace {

TEST(SerialQueue, RunsWorkInSubmissionOrderOnOneNamedThread) {
    SerialQueue queue("velmar.a-rather-long-label");
    std::vector<int> order;
    std::set<std::thread::id> threads;
    std::string name;
    for (int i = 0; i < 500; ++i) {
        queue.async([&, i] {
            order.push_back(i);
            threads.insert(std::this_thread::get_id());
        });
    }
    queue.sync([&] {
        char buffer[32] = {};
        pthread_getname_np(pthread_self(), buffer, sizeof buffer);
        name = buffer;
    });
    ASSERT_EQ(order.size(), 500u);
    for (int i = 0; i < 500; ++i) EXPECT_EQ(order[i], i);
    EXPECT_EQ(threads.size(), 1u);
    EXPECT_NE(*threads.begin(), std::this_thread::get_id());
    EXPECT_EQ(name, "velmar.a-rather");  // Linux thread names hold 15 characters
}

TEST(SerialQueue, DestructionRunsWhatWasQueued) {
    std::atomic<int> ran{0};
    {
        SerialQueue queue("drain");
        queue.async([] { std::this_thread::sleep_for(std::chrono::milliseconds(20)); });
        for (int i = 0; i < 100; ++i) queue.async([&] { ++ran; });
    }
    EXPECT_EQ(ran.load(), 100);
}

TEST(SerialQueue, SyncFromTheQueueItselfDoesNotDeadlock) {
    SerialQueue queue("nested");
    bool inner = false;
    queue.sync([&] {
        EXPECT_TRUE(queue.isCurrent());
        queue.sync([&] { inner = true; });
    });
    EXPECT_TRUE(inner);
    EXPECT_FALSE(queue.isCurrent());
}

TEST(SerialQueue, ProducersOnManyThreadsKeepTheirOwnOrder) {
    SerialQueue queue("producers");
    std::vector<std::vector<int>> seen(4);
    std::vector<std::thread> producers;
    for (int p = 0; p < 4; ++p) {
        producers.emplace_back([&, p] {
            for (int i = 0; i < 1000; ++i) queue.async([&, p, i] { seen[p].push_back(i); });
        });
    }
    for (auto& t : producers) t.join();
    queue.waitUntilIdle();
    for (const auto& s : seen) {
        ASSERT_EQ(s.size(), 1000u);
        for (int i = 0; i < 1000; ++i) EXPECT_EQ(s[i], i);
    }
}

}  // namespace
}  // namespace velmar
