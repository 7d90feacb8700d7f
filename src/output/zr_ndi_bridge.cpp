#include "output/zr_ndi_bridge.h"

#include "models/localized.h"
#include "platform/netvideo/netvideo_sender.h"

#include <dlfcn.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <limits>

namespace velmar {

namespace {

constexpr int64_t kSynthesizedTimecode = std::numeric_limits<int64_t>::max();

std::string programFolder() {
    std::error_code error;
    const auto exe = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::string() : exe.parent_path().string();
}

const ZRNDIBridge::Runtime* processRuntime() {
    static std::once_flag once;
    static std::optional<ZRNDIBridge::Runtime> runtime;
    std::call_once(once,
                   [] { runtime = ZRNDIBridge::loadRuntime(ZRNDIBridge::runtimeCandidates()); });
    return runtime ? &*runtime : nullptr;
}

// The address folder the runtime refused at the failed sender creation just before; empty when
// it refused none, or when the runtime cannot tell.
std::string takeRefusedFolder(const ZRNDIBridge::Runtime& runtime) {
    if (!runtime.handle) return {};
    auto take = reinterpret_cast<netvideo::NetVideoRefusedFolderFunction>(
        ::dlsym(runtime.handle, netvideo::kNetVideoRefusedFolderHook));
    if (!take) return {};
    char folder[4096];
    const size_t length = take(folder, sizeof folder);
    return std::string(folder, std::min(length, sizeof folder - 1));
}

}  // namespace

std::vector<std::string> ZRNDIBridge::runtimeCandidates() {
    std::vector<std::string> candidates;
    const char* dir = std::getenv("NDI_RUNTIME_DIR_V6");
    if (dir && *dir) candidates.push_back(std::string(dir) + "/" + kNetVideoLibraryName);
    const std::string own = programFolder();
    if (!own.empty()) candidates.push_back(own + "/" + kNetVideoLibraryName);
    candidates.push_back(std::string("/usr/local/lib/") + kNetVideoLibraryName);
    return candidates;
}

std::optional<ZRNDIBridge::Runtime> ZRNDIBridge::loadRuntime(
    const std::vector<std::string>& candidates) {
    for (const std::string& path : candidates) {
        if (::access(path.c_str(), F_OK) != 0) continue;
        void* handle = ::dlopen(path.c_str(), RTLD_LAZY | RTLD_LOCAL);
        if (!handle) continue;
        auto load =
            reinterpret_cast<VelmarNetVideoLoadFunction>(::dlsym(handle, kNetVideoEntryPoint));
        const VelmarNetVideoApi* api = load ? load() : nullptr;
        if (api && api->version == VELMAR_NETVIDEO_API_VERSION &&
            api->structSize >= sizeof(VelmarNetVideoApi) && api->initialize && api->initialize())
            return Runtime{api, path, handle};
        ::dlclose(handle);
    }
    return std::nullopt;
}

std::optional<std::string> ZRNDIBridge::runtimePath() {
    const Runtime* runtime = processRuntime();
    return runtime ? std::optional(runtime->path) : std::nullopt;
}

QString ZRNDIBridge::runtimeMissingMessage() {
    // One literal, so the translation check finds the key whole.
    // clang-format off
    return QStringLiteral(L10N_KEY("NDI Runtime が見つかりません。プログラムと同じフォルダに libvelmar-netvideo.so があるか確認してください（NDI_RUNTIME_DIR_V6 でそのフォルダを指定することもできます）。"));
    // clang-format on
}

ZRNDIBridge::ZRNDIBridge() : useProcessRuntime_(true) {}

ZRNDIBridge::ZRNDIBridge(std::optional<Runtime> runtime)
    : useProcessRuntime_(false), givenRuntime_(std::move(runtime)) {}

ZRNDIBridge::~ZRNDIBridge() {
    stop();
}

const ZRNDIBridge::Runtime* ZRNDIBridge::runtime() const {
    if (useProcessRuntime_) return processRuntime();
    return givenRuntime_ ? &*givenRuntime_ : nullptr;
}

bool ZRNDIBridge::startWithName(const QString& name) {
    errorMessage_.reset();
    const Runtime* loaded = runtime();
    if (!loaded) {
        errorMessage_ = runtimeMissingMessage();
        return false;
    }
    const VelmarNetVideoApi& api = *loaded->api;
    if (api.isSupportedCPU && !api.isSupportedCPU()) {
        errorMessage_ =
            QStringLiteral(L10N_KEY("このコンピュータの CPU は NDI に対応していません"));
        return false;
    }
    {
        std::lock_guard guard(lock_);
        if (sender_) return true;
    }
    const QByteArray utf8 = name.toUtf8();
    VelmarNetVideoSenderSettings settings{utf8.constData(), nullptr, 0, 0};
    VelmarNetVideoSender* sender = api.sendCreate ? api.sendCreate(&settings) : nullptr;
    if (!sender) {
        const std::string folder = takeRefusedFolder(*loaded);
        // The folder cannot be part of a key, so this message is looked up here, with it.
        // clang-format off
        errorMessage_ = folder.empty()
            ? QStringLiteral(L10N_KEY("NDI の送信を開始できません"))
            : localizedFormat("NDI の送信を開始できません: 接続先を書くフォルダ %@ が自分専用ではありません（リンクも使いません）",
                              {QString::fromStdString(folder)});
        // clang-format on
        return false;
    }
    std::lock_guard guard(lock_);
    sender_ = sender;
    return true;
}

bool ZRNDIBridge::isRunning() const {
    std::lock_guard guard(lock_);
    return sender_ != nullptr;
}

// A sender exists only after a start found the runtime, so the runtime is read only then.
int ZRNDIBridge::connectionCount() const {
    std::lock_guard guard(lock_);
    if (!sender_) return 0;
    const int count = runtime()->api->sendGetConnections(sender_, 0);
    return count < 0 ? 0 : count;
}

void ZRNDIBridge::sendVideoBGRA(const void* bytes, int width, int height, int rowBytes,
                                int frameRateN, int frameRateD) {
    if (height < 1 || width < 1 || !bytes || int64_t(rowBytes) < int64_t(width) * 4) return;
    VelmarNetVideoVideoFrame frame{};
    frame.xres = width;
    frame.yres = height;
    frame.fourCC = kNetVideoFourCCBGRA;
    frame.frameRateN = frameRateN > 0 ? frameRateN : 60000;
    frame.frameRateD = frameRateD >= 1 ? frameRateD : 1001;
    frame.pictureAspectRatio = float(width) / float(height);
    frame.frameFormatType = 1;
    frame.timecode = kSynthesizedTimecode;
    frame.data = static_cast<const uint8_t*>(bytes);
    frame.lineStrideInBytes = rowBytes;
    std::lock_guard guard(lock_);
    if (sender_) runtime()->api->sendVideoAsync(sender_, &frame);
}

void ZRNDIBridge::flushVideo() {
    std::lock_guard guard(lock_);
    if (sender_) runtime()->api->sendVideoAsync(sender_, nullptr);
}

void ZRNDIBridge::sendAudioPlanar(const float* samples, int frames, int channels, int sampleRate) {
    if (channels < 1 || frames < 1 || frames > std::numeric_limits<int>::max() / 4 || !samples ||
        sampleRate < 1)
        return;
    VelmarNetVideoAudioFrame frame{};
    frame.sampleRate = sampleRate;
    frame.channels = channels;
    frame.samples = frames;
    frame.timecode = kSynthesizedTimecode;
    frame.fourCC = kNetVideoFourCCFLTp;
    frame.data = samples;
    frame.channelStrideInBytes = frames * 4;
    std::lock_guard guard(lock_);
    if (sender_) runtime()->api->sendAudio(sender_, &frame);
}

void ZRNDIBridge::stop() {
    VelmarNetVideoSender* sender = nullptr;
    {
        std::lock_guard guard(lock_);
        std::swap(sender, sender_);
    }
    if (!sender) return;
    const VelmarNetVideoApi& api = *runtime()->api;
    api.sendVideoAsync(sender, nullptr);
    api.sendDestroy(sender);
}

}  // namespace velmar
