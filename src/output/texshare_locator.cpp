#include "output/texshare_locator.h"

#include "platform/texshare/texture_server.h"

#include <QCoreApplication>
#include <QFileInfo>

namespace velmar {
namespace {

class InProcessServer final : public TexShareLocator::Server {
  public:
    explicit InProcessServer(std::shared_ptr<texshare::TextureServer> server)
        : server_(std::move(server)) {}
    ~InProcessServer() override { server_->stop(); }
    bool publishFrameTexture(const std::shared_ptr<gpu::Texture>& texture,
                             gpu::CommandBuffer& commandBuffer, gpu::BlitRegion region,
                             bool flipped) override {
        return server_->publishFrameTexture(texture, commandBuffer, region, flipped);
    }
    bool hasClients() override { return server_->hasClients(); }
    void stop() override { server_->stop(); }

  private:
    std::shared_ptr<texshare::TextureServer> server_;
};

class InProcessServerClass final : public TexShareLocator::ServerClass {
  public:
    bool instancesRespondTo(const std::string& selector) const override {
        return selector == "initWithName:device:options:" ||
               selector == "publishFrameTexture:onCommandBuffer:imageRegion:flipped:";
    }
    std::unique_ptr<TexShareLocator::Server> makeServer(
        const QString& name, std::shared_ptr<gpu::Device> device) override {
        auto server = texshare::TextureServer::create(name.toStdString(), std::move(device));
        if (!server) return nullptr;
        return std::make_unique<InProcessServer>(std::move(server));
    }
};

class InProcessFramework final : public TexShareLocator::Framework {
  public:
    std::shared_ptr<TexShareLocator::ServerClass> classNamed(const std::string& name) override {
        if (name != "SyphonMetalServer") return nullptr;
        return std::make_shared<InProcessServerClass>();
    }
};

class StandardLocator final : public TexShareLocator {
  public:
    std::optional<QString> applicationPath(const QString&) override {
        // The texture server is linked into this program, so the program is the application
        // that carries it, whatever identifier is asked for.
        return QCoreApplication::applicationDirPath();
    }
    bool fileExists(const QString& path) override { return QFileInfo::exists(path); }
    std::shared_ptr<Framework> loadFramework(const QString& path) override {
        // The framework is in-process: any path under the program's directory loads it.
        if (!path.startsWith(QCoreApplication::applicationDirPath())) return nullptr;
        return std::make_shared<InProcessFramework>();
    }
};

}  // namespace

std::shared_ptr<TexShareLocator> TexShareLocator::standard() {
    return std::make_shared<StandardLocator>();
}

}  // namespace velmar
