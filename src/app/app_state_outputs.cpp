// The output switching commands of the application state: SDI, the output window, the feed to
// streaming software and the reference tones.
#include "app/app_state.h"

#include "core/playout_log.h"
#include "core/reference_tone.h"
#include "core/sdi_audio_bridge.h"
#include "core/tone_generator.h"
#include "models/localized.h"
#include "platform/base/timer.h"
#include "platform/screens/screen_provider.h"

#include <algorithm>

namespace velmar {

// ---- SDI ---------------------------------------------------------------------------------------

void AppState::refreshDeckLinkDevices() {
    setAvailableDeckLinkDevices(env_.useSdiCard ? ZRDeckLinkOutput::availableDevices(env_.sdiCard)
                                                : ZRDeckLinkOutput::availableDevices());
    const int count = static_cast<int>(availableDeckLinkDevices_.size());
    if (selectedDeckLinkIndex_ >= count) setSelectedDeckLinkIndex(std::max(count - 1, 0));
}

void AppState::startDeckLink() {
    if (!deckLink_) {
        setStatus(localized("CPU の映像合成を用意できないため出力できません"));
        return;
    }
    refreshDeckLinkDevices();
    const int count = static_cast<int>(availableDeckLinkDevices_.size());
    if (selectedDeckLinkIndex_ < 0 || selectedDeckLinkIndex_ >= count) {
        setStatus(localized("出力できる DeckLink 機器が見つかりません"));
        return;
    }
    // Activating the ring also empties it and its counters.
    audio_->setActive(sdiEmbedAudio_);
    const ZRDeckLinkDevice device = availableDeckLinkDevices_[selectedDeckLinkIndex_];
    try {
        deckLink_->start(device.index(), engine_->canvas(), engine_->frameRate(), useExternalKeyer_,
                         sdiEmbedAudio_, sdiBitDepth_);
    } catch (const DeckLinkController::StartError& error) {
        if (deckLinkWatch_) deckLinkWatch_->stop();
        setIsDeckLinkRunning(false);
        audio_->setActive(false);
        tone_->setLocalMuted(false);
        setStatus(error.localizedDescription());
        return;
    }
    setIsDeckLinkRunning(true);
    // Made once and only stopped afterwards: a stall found by the watch stops it from its own
    // callback.
    if (!deckLinkWatch_) {
        deckLinkWatch_ = engine_->services().timers->makeTimer([this] {
            if (deckLink_) deckLink_->watchOutput();
        });
    }
    deckLinkWatch_->start(DeckLinkController::kWatchInterval, true);
    const bool deviceTakesAudio = deckLink_->bridge().audioEnabled();
    audio_->setActive(deviceTakesAudio);
    applyLocalMuteRule();

    QString deviceText = device.name();
    if (sdiBitDepth_ == SDIBitDepth::tenBit) {
        deviceText = localizedFormat("%@ 10bit・フィル＋キー", {device.name()});
    } else if (sdiBitDepth_ == SDIBitDepth::tenBitFillOnly) {
        deviceText = localizedFormat("%@ 10bit・フィルのみ", {device.name()});
    }
    QString note;
    if (!sdiEmbedAudio_) {
        note = localized("（音声は乗せていません）");
    } else if (!deviceTakesAudio) {
        note = localized("（この機器には音声を乗せられません）");
    } else if (!sdiMutesLocalAudio_) {
        note = localized("（音声は SDI とこのコンピュータの両方へ）");
    } else {
        note = localized("（音声は SDI へ。このコンピュータからは出しません）");
    }
    // The external keyer was asked for but could not be switched on: no key signal leaves.
    if (deckLink_->keyerFailed()) {
        note += localized("（外部キーヤーを有効にできなかったため、キー信号は出ていません）");
    }
    setStatus(localizedFormat("SDI 出力を開始しました: %@%@", {deviceText, note}));
}

void AppState::stopDeckLink() {
    if (deckLink_) deckLink_->stop();
    if (deckLinkWatch_) deckLinkWatch_->stop();
    setIsDeckLinkRunning(false);
    audio_->setActive(false);
    tone_->setLocalMuted(false);
}

void AppState::deckLinkFailed(const QString& message) {
    stopDeckLink();
    setStatus(message);  // shown as it arrives
    engine_->services().log->write(QStringLiteral("SDI STOP  ") + message);
}

// ---- Output window -----------------------------------------------------------------------------

void AppState::refreshScreens() {
    const QList<ScreenInfo> all = screens_->screens();
    // 1. The control screen: the first visible control window's, else the main window's, else
    // the main (primary) screen.
    std::optional<QString> control;
    for (const VisibleWindow& window : screens_->visibleWindows()) {
        if (window.title.startsWith(kControlWindowTitlePrefix)) {
            if (!window.screenIdentity.isEmpty()) control = window.screenIdentity;
            break;
        }
    }
    if (!control) control = env_.mainWindowScreen();
    if (!control && !all.isEmpty()) control = all.first().identity;

    // 2. The previous choice. The stored index counts the filtered list, so before the first
    // refresh (when the list still holds every screen) it is read against the filtered list.
    QList<ScreenInfo> filtered;
    for (const ScreenInfo& screen : all) {
        if (!control || screen.identity != *control) filtered.append(screen);
    }
    const QList<ScreenInfo>& previousList = screensRefreshed_ ? availableScreens_ : filtered;
    std::optional<QString> previous = selectedScreenID_;
    if (selectedScreenIndex_ >= 0 && selectedScreenIndex_ < previousList.size()) {
        previous = previousList[selectedScreenIndex_].identity;
    }
    screensRefreshed_ = true;

    // 3. Every screen but the control screen.
    setAvailableScreens(filtered);

    // 4. Keep the choice, else the same position clamped into the new list.
    const int count = static_cast<int>(availableScreens_.size());
    int index = std::clamp(selectedScreenIndex_, 0, std::max(count - 1, 0));
    if (previous) {
        for (int i = 0; i < count; ++i) {
            if (availableScreens_[i].identity == *previous) {
                index = i;
                break;
            }
        }
    }
    setSelectedScreenIndex(index);

    // 5. The chosen screen's identity.
    if (index >= 0 && index < count) {
        selectedScreenID_ = availableScreens_[index].identity;
    } else {
        selectedScreenID_.reset();
    }

    // 6. An open output window whose screen left the list closes.
    if (output_ && output_->isOpen() && output_->currentScreen()) {
        const QString shown = *output_->currentScreen();
        const bool present =
            std::any_of(availableScreens_.begin(), availableScreens_.end(),
                        [&](const ScreenInfo& screen) { return screen.identity == shown; });
        if (!present) {
            output_->close();
            setIsOutputOpen(false);
            setStatus(localized("出力先のディスプレイが見つからなくなったため出力を停止しました"));
        }
    }
}

void AppState::toggleOutput() {
    if (!output_) {
        setStatus(localized("CPU の映像合成を用意できないため出力できません"));
        return;
    }
    if (output_->isOpen()) {
        output_->close();
        setIsOutputOpen(false);
        return;
    }
    refreshScreens();
    if (selectedScreenIndex_ >= 0 && selectedScreenIndex_ < availableScreens_.size()) {
        updateOutputChromaKey();
        const bool opened = output_->open(availableScreens_[selectedScreenIndex_].identity);
        setIsOutputOpen(opened);
        // A refused screen (gone, or now showing the control window) is reported, not silent.
        if (opened) return;
    }
    setStatus(localized("出力先のディスプレイが見つかりません"));
}

void AppState::updateOutputChromaKey() {
    const QColor color = AppSettings::storableChromaKeyColor(chromaKeyColor_);
    if (!output_) return;
    output_->setChromaKey(chromaKeyEnabled_,
                          {static_cast<float>(color.redF()), static_cast<float>(color.greenF()),
                           static_cast<float>(color.blueF())});
}

// ---- Feed to streaming software -----------------------------------------------------------------

OBSTransport AppState::effectiveOBSTransport() const {
    // Inside the sandbox only network video is offered.
    if (env_.isSandboxed() && obsTransport_ == OBSTransport::syphon) return OBSTransport::ndi;
    return obsTransport_;
}

void AppState::toggleOBSOutput() {
    if (isOBSOpen_) {
        stopOBSOutput();
        return;
    }
    const OBSTransport transport = effectiveOBSTransport();
    bool ok = false;
    std::optional<QString> error;
    if (transport == OBSTransport::ndi) {
        if (!ndiOutput_) {
            setStatus(localized("CPU の映像合成を用意できないため OBS 出力できません"));
            return;
        }
        ok = ndiOutput_->start();
        error = ndiOutput_->bridge().errorMessage();
    } else {
        if (!syphonOutput_) {
            setStatus(localized("CPU の映像合成を用意できないため OBS 出力できません"));
            return;
        }
        ok = syphonOutput_->start();
        error = syphonOutput_->bridge().errorMessage();
    }
    if (!ok) {
        setStatus(error && !error->isEmpty() ? localized(*error)
                                             : localized("OBS 出力を開始できません"));
        return;
    }
    setIsOBSOpen(true);
    setRunningOBSTransport(transport);
    // The network feed's receiver is a media source on tcp:// and the address (host:port) the
    // runtime writes to the file named after the source.
    // clang-format off
    setStatus(transport == OBSTransport::ndi
                  ? localizedFormat("OBS ではメディアソースの「入力」に、tcp:// に続けて %@.netvideo に書かれた接続先を入れてください",
                                    {QString::fromLatin1(kFeedSourceName)})
                  : localizedFormat("受信アプリで共有テクスチャ %@ を選択してください",
                                    {QString::fromLatin1(kFeedSourceName)}));
    // clang-format on
}

void AppState::stopOBSOutput() {
    if (syphonOutput_) syphonOutput_->stop();
    if (ndiOutput_) ndiOutput_->stop();
    setIsOBSOpen(false);
    setIsOBSConnected(false);
    setObsConnectionCount(0);
    setRunningOBSTransport(std::nullopt);
}

// ---- Reference tones
// -----------------------------------------------------------------------------

void AppState::toggleReferenceTone(ReferenceToneKind kind) {
    if (tone_->kind() == kind) {
        stopReferenceTone();
        return;
    }
    const std::optional<QString> error = tone_->start(kind);
    if (error) {
        setStatus(*error);  // shown as it arrives
        engine_->setAudioSuppressed(false);
        engine_->applyAudioGain();
        audio_->setTone(nullptr);
        return;
    }
    applyLocalMuteRule();
    audio_->setTone(std::make_unique<ToneGenerator>(kind, SDIAudioBridge::kOutputRate));
    engine_->setAudioSuppressed(true);
    engine_->applyAudioGain();
    setStatus(
        localizedFormat("基準信号を出力中: %@（PROGRAM の音声は止めています）", {kind.label()}));
}

void AppState::stopReferenceTone() {
    if (!tone_->kind()) return;
    tone_->stop();
    audio_->setTone(nullptr);
    engine_->setAudioSuppressed(false);
    engine_->applyAudioGain();
    setStatus(localized("基準信号を止めました"));
}

}  // namespace velmar
