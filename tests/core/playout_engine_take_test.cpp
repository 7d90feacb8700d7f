#include "engine_fixture.h"

namespace velmar::test {
namespace {

using State = PlayoutEngine::State;

TEST_F(EngineFixture, FadeTakeRampsOnTheFadeClockAndAutoAdvances) {
    loadTab({still("A"), still("B")});
    ASSERT_TRUE(engine->nextMedia().has_value());
    engine->spacePressed();
    EXPECT_EQ(engine->state(), State::fadingIn);
    EXPECT_EQ(engine->programClip()->displayName, "A");
    EXPECT_EQ(rundown().groups()[0].selectedIndex, 1) << "auto-advance moved NEXT";

    clock.advance(0.25);
    EXPECT_NEAR(engine->outputState().opacity, 0.5, 1e-9);
    clock.advance(0.2);
    EXPECT_EQ(engine->state(), State::fadingIn);
    clock.advance(0.06);
    EXPECT_EQ(engine->state(), State::on);
    EXPECT_EQ(engine->meter().value(), 1);
    EXPECT_EQ(clock.activeTimerCount(), 0);

    engine->spacePressed();  // take-off with the clip's (default) motion
    EXPECT_EQ(engine->state(), State::fadingOut);
    EXPECT_FALSE(engine->outputState()->entering);
    clock.advance(0.6);
    EXPECT_EQ(engine->state(), State::off);
    EXPECT_FALSE(engine->programClip().has_value());
    EXPECT_EQ(logText(), "ON    A  [FADE 0.50s]\nOFF   A  [FADE 0.50s]\n");
}

TEST_F(EngineFixture, SpaceDuringAFadeIsIgnoredAndReturnFinishesItWithoutALogLine) {
    loadTab({still("A"), still("B")});
    engine->spacePressed();
    clock.advance(0.1);
    engine->spacePressed();
    EXPECT_EQ(engine->state(), State::fadingIn);
    engine->returnPressed();
    EXPECT_EQ(engine->state(), State::on);
    EXPECT_EQ(clock.activeTimerCount(), 0);
    engine->spacePressed();
    clock.advance(0.1);
    engine->returnPressed();
    EXPECT_EQ(engine->state(), State::off);
    EXPECT_EQ(logText(), "ON    A  [FADE 0.50s]\nOFF   A  [FADE 0.50s]\n");
}

TEST_F(EngineFixture, FadesAtOrBelowOneMillisecondEndOnTheirFirstTick) {
    for (double d : {0.0, 0.001, -5.0}) {
        Clip a = still("A");
        a.motionDuration = d;
        loadTab({a});
        engine->spacePressed();
        EXPECT_EQ(engine->state(), State::fadingIn) << d;
        clock.advance(1.0 / 120.0);
        EXPECT_EQ(engine->state(), State::on) << d;
        engine->panicOff();
    }
}

TEST_F(EngineFixture, ReturnCutsBetweenClipsAndCutsOffAtTheEndOfTheTab) {
    loadTab({still("A"), still("B")});
    engine->returnPressed();
    EXPECT_EQ(engine->state(), State::on);
    settle();
    engine->returnPressed();  // cut from A to B
    EXPECT_TRUE(engine->isAtEnd());
    settle();
    engine->returnPressed();  // NEXT at the end: cut off
    EXPECT_EQ(engine->state(), State::off);
    EXPECT_EQ(logText(), "ON    A  [CUT]\nON    B  [CUT]\nOFF   B  [CUT]\n");
}

// Return on air with NEXT inside the tab but not ready keeps the program as it is.
TEST_F(EngineFixture, ReturnOnAirWithNextNotReadyKeepsTheProgramOn) {
    struct Case {
        const char* name;
        std::function<void()> onAirWithUnreadyNext;
        const char* message;
    };
    const std::vector<Case> cases = {
        {"still decoding",
         [this] {
             loadTab({still("A"), still("B"), still("C")});
             closeGate();
             engine->returnPressed();  // NEXT advances to B, whose decode waits at the gate
         },
         "素材の先読み中です: B"},
        {"not yet verified",
         [this] {
             loadTab({still("A")});
             engine->returnPressed();
             rundown().addClips({still("B")});  // its check result is still queued
             rundown().setSelectedIndex(1);
         },
         "確認中です。数秒待ってからもう一度: B"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        c.onAirWithUnreadyNext();
        ASSERT_EQ(engine->state(), State::on);
        ASSERT_FALSE(engine->isAtEnd());
        const auto before = engine->outputState().state;
        engine->returnPressed();
        EXPECT_EQ(engine->state(), State::on);
        EXPECT_EQ(engine->programClip()->displayName, "A");
        EXPECT_EQ(engine->outputState().state, before) << "the program layer is untouched";
        EXPECT_EQ(engine->lastMessage(), QString::fromUtf8(c.message));
        openGate();
        engine->panicOff();
        settle();
    }
}

TEST_F(EngineFixture, KeyToggleMutesProgramAndAudioAndRestoresIt) {
    loadTab({still("A")});
    engine->cutTogglePressed();
    EXPECT_EQ(engine->lastMessage(), "PROGRAM に送出中の素材がありません");
    engine->setOutputGain(0.25f);
    engine->spacePressed();
    clock.advance(0.1);
    bridgeGains.clear();
    engine->cutTogglePressed();  // during the fade-in: cut to full level, key off
    EXPECT_EQ(engine->state(), State::on);
    EXPECT_EQ(engine->outputState().opacity, 0);
    EXPECT_EQ(engine->meter().value(), 0);
    ASSERT_FALSE(bridgeGains.empty());
    EXPECT_EQ(bridgeGains.back(), 0.0f);
    engine->cutTogglePressed();
    EXPECT_EQ(engine->outputState().opacity, 1);
    EXPECT_EQ(bridgeGains.back(), 0.25f);
    EXPECT_EQ(logText(), "ON    A  [FADE 0.50s]\nKEY OFF  A\nKEY ON   A\n");

    // During a fade-out the key switch cuts back to the program at full level.
    engine->spacePressed();
    clock.advance(0.2);
    ASSERT_EQ(engine->state(), State::fadingOut);
    engine->cutTogglePressed();
    engine->cutTogglePressed();
    EXPECT_EQ(engine->state(), State::on);
    EXPECT_EQ(engine->outputState().opacity, 1);
    EXPECT_TRUE(engine->outputState()->entering);
    EXPECT_EQ(clock.activeTimerCount(), 0);
}

// KEY OFF and KEY ON show on the operator's level meter at once, also from a cut.
TEST_F(EngineFixture, TheLevelMeterFollowsTheKeySwitch) {
    loadTab({still("A")});
    engine->returnPressed();
    ASSERT_EQ(engine->meter().value(), 1);
    engine->cutTogglePressed();
    EXPECT_EQ(engine->meter().value(), 0) << "KEY OFF";
    engine->cutTogglePressed();
    EXPECT_EQ(engine->meter().value(), 1) << "KEY ON";
}

TEST_F(EngineFixture, PanicFromEveryStateStopsEverything) {
    int panics = 0;
    engine->onPanic = [&] { ++panics; };
    for (int from = 0; from < 4; ++from) {
        loadTab({still("A"), still("B")});
        if (from >= 1) engine->spacePressed();  // fadingIn
        if (from >= 2) clock.advance(1.0);      // on
        if (from == 3) engine->spacePressed();  // fadingOut
        engine->panicOff();
        EXPECT_EQ(engine->state(), State::off) << from;
        EXPECT_EQ(engine->outputState().opacity, 0);
        EXPECT_EQ(clock.activeTimerCount(), 0);
        EXPECT_FALSE(engine->dsk().isActive());
    }
    EXPECT_EQ(panics, 4);
    const QString text = logText();
    EXPECT_TRUE(text.startsWith("PANIC  —\n")) << text.toStdString();
    EXPECT_TRUE(text.endsWith("PANIC  A\n")) << text.toStdString();
}

TEST_F(EngineFixture, RefusalsNameTheClipAndChangeNothing) {
    Clip missing = still("Missing");
    missing.isMissing = true;
    Clip unreadable = still("Bad");
    stillRejections.insert("Bad.png", "画像のヘッダを読み取れません");
    loadTab({missing, unreadable});

    engine->spacePressed();
    EXPECT_EQ(engine->lastMessage(), "ファイルが見つかりません: Missing");
    rundown().setSelectedIndex(1);
    settle();
    engine->returnPressed();
    EXPECT_EQ(engine->lastMessage(), "Bad: 画像のヘッダを読み取れません");
    // The clip keeps the key; the line is in the language in force when it is refused.
    LanguageSettings::shared().setLanguage(AppLanguage::en);
    engine->returnPressed();
    EXPECT_EQ(engine->lastMessage(), "Bad: The image header cannot be read");
    LanguageSettings::shared().setLanguage(AppLanguage::ja);
    EXPECT_EQ(engine->state(), State::off);
    EXPECT_EQ(logText(), "");
}

TEST_F(EngineFixture, AutoAdvanceOffPreloadsTheTakenClipAgain) {
    engine->setAutoAdvance(false);
    loadTab({still("A"), still("B")});
    const int loadsBefore = stillLoads;
    engine->returnPressed();
    EXPECT_EQ(rundown().groups()[0].selectedIndex, 0);
    settle();
    EXPECT_EQ(stillLoads, loadsBefore + 1);
    ASSERT_TRUE(engine->nextMedia().has_value());
}

// A take that moves NEXT on to a movie opens one player for it, not one per step.
TEST_F(EngineFixture, ATakeThatMovesNextOpensOnePlayerForTheNewNext) {
    PlayoutEngine::Services s = services();
    QStringList opened;
    s.makePlayback = [&opened](const QUrl& url, bool, int) {
        opened << url.fileName();
        return std::shared_ptr<MoviePlayback>();
    };
    engine = std::make_unique<PlayoutEngine>(s);
    loadTab({still("A"), movie("B"), still("C")});
    ASSERT_TRUE(opened.isEmpty());
    engine->returnPressed();
    settle();
    EXPECT_EQ(rundown().groups()[0].selectedIndex, 1);
    EXPECT_EQ(opened, QStringList{"B.mov"});
}

TEST_F(EngineFixture, SnapshotFollowsTheRampAtAnyInstantAndStopsAtItsEnd) {
    Clip a = still("A");
    const double duration = 1.0 + 1.0 / 480.0;  // ends between two ticks of the 120 Hz clock
    a.motionDuration = duration;
    a.contentAnchorX = 0.25;
    loadTab({a});
    engine->spacePressed();
    clock.advance(0.5 - 1.0 / 240.0);  // between two ticks
    EXPECT_NEAR(engine->outputState().opacity, (0.5 - 1.0 / 240.0) / duration, 1e-9)
        << "evaluated at the moment of the copy, not at the last tick";
    EXPECT_EQ(engine->outputState()->contentAnchor, QPointF(0.25, 0));
    clock.advance(0.5 + 1.0 / 120.0);
    ASSERT_EQ(engine->state(), State::fadingIn) << "the tick that ends the fade is still to come";
    EXPECT_EQ(engine->outputState().opacity, 1.0);
}

TEST_F(EngineFixture, AudioGainFollowsKeyFaderToneAndAudioSwitch) {
    loadTab({still("A")});
    engine->setOutputGain(0.25f);
    engine->applyAudioGain();
    EXPECT_EQ(bridgeGains.back(), 0.25f);
    engine->setAudioEnabled(false);
    EXPECT_EQ(bridgeGains.back(), 0.0f);
    engine->setAudioEnabled(true);
    engine->setOutputGain(std::numeric_limits<float>::quiet_NaN());
    engine->applyAudioGain();
    EXPECT_EQ(bridgeGains.back(), 0.0f) << "a gain that is not a number never reaches the outputs";
    engine->setOutputGain(3.0f);
    engine->applyAudioGain();
    EXPECT_EQ(bridgeGains.back(), 1.0f);
}

TEST_F(EngineFixture, MeterIsPublishedAtMostSixtyTimesASecond) {
    Clip a = still("A");
    a.motionDuration = 1.0;
    loadTab({a});
    int publications = 0;
    QObject::connect(&engine->meter(), &OpacityMeter::valueChanged, [&] { ++publications; });
    engine->spacePressed();
    clock.advance(1.1);
    EXPECT_LE(publications, 61);
    EXPECT_GE(publications, 55);
}

}  // namespace
}  // namespace velmar::test
