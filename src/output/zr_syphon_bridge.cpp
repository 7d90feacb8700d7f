#include "output/zr_syphon_bridge.h"

#include "models/localized.h"
#include "platform/gpu/texture.h"

#include <QDir>

namespace velmar {

const QString ZRSyphonBridge::kStreamingAppBundleIdentifier =
    QStringLiteral("com.obsproject.obs-studio");
const QString ZRSyphonBridge::kDefaultApplicationPath = QStringLiteral("/Applications/OBS.app");
const QString ZRSyphonBridge::kFrameworkPath =
    QStringLiteral("Contents/Frameworks/Syphon.framework/Syphon");

ZRSyphonBridge::ZRSyphonBridge(std::shared_ptr<TexShareLocator> locator)
    : locator_(std::move(locator)) {}

ZRSyphonBridge::~ZRSyphonBridge() {
    stop();
}

bool ZRSyphonBridge::startWithDevice(std::shared_ptr<gpu::Device> device) {
    stop();
    errorMessage_.reset();

    std::optional<QString> application = locator_->applicationPath(kStreamingAppBundleIdentifier);
    if (!application &&
        locator_->fileExists(QDir(kDefaultApplicationPath).filePath(kFrameworkPath)))
        application = kDefaultApplicationPath;
    if (!application) {
        errorMessage_ = QStringLiteral(L10N_KEY("テクスチャ共有ランタイムが見つかりません"));
        return false;
    }

    auto framework = locator_->loadFramework(QDir(*application).filePath(kFrameworkPath));
    if (!framework) {
        errorMessage_ = QStringLiteral(
            L10N_KEY("テクスチャ共有ランタイム（libvelmar-texshare.so）を読み込めません"));
        return false;
    }

    const auto serverClass = framework->classNamed("SyphonMetalServer");
    if (!serverClass || !serverClass->instancesRespondTo("initWithName:device:options:") ||
        !serverClass->instancesRespondTo(
            "publishFrameTexture:onCommandBuffer:imageRegion:flipped:")) {
        errorMessage_ = QStringLiteral(
            L10N_KEY("このテクスチャ共有ランタイムは共有テクスチャの送信に対応していません"));
        return false;
    }

    std::unique_ptr<TexShareLocator::Server> server;
    try {
        server = serverClass->makeServer(QStringLiteral("DOVRINE"), std::move(device));
    } catch (...) {
        server.reset();  // an exception counts as no server
    }
    if (!server) {
        errorMessage_ = QStringLiteral(L10N_KEY("共有テクスチャの送信を開始できません"));
        return false;
    }
    framework_ = std::move(framework);
    server_ = std::move(server);
    return true;
}

bool ZRSyphonBridge::publishTexture(const std::shared_ptr<gpu::Texture>& texture,
                                    gpu::CommandBuffer* commandBuffer) {
    if (!texture || !commandBuffer || !server_) return false;
    try {
        return server_->publishFrameTexture(texture, *commandBuffer,
                                            {0, 0, texture->width(), texture->height()}, true);
    } catch (...) {
        errorMessage_ = QStringLiteral("共有テクスチャのフレームを送れません");
        return false;
    }
}

bool ZRSyphonBridge::hasClients() const {
    if (!server_) return false;
    try {
        return server_->hasClients();
    } catch (...) {
        return false;
    }
}

void ZRSyphonBridge::stop() {
    if (!server_) return;
    try {
        server_->stop();
    } catch (...) {
    }
    server_.reset();
    framework_.reset();
}

}  // namespace velmar
