// A change of the interface language reaches every text of every window at once: after a switch
// no window, panel, popover, menu or tooltip still shows a text of the other language.
#include "models/language_settings.h"
#include "models/localized.h"
#include "support/translation_table.h"
#include "ui/all_windows.h"
#include "ui/window/info_bar.h"

#include <QEvent>
#include <QRegularExpression>
#include <QWidget>

#include <gtest/gtest.h>

namespace velmar::test {
namespace {

bool hasJapanese(const QString& text) {
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if ((u >= 0x3040 && u <= 0x30FF) || (u >= 0x4E00 && u <= 0x9FFF) ||
            (u >= 0xFF01 && u <= 0xFF60))
            return true;
    }
    return false;
}

// The texts of the string tables that differ between the languages, as a check of a shown text:
// a text of the other language is one of them whole, or holds a distinctive piece of one (a
// Japanese piece, or an English piece of six or more characters; the pieces of a message are
// the parts between its placeholders).
class OtherLanguage {
  public:
    OtherLanguage() {
        static const QRegularExpression placeholder(R"(%(?:\d+\$)?(?:lld|ld|d|@|\.\d+f|f))");
        const auto table = englishTranslations(QStringLiteral(VELMAR_SOURCE_DIR));
        for (auto it = table.begin(); it != table.end(); ++it) {
            if (it.key() == it.value() || it.value().isEmpty()) continue;
            for (const auto& [text, japanese] : {std::pair{it.key(), true}, {it.value(), false}}) {
                QList<QString>& whole = japanese ? japaneseWhole_ : englishWhole_;
                QList<QString>& pieces = japanese ? japanesePieces_ : englishPieces_;
                if (!text.contains(placeholder)) whole << text;
                for (const QString& piece : text.split(placeholder)) {
                    const QString p = piece.trimmed();
                    if (japanese ? hasJapanese(p) && p.size() >= 2 : p.size() >= 6) pieces << p;
                }
            }
        }
    }

    // What gives `text` away as a text of the language other than `shown`; empty when nothing.
    QString find(const QString& text, AppLanguage shown) const {
        // Technical labels shown as they stand in both languages, though a table translates
        // the same word elsewhere.
        static const QStringList kFixedLabels = {QStringLiteral("Reset")};
        if (kFixedLabels.contains(text)) return {};
        const bool english = shown == AppLanguage::en;
        for (const QString& whole : english ? japaneseWhole_ : englishWhole_) {
            if (text == whole) return whole;
        }
        for (const QString& piece : english ? japanesePieces_ : englishPieces_) {
            if (text.contains(piece)) return piece;
        }
        return {};
    }

  private:
    QList<QString> japaneseWhole_, englishWhole_, japanesePieces_, englishPieces_;
};

class LanguageSwitchTest : public ::testing::Test {
  protected:
    void SetUp() override { LanguageSettings::shared().setLanguage(AppLanguage::ja); }
    void TearDown() override { LanguageSettings::shared().setLanguage(before_); }

    // Every shown text that belongs to the other language, one per line.
    static std::string leftovers(const QList<ShownText>& texts, AppLanguage shown) {
        static const OtherLanguage other;
        std::string out;
        for (const ShownText& t : texts) {
            // The manual's title is looked up once, when its window is made.
            if (t.where == QLatin1String("QWidget#velmar.manual windowTitle")) continue;
            const QString hit = other.find(t.text, shown);
            if (!hit.isEmpty())
                out += (t.where + QStringLiteral(": \"") + t.text + QStringLiteral("\" (") + hit +
                        QStringLiteral(")\n"))
                           .toStdString();
        }
        return out;
    }
    static bool shows(const QList<ShownText>& texts, const char* key) {
        const QString text = localized(key);
        return std::any_of(texts.begin(), texts.end(),
                           [&](const ShownText& t) { return t.text.contains(text); });
    }

  private:
    AppLanguage before_ = LanguageSettings::shared().language();
};

TEST_F(LanguageSwitchTest, EveryTextOfEveryWindowFollowsASwitchBothWays) {
    AllWindows all;
    all.openOnDemand();
    // A text of each window and of the menus, to be sure the walk sees them all.
    const char* const samples[] = {"インポート",
                                   "DSK のカット ON / OFF（B）",
                                   "戻す",
                                   "名前で絞り込み",
                                   "クロマキー",
                                   "クリックで入力、横にドラッグで増減",
                                   "言語",
                                   "カスタムフォーマット",
                                   "不正画素を強調",
                                   "確認する",
                                   "DOVRINE マニュアル",
                                   "基準信号を止める",
                                   "テストパターンを消す",
                                   "プロジェクトを開く…",
                                   "デュレーション（秒）",
                                   "設定"};
    for (const AppLanguage language : {AppLanguage::en, AppLanguage::ja, AppLanguage::en}) {
        SCOPED_TRACE(rawValue(language).toStdString());
        LanguageSettings::shared().setLanguage(language);
        const QList<ShownText> texts = shownTexts(all.windows());
        EXPECT_EQ(leftovers(texts, language), "");
        for (const char* key : samples) EXPECT_TRUE(shows(texts, key)) << key;
    }
}

TEST_F(LanguageSwitchTest, PaintedLayersDropTheirTextsAtTheSwitch) {
    AllWindows all;
    InfoBar* bar = all.control.view->infoBar();
    bar->grab();
    ASSERT_TRUE(bar->hasLayer());
    LanguageSettings::shared().setLanguage(AppLanguage::en);
    EXPECT_FALSE(bar->hasLayer()) << "the layer holds the sign and load captions in Japanese";
    bar->grab();
    EXPECT_TRUE(bar->hasLayer());
}

TEST_F(LanguageSwitchTest, TheChangeReachesHiddenAndShownWindowsBeforeTheSwitchReturns) {
    struct Counting : QWidget {
        using QWidget::QWidget;
        int changes = 0;
        void changeEvent(QEvent* event) override {
            if (event->type() == QEvent::LanguageChange) ++changes;
            QWidget::changeEvent(event);
        }
    };
    Counting hidden;  // a window never shown has no platform window
    QWidget shown;
    auto* child = new Counting(&shown);
    shown.show();
    LanguageSettings::shared().setLanguage(AppLanguage::en);
    EXPECT_EQ(hidden.changes, 1);
    EXPECT_EQ(child->changes, 1);
    LanguageSettings::shared().setLanguage(AppLanguage::en);  // the same choice: nothing to redo
    EXPECT_EQ(hidden.changes, 1);
    EXPECT_EQ(child->changes, 1);
}

}  // namespace
}  // namespace velmar::test
