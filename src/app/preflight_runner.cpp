#include "app/preflight_runner.h"

#include "core/playout_engine.h"
#include "core/playout_log.h"
#include "models/clip.h"
#include "models/localized.h"
#include "platform/base/timer.h"
#include "platform/base/volume_info.h"
#include "sdi/deck_link_controller.h"

#include <QFileInfo>
#include <QSet>
#include <QStringList>

namespace velmar {

std::vector<ZRDeckLinkMode> PreflightRunner::Host::supportedModes(long long deviceIndex,
                                                                  SDIBitDepth bitDepth,
                                                                  bool externalKeyer) const {
    return DeckLinkController::supportedModes(deviceIndex, bitDepth, externalKeyer);
}

QString PreflightRunner::rawValue(Item::Status status) {
    switch (status) {
        case Item::Status::pending:
            return QStringLiteral("pending");
        case Item::Status::running:
            return QStringLiteral("running");
        case Item::Status::ok:
            return QStringLiteral("ok");
        case Item::Status::warning:
            return QStringLiteral("warning");
        case Item::Status::failed:
            return QStringLiteral("failed");
    }
    return {};
}

PreflightRunner::PreflightRunner(PlayoutEngine& engine, Host& app, QObject* parent)
    : PreflightRunner(engine, app, Services(), parent) {}

PreflightRunner::PreflightRunner(PlayoutEngine& engine, Host& app, Services services,
                                 QObject* parent)
    : QObject(parent), engine_(engine), app_(app), services_(std::move(services)) {
    if (services_.log == nullptr) services_.log = &PlayoutLog::shared();
    if (services_.timers == nullptr) services_.timers = &TimerFactory::system();
    if (!services_.volumeIsInternal)
        services_.volumeIsInternal = [](const QString& folder) { return volumeIsInternal(folder); };
}

PreflightRunner::~PreflightRunner() {
    cancelSoak();
}

// ---- Checks ------------------------------------------------------------------------------------

void PreflightRunner::run() {
    if (isRunning_) return;
    isRunning_ = true;
    emit isRunningChanged(true);

    static const char* const titles[kCheckCount] = {
        L10N_KEY("素材の読み込み"), L10N_KEY("解像度の確認"), L10N_KEY("出力フォーマット"),
        L10N_KEY("SDI 機器"), L10N_KEY("素材の置き場所")};
    items_.clear();
    for (const char* title : titles) items_.push_back(Item{QUuid::createUuid(), localized(title)});
    emit itemsChanged();

    checkMedia(0);
    checkResolution(1);
    checkFormat(2);
    checkDevice(3);
    checkStorage(4);

    isRunning_ = false;
    emit isRunningChanged(false);

    QStringList entries;
    for (const Item& item : items_) entries << item.title + u':' + rawValue(item.status);
    writeLog(QStringLiteral("PREFLIGHT  ") + entries.join(u' '));
}

QList<Clip> PreflightRunner::allClips() const {
    QList<Clip> clips;
    for (const ClipGroup& group : engine_.rundown().groups()) clips += group.clips;
    return clips;
}

namespace {

bool isReadable(const Clip& clip) {
    return !clip.isMissing && !clip.unreadableReason.has_value();
}

}  // namespace

void PreflightRunner::checkMedia(int index) {
    const QList<Clip> clips = allClips();
    if (clips.isEmpty()) {
        set(index, Item::Status::failed, localized("素材がありません"));
        return;
    }
    QStringList unreadable;
    for (const Clip& clip : clips)
        if (!isReadable(clip)) unreadable << clip.displayName;
    if (engine_.rundown().pendingVerification() > 0) {
        set(index, Item::Status::warning, localized("確認中です。終わってからもう一度"));
    } else if (unreadable.isEmpty()) {
        set(index, Item::Status::ok,
            localizedFormat("%lld 件すべて読めます", {static_cast<long long>(clips.size())}));
    } else {
        set(index, Item::Status::failed,
            localizedFormat("%lld 件が読めません: %@",
                            {static_cast<long long>(unreadable.size()),
                             unreadable.mid(0, kMediaNamesShown).join(QStringLiteral(", "))}));
    }
}

void PreflightRunner::checkResolution(int index) {
    const int canvasWidth = engine_.canvas().width;
    const int canvasHeight = engine_.canvas().height;
    long long larger = 0;
    long long smaller = 0;
    bool unmeasured = false;
    for (const Clip& clip : allClips()) {
        if (!isReadable(clip)) continue;
        if (!clip.pixelWidth || !clip.pixelHeight) {
            unmeasured = true;
            continue;
        }
        const int w = *clip.pixelWidth;
        const int h = *clip.pixelHeight;
        if (w == canvasWidth && h == canvasHeight) continue;
        if (w > canvasWidth || h > canvasHeight)
            ++larger;
        else
            ++smaller;
    }
    // Sizes still being measured would otherwise read as "all the same size".
    if (unmeasured)
        set(index, Item::Status::warning, localized("確認中です。終わってからもう一度"));
    else if (larger == 0 && smaller == 0)
        set(index, Item::Status::ok, localized("すべてキャンバスと同じ大きさです"));
    else
        set(index, Item::Status::warning,
            localizedFormat("縮小 %lld 件 / 原寸中央 %lld 件", {larger, smaller}));
}

void PreflightRunner::checkFormat(int index) {
    const CanvasFormat& canvas = engine_.canvas();
    const QString alpha = engine_.keyAlphaMode() == KeyAlphaMode::premultiplied
                              ? QStringLiteral("Premultiplied")
                              : QStringLiteral("Straight");
    set(index, Item::Status::ok,
        QString::number(canvas.width) + QChar(0x00D7) + QString::number(canvas.height) +
            QStringLiteral("  ") + engine_.frameRate().label() + QStringLiteral("  ") + alpha);
}

void PreflightRunner::checkDevice(int index) {
    app_.refreshDeckLinkDevices();
    const std::vector<ZRDeckLinkDevice> devices = app_.availableDeckLinkDevices();
    const long long selected = app_.selectedDeckLinkIndex();
    if (selected < 0 || selected >= static_cast<long long>(devices.size())) {
        set(index, Item::Status::warning,
            localized("SDI 機器が見つかりません（サブモニターのみ）"));
        return;
    }
    const ZRDeckLinkDevice& device = devices[static_cast<std::size_t>(selected)];
    const SDIBitDepth depth = app_.sdiBitDepth();
    const std::optional<ZRDeckLinkMode> mode = DeckLinkController::matchingMode(
        app_.supportedModes(device.index(), depth, app_.useExternalKeyer()), engine_.canvas(),
        engine_.frameRate());
    if (!mode) {
        set(index, Item::Status::failed,
            localizedFormat("%@ はこの組み合わせを出せません", {device.name()}));
        return;
    }
    QString detail = device.name() + QStringLiteral(" \u2014 ") + mode->name();
    if (depth == SDIBitDepth::tenBitFillOnly) {
        detail += QStringLiteral("  ") + localized("10bit・フィルのみ（キーは出ません）");
        set(index, Item::Status::warning, detail);
    } else {
        set(index, Item::Status::ok, detail);
    }
}

void PreflightRunner::checkStorage(int index) {
    QSet<QString> folders;
    for (const Clip& clip : allClips()) {
        const QString path = clip.url.toLocalFile();
        if (!path.isEmpty()) folders.insert(QFileInfo(path).absolutePath());
    }
    long long external = 0;
    for (const QString& folder : folders) {
        const std::optional<bool> internal = services_.volumeIsInternal(folder);
        if (internal.has_value() && !*internal) ++external;
    }
    if (external == 0)
        set(index, Item::Status::ok, localized("すべて内蔵ストレージにあります"));
    else
        set(index, Item::Status::warning,
            localizedFormat("%lld か所が外部ストレージにあります", {external}));
}

void PreflightRunner::set(int index, Item::Status status, const QString& detail) {
    if (index < 0 || index >= items_.size()) return;
    items_[index].status = status;
    emit itemsChanged();
    items_[index].detail = detail;
    emit itemsChanged();
}

// ---- Soak test ---------------------------------------------------------------------------------

void PreflightRunner::runSoak(int seconds) {
    // A count below 1 would end below 0 and leave the runner believing a test still runs.
    if (seconds < 1) return;
    if (app_.deckLink() == nullptr) return;
    if (soakRemaining_ != 0) return;

    const bool wasRunning = app_.isDeckLinkRunning();
    if (!wasRunning) app_.startDeckLink();
    DeckLinkController* deckLink = app_.deckLink();
    if (!app_.isDeckLinkRunning() || deckLink == nullptr) return;

    Soak soak;
    soak.startCount = deckLink->droppedFrameCount();
    soak.generation = deckLink->startGeneration();
    soak.wasRunning = wasRunning;
    soak.seconds = seconds;
    soak_ = soak;
    setSoakRemaining(seconds);
    writeLog(QStringLiteral("SOAK START  ") + QString::number(seconds) + u's');

    timer_ = services_.timers->makeTimer([this] { tick(); });
    timer_->start(1.0, true);
}

bool PreflightRunner::soakOutputIntact() {
    DeckLinkController* deckLink = app_.deckLink();
    if (deckLink == nullptr || !deckLink->isRunning() || !app_.isDeckLinkRunning() ||
        deckLink->startGeneration() != soak_->generation)
        return false;
    const std::uint64_t now = deckLink->droppedFrameCount();
    soak_->dropped = now >= soak_->startCount ? now - soak_->startCount : 0;
    return true;
}

void PreflightRunner::tick() {
    if (!soak_) return;
    if (!soakOutputIntact()) {
        // Stopped by hand or restarted: the count no longer measures this test.
        appendSoakItem(Item::Status::failed, localized("SDI 出力が途中で止まりました"));
        endSoak();
        return;
    }
    setSoakRemaining(soakRemaining_ - 1);
    if (soakRemaining_ >= 1) return;

    if (!soak_->wasRunning) app_.stopDeckLink();
    const auto dropped = static_cast<long long>(soak_->dropped);
    if (dropped == 0)
        appendSoakItem(Item::Status::ok,
                       localizedFormat("%lld 秒間、落ちフレームなし", {soak_->seconds}));
    else
        appendSoakItem(Item::Status::failed, localizedFormat("%lld 秒間で %lld フレーム落ちました",
                                                             {soak_->seconds, dropped}));
    endSoak();
}

void PreflightRunner::cancelSoak() {
    if (!soak_) return;
    // Stops the output only while it is still the one this test started.
    if (soakOutputIntact() && !soak_->wasRunning) app_.stopDeckLink();
    endSoak();
}

void PreflightRunner::endSoak() {
    // The timer may be the caller: it is stopped here and replaced at the next start.
    if (timer_) timer_->stop();
    const std::uint64_t dropped = soak_->dropped;
    soak_.reset();
    setSoakRemaining(0);
    writeLog(QStringLiteral("SOAK END  dropped=") + QString::number(dropped));
}

void PreflightRunner::setSoakRemaining(int seconds) {
    if (seconds == soakRemaining_) return;
    soakRemaining_ = seconds;
    emit soakRemainingChanged(seconds);
}

void PreflightRunner::appendSoakItem(Item::Status status, const QString& detail) {
    items_.push_back(Item{QUuid::createUuid(), localized("SDI 実流し"), status, detail});
    emit itemsChanged();
}

void PreflightRunner::writeLog(const QString& line) {
    services_.log->write(line);
}

}  // namespace velmar
