#include "ui/reference_tone_menu.h"
#include "core/playout_log.h"
#include "core/reference_tone.h"
#include "models/language_settings.h"
#include "support/fake_clock.h"

#include <QAction>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace velmar {
namespace {

class SilentEngine final : public ReferenceTone::Engine {
  public:
    std::optional<QString> failure;
    double outputSampleRate() const override { return 48000; }
    std::optional<QString> start(AudioSource*) override { return failure; }
    void stop(AudioSource*) override {}
};

// The menu against a tone player whose toggling does what the application state does.
TEST(ReferenceToneMenuTest, ChecksFollowWhatPlays) {
    LanguageSettings::shared().setLanguage(AppLanguage::ja);
    QTemporaryDir dir;
    test::FakeClock clock;
    PlayoutLog log{dir.path() + "/Logs", clock, clock};
    SilentEngine engine;
    ReferenceTone tone{engine, log};
    int resets = 0;
    ReferenceToneMenu menu(tone, {[&] { tone.stop(); },
                                  [&](ReferenceToneKind kind) {
                                      if (tone.kind() == kind) {
                                          tone.stop();
                                      } else {
                                          tone.start(kind);
                                      }
                                  },
                                  [&] { ++resets; }});
    const QList<QAction*> actions = menu.entryActions();
    ASSERT_EQ(actions.size(), 11);
    QAction* stop = actions[0];
    QAction* sine = actions[3];
    QAction* pink = actions[8];
    const auto checked = [&] {
        QList<int> out;
        for (int i = 3; i < 9; ++i) {
            if (actions[i]->isChecked()) out << i;
        }
        return out;
    };
    EXPECT_FALSE(stop->isEnabled());

    // A tone that cannot start shows no check mark, though the entry was clicked.
    engine.failure = "no device";
    sine->trigger();
    EXPECT_EQ(checked(), QList<int>{});
    engine.failure.reset();

    sine->trigger();
    EXPECT_EQ(checked(), QList<int>{3});
    EXPECT_TRUE(stop->isEnabled());
    pink->trigger();
    EXPECT_EQ(checked(), QList<int>{8});
    pink->trigger();  // the checked entry stops its tone
    EXPECT_EQ(checked(), QList<int>{});
    EXPECT_FALSE(tone.kind().has_value());

    // Started and stopped elsewhere.
    tone.start(ReferenceToneKind::ebuIdent);
    EXPECT_EQ(checked(), QList<int>{7});
    tone.stop();
    EXPECT_EQ(checked(), QList<int>{});
    EXPECT_FALSE(stop->isEnabled());

    actions[10]->trigger();
    actions[10]->trigger();
    EXPECT_EQ(resets, 2);
}

}  // namespace
}  // namespace velmar
