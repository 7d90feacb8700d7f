#include "engine_fixture.h"

#include "core/movie_playback.h"
#include "platform/player/movie_player.h"
#include "support/test_media.h"

namespace velmar::test {
namespace {

struct ShuttleFixture : EngineFixture {
    // Takes a tiny movie from a real file on program.
    void takeMovie() {
        TestMedia::MovieOptions options{160, 90};
        Clip clip = movie("M");
        clip.url = QUrl::fromLocalFile(TestMedia::movie("mp4", options));
        loadTab({clip});
        ASSERT_TRUE(engine->nextMedia() && engine->nextMedia()->isMovie());
        auto playback = engine->nextMedia()->asMovie()->playback;
        waitFor([&] { return playback->isPrepared(); });
        engine->returnPressed();
        ASSERT_TRUE(engine->programMedia() && engine->programMedia()->isMovie());
    }
};

TEST_F(ShuttleFixture, ReportsTheRateOfTheProgramMovieAndSaysWhenThereIsNone) {
    loadTab({still("A")});
    engine->returnPressed();
    for (int direction : {-1, 0, 1}) {
        engine->shuttleProgram(direction);
        EXPECT_EQ(engine->lastMessage(), "PROGRAM に動画がありません");
        engine->slowShuttleProgram(direction | 1);
        EXPECT_EQ(engine->lastMessage(), "PROGRAM に動画がありません");
    }

    ASSERT_NO_FATAL_FAILURE(takeMovie());
    struct Step {
        bool slow;
        int direction;
        const char* message;
    };
    const Step steps[] = {
        {false, 0, "K  PAUSE"},    {false, 1, "L  1x"},    {false, 1, "L  2x"},
        {false, -1, "J  1x"},      {false, 0, "K  PAUSE"}, {false, -1, "J  REV 1x"},
        {false, 0, "K  PAUSE"},    {true, 1, "⇧L  10%"},   {true, -1, "⇧J  PAUSE"},
        {true, -1, "⇧J  REV 10%"}, {false, 0, "K  PAUSE"}, {false, 1, "L  1x"},
        {true, 1, "⇧L  110%"},
    };
    for (const Step& step : steps) {
        step.slow ? engine->slowShuttleProgram(step.direction)
                  : engine->shuttleProgram(step.direction);
        EXPECT_EQ(engine->lastMessage(), QString::fromUtf8(step.message));
    }
    EXPECT_EQ(engine->state(), PlayoutEngine::State::on);  // the shuttle never touches on-air state
}

}  // namespace
}  // namespace velmar::test
